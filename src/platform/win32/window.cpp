// The progress window on Windows: native controls on a plain top-level window,
// texts through the W functions (UTF-8 widened). The run's own thread owns the
// window; it pumps messages after every change, and the prompt and the wait
// after the run block in the message loop.
#include "platform/window.h"

#include <memory>
#include <string>

#include "platform/common/window_layout.h"
#include "platform/win32/win32.h"

namespace qm::platform::window {
namespace {

namespace lay = layout;

constexpr const wchar_t* kWindowClass = L"QuillmarkDebugWindow";
constexpr const wchar_t* kBoxClass = L"QuillmarkPictureBox";
constexpr int kIdCopy = 101;
constexpr int kIdClose = 102;
constexpr int kIdScroll = 103;

/// Destroys a window when it goes out of scope (children go with their parent).
class WindowHandle {
 public:
  WindowHandle() = default;
  WindowHandle(const WindowHandle&) = delete;
  WindowHandle& operator=(const WindowHandle&) = delete;
  ~WindowHandle() { Reset(); }
  void Reset(HWND h = nullptr) {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = h;
  }
  /// Forgets a window that is already being destroyed.
  void Release() { hwnd_ = nullptr; }
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

struct Window {
  WindowHandle frm;
  HWND txtMsg = nullptr;
  HWND picOuterbox = nullptr;
  HWND picInnerbox = nullptr;
  HWND vScroll1 = nullptr;
  HWND cmdCopy = nullptr;
  HWND cmdClose = nullptr;
  HWND lblVarValue[kLabelCount] = {};
  HFONT font = nullptr;  // the stock GUI font, not owned
  bool buttonsEnabled = false;
  bool closed = false;
  // False when the window could not be made visible (no interactive desktop:
  // a scheduled task run without a logged-on session). Nobody can answer a
  // prompt or close such a window, so the run waits for neither.
  bool seen = true;
};

// True when the process's window station has a desktop that takes input: a
// session someone is logged on to, not a service's or a non-interactive task's.
bool InteractiveDesktop() {
  HDESK desk = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (desk == nullptr) return false;
  CloseDesktop(desk);
  return true;
}

bool g_created = false;
std::unique_ptr<Window> g_win;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void Close() {
  if (!g_win || g_win->closed) return;
  g_win->closed = true;
  ShowWindow(g_win->frm.get(), SW_HIDE);
}

// The whole text of txtMsg as plain text on the clipboard, replacing its content.
void CopyMessages() {
  const int length = GetWindowTextLengthW(g_win->txtMsg);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(g_win->txtMsg, text.data(), length + 1);
  text.resize(static_cast<size_t>(got < 0 ? 0 : got));
  if (!OpenClipboard(g_win->frm.get())) return;
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(memory)) {
      CopyMemory(p, text.c_str(), bytes);
      GlobalUnlock(memory);
      // The clipboard owns the memory once SetClipboardData succeeds.
      if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

// Each step of the scroll bar moves the rows up by one label height.
void Scroll(int request) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(g_win->vScroll1, SB_CTL, &info);
  int value = info.nPos;
  const int maxValue = info.nMax - static_cast<int>(info.nPage) + 1;
  switch (request) {
    case SB_LINEUP: --value; break;
    case SB_LINEDOWN: ++value; break;
    case SB_PAGEUP: value -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: value += static_cast<int>(info.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: value = info.nTrackPos; break;
    case SB_TOP: value = 0; break;
    case SB_BOTTOM: value = maxValue; break;
    default: return;
  }
  if (value < 0) value = 0;
  if (value > maxValue) value = maxValue;
  info.fMask = SIF_POS;
  info.nPos = value;
  SetScrollInfo(g_win->vScroll1, SB_CTL, &info, TRUE);
  SetWindowPos(g_win->picInnerbox, nullptr, 0, -value * lay::Px(lay::kLabelHeight), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (g_win && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == kIdCopy) CopyMessages();
        if (LOWORD(wParam) == kIdClose) Close();
        return 0;
      }
      break;
    case WM_VSCROLL:
      if (g_win && reinterpret_cast<HWND>(lParam) == g_win->vScroll1) {
        Scroll(LOWORD(wParam));
        return 0;
      }
      break;
    case WM_CLOSE:
      // The title-bar button: nothing while the run goes on; afterwards it
      // closes like cmdClose.
      if (g_win && g_win->buttonsEnabled) Close();
      return 0;
    case WM_DESTROY:
      if (g_win && g_win->frm.get() == hwnd) {
        g_win->frm.Release();
        g_win->closed = true;
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool RegisterClasses() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  WNDCLASSEXW box{};
  box.cbSize = sizeof box;
  box.lpfnWndProc = DefWindowProcW;  // picture boxes: plain containers in the dialog colour
  box.hInstance = Instance();
  box.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  box.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  box.lpszClassName = kBoxClass;
  return RegisterClassExW(&box) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND Child(const wchar_t* cls, const std::string& text, DWORD style, DWORD exStyle, lay::Rect px,
           HWND parent, int id = 0) {
  HWND h = CreateWindowExW(exStyle, cls, win32::Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                           px.x, px.y, px.w, px.h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  if (h != nullptr && g_win && g_win->font != nullptr) {
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(g_win->font), FALSE);
  }
  return h;
}

// One row's two labels inside their picture box, at the label's top.
void AddRow(Window& w, int index, const Layout& layout, HWND box, int top) {
  const DWORD style = SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS;
  Child(L"STATIC", layout.names[static_cast<size_t>(index)], style, 0,
        {lay::Px(lay::kNameLeft), top, lay::Px(lay::kNameWidth), lay::Px(lay::kLabelHeight)}, box);
  w.lblVarValue[index] =
      Child(L"STATIC", layout.values[static_cast<size_t>(index)], style, 0,
            {lay::Px(lay::kValueLeft), top, lay::Px(lay::kValueWidth), lay::Px(lay::kLabelHeight)}, box);
}

bool Build(Window& w, const Layout& layout) {
  if (!RegisterClasses()) return false;
  w.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, lay::Px(lay::kClientWidth), lay::Px(lay::kClientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  w.frm.Reset(CreateWindowExW(0, kWindowClass, win32::Widen(layout.caption).c_str(), style,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, Instance(), nullptr));
  HWND frm = w.frm.get();
  if (frm == nullptr) return false;

  // The frames are drawn behind the controls they surround, which are the
  // main window's own children (a group box is no container).
  Child(L"BUTTON", lay::kFrame1Caption, BS_GROUPBOX, 0, lay::Px(lay::kFrame1), frm);
  Child(L"BUTTON", lay::kFrame2Caption, BS_GROUPBOX, 0, lay::Px(lay::kFrame2), frm);

  w.txtMsg = Child(L"EDIT", "",
                   ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
                   WS_EX_CLIENTEDGE, lay::Px(lay::kTxtMsg), frm);
  SendMessageW(w.txtMsg, EM_SETLIMITTEXT, 0, 0);  // no limit beyond memory

  const lay::Rect heading = lay::Px(lay::kPicture1);
  HWND picture1 = Child(kBoxClass, "", WS_CLIPCHILDREN, WS_EX_STATICEDGE, heading, frm);
  AddRow(w, 0, layout, picture1, lay::Px(lay::kRowTop) - 2);

  const lay::Rect outer = lay::Px(lay::kOuterbox);
  w.picOuterbox = Child(kBoxClass, "", WS_CLIPCHILDREN, WS_EX_STATICEDGE, outer, frm);
  RECT client{};
  GetClientRect(w.picOuterbox, &client);
  w.picInnerbox = Child(kBoxClass, "", WS_CLIPCHILDREN, 0,
                        {0, 0, client.right, lay::Px(lay::kInnerHeight)}, w.picOuterbox);
  for (int index = 1; index < kLabelCount; ++index) {
    const int row = layout.rowOfIndex[static_cast<size_t>(index)];
    AddRow(w, index, layout, w.picInnerbox, lay::Px(lay::RowTop(row)));
  }

  w.vScroll1 = Child(L"SCROLLBAR", "", SBS_VERT, 0, lay::Px(lay::kVScroll1), frm, kIdScroll);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = lay::ScrollMax();  // one page of one step: every value 0..ScrollMax reachable
  info.nPage = 1;
  info.nPos = 0;
  SetScrollInfo(w.vScroll1, SB_CTL, &info, FALSE);

  w.cmdCopy = Child(L"BUTTON", lay::kCopyCaption, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0,
                    lay::Px(lay::kCmdCopy), frm, kIdCopy);
  w.cmdClose = Child(L"BUTTON", lay::kCloseCaption, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0,
                     lay::Px(lay::kCmdClose), frm, kIdClose);
  return true;
}

bool Pump(MSG& msg) {
  if (msg.message == WM_QUIT) {
    // Not ours to swallow: hand it on to whatever loop comes next.
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (g_win && g_win->frm.get() != nullptr && IsDialogMessageW(g_win->frm.get(), &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

}  // namespace

void Create(const Layout& layout) {
  if (g_created) return;
  g_created = true;
  g_win = std::make_unique<Window>();
  if (!Build(*g_win, layout)) {
    g_win.reset();
    return;
  }
  // The first ShowWindow of a process takes the show state its starter put in
  // STARTUPINFO, whatever it is asked for: a logon script run hidden passes
  // SW_HIDE. The second call is obeyed.
  ShowWindow(g_win->frm.get(), SW_SHOWNORMAL);
  ShowWindow(g_win->frm.get(), SW_SHOWNORMAL);
  UpdateWindow(g_win->frm.get());
  g_win->seen = IsWindowVisible(g_win->frm.get()) != FALSE && InteractiveDesktop();
  ProcessPendingEvents();
}

bool Exists() { return g_created; }

void AppendMessage(const std::string& text) {
  if (!g_win) return;
  const std::wstring wide = win32::Widen(text);
  const int length = GetWindowTextLengthW(g_win->txtMsg);
  SendMessageW(g_win->txtMsg, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  SendMessageW(g_win->txtMsg, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
  SendMessageW(g_win->txtMsg, EM_SCROLLCARET, 0, 0);
  ProcessPendingEvents();
}

void SetValue(int index, const std::string& text) {
  if (!g_win || index < 0 || index >= kLabelCount) return;
  SetWindowTextW(g_win->lblVarValue[index], win32::Widen(text).c_str());
  ProcessPendingEvents();
}

bool AskYesNo(const std::string& text, const std::string& title) {
  if (!g_win || !g_win->seen) return true;
  const int answer = MessageBoxW(g_win->frm.get(), win32::Widen(text).c_str(), win32::Widen(title).c_str(),
                                 MB_YESNO | MB_ICONQUESTION);
  return answer == IDYES;
}

void ProcessPendingEvents() {
  if (!g_win) return;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!Pump(msg)) break;
  }
}

void EnableButtons() {
  if (!g_win) return;
  g_win->buttonsEnabled = true;
  EnableWindow(g_win->cmdCopy, TRUE);
  EnableWindow(g_win->cmdClose, TRUE);
  ProcessPendingEvents();
}

void RunUntilClosed() {
  if (!g_win) return;
  if (!g_win->seen) {
    g_win.reset();
    return;
  }
  MSG msg;
  while (!g_win->closed) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    Pump(msg);
  }
  g_win.reset();
}

}  // namespace qm::platform::window
