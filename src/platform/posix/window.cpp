// The progress window on Linux, with FLTK 1.3. FLTK draws UTF-8, so the texts
// go in unchanged. Everything runs on the run's own thread: the window is
// refreshed after every change, the prompt and the wait after the run block in
// Fl::wait(), which sleeps until an event arrives.
//
// Without an X display (DISPLAY unset, server gone) the run still goes on: the
// window is left out, the prompt answers "go on", and nothing waits at the end.
#include "platform/window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <memory>
#include <string>

#include "platform/common/window_layout.h"

namespace qm::platform::window {
namespace {

namespace lay = layout;

constexpr Fl_Fontsize kFontSize = 12;

// A label that shows its text as it is: no "@" symbols, no "&" shortcuts.
class PlainLabel : public Fl_Box {
 public:
  PlainLabel(int x, int y, int w, int h) : Fl_Box(FL_NO_BOX, x, y, w, h, nullptr) {}
  void SetText(const std::string& text) {
    text_ = text;
    redraw();
  }

 protected:
  void draw() override {
    draw_box();
    fl_font(FL_HELVETICA, kFontSize);
    fl_color(FL_FOREGROUND_COLOR);
    fl_push_clip(x(), y(), w(), h());
    fl_draw(text_.c_str(), x() + 1, y(), w() - 2, h(), FL_ALIGN_LEFT | FL_ALIGN_CLIP, nullptr, 0);
    fl_pop_clip();
  }

 private:
  std::string text_;
};

struct Window {
  Fl_Text_Buffer buffer;                  // outlives the display that shows it
  std::unique_ptr<Fl_Double_Window> frm;  // owns every widget below
  Fl_Text_Display* txtMsg = nullptr;
  Fl_Group* picOuterbox = nullptr;
  Fl_Group* picInnerbox = nullptr;
  Fl_Scrollbar* vScroll1 = nullptr;
  Fl_Button* cmdCopy = nullptr;
  Fl_Button* cmdClose = nullptr;
  PlainLabel* lblVarName[kLabelCount] = {};
  PlainLabel* lblVarValue[kLabelCount] = {};
  std::string caption;
  std::string text;  // the whole text of txtMsg, line breaks as appended
  bool buttonsEnabled = false;
  bool closed = false;
};

bool g_created = false;
std::unique_ptr<Window> g_win;  // null without a display

Fl_Group* Frame(lay::Rect twips, const char* caption) {
  const lay::Rect r = lay::Px(twips);
  auto* g = new Fl_Group(r.x, r.y, r.w, r.h, caption);
  g->box(FL_ENGRAVED_FRAME);
  g->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
  g->labelsize(kFontSize);
  g->end();
  return g;
}

void Close() {
  if (!g_win) return;
  g_win->closed = true;
  g_win->frm->hide();
}

// A caption wider than its button would be drawn across the button's edges:
// its font shrinks until it fits.
void FitLabel(Fl_Button* button) {
  Fl_Fontsize size = kFontSize;
  for (; size > 8; --size) {
    fl_font(button->labelfont(), size);
    if (static_cast<int>(fl_width(button->label())) + 8 <= button->w()) break;
  }
  button->labelsize(size);
}

void OnCopy(Fl_Widget*, void*) {
  if (!g_win) return;
  // Clipboard 1 is the CLIPBOARD selection; it replaces whatever was there.
  Fl::copy(g_win->text.c_str(), static_cast<int>(g_win->text.size()), 1);
}

void OnClose(Fl_Widget*, void*) { Close(); }

// The title-bar button and Escape: the run defines nothing for them while it
// goes on; once the buttons are usable the title-bar button closes like cmdClose.
void OnWindowCallback(Fl_Widget*, void*) {
  if (!g_win || !g_win->buttonsEnabled) return;
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  Close();
}

// Each step of the scroll bar moves the rows up by one label height.
void OnScroll(Fl_Widget*, void*) {
  if (!g_win) return;
  const int value = static_cast<int>(g_win->vScroll1->value());
  g_win->picInnerbox->position(g_win->picInnerbox->x(),
                               g_win->picOuterbox->y() - value * lay::Px(lay::kLabelHeight));
  g_win->picOuterbox->redraw();
}

void AddRow(Window& w, int index, int left, int top) {
  w.lblVarName[index] = new PlainLabel(left + lay::Px(lay::kNameLeft), top, lay::Px(lay::kNameWidth),
                                       lay::Px(lay::kLabelHeight));
  w.lblVarValue[index] = new PlainLabel(left + lay::Px(lay::kValueLeft), top,
                                        lay::Px(lay::kValueWidth), lay::Px(lay::kLabelHeight));
}

void Build(Window& w, const Layout& layout) {
  w.caption = layout.caption;
  w.frm = std::make_unique<Fl_Double_Window>(lay::Px(lay::kClientWidth), lay::Px(lay::kClientHeight));
  w.frm->label(w.caption.c_str());
  w.frm->callback(OnWindowCallback);

  Frame(lay::kFrame1, lay::kFrame1Caption);
  const lay::Rect t = lay::Px(lay::kTxtMsg);
  w.txtMsg = new Fl_Text_Display(t.x, t.y, t.w, t.h);
  w.txtMsg->buffer(&w.buffer);
  w.txtMsg->textfont(FL_HELVETICA);
  w.txtMsg->textsize(kFontSize);
  w.txtMsg->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);

  Frame(lay::kFrame2, lay::kFrame2Caption);
  const lay::Rect h = lay::Px(lay::kPicture1);
  auto* picture1 = new Fl_Group(h.x, h.y, h.w, h.h);
  picture1->box(FL_THIN_DOWN_BOX);
  AddRow(w, 0, h.x, h.y + lay::Px(lay::kRowTop));
  picture1->end();

  const lay::Rect o = lay::Px(lay::kOuterbox);
  w.picOuterbox = new Fl_Group(o.x, o.y, o.w, o.h);
  w.picOuterbox->box(FL_THIN_DOWN_BOX);
  w.picOuterbox->clip_children(1);
  w.picInnerbox = new Fl_Group(o.x, o.y, o.w, lay::Px(lay::kInnerHeight));
  w.picInnerbox->box(FL_FLAT_BOX);
  for (int index = 1; index < kLabelCount; ++index) {
    const int row = layout.rowOfIndex[static_cast<size_t>(index)];
    AddRow(w, index, o.x, o.y + lay::Px(lay::RowTop(row)));
  }
  w.picInnerbox->end();
  w.picOuterbox->end();

  const lay::Rect s = lay::Px(lay::kVScroll1);
  w.vScroll1 = new Fl_Scrollbar(s.x, s.y, s.w, s.h);
  w.vScroll1->type(FL_VERTICAL);
  w.vScroll1->bounds(0, lay::ScrollMax());
  w.vScroll1->step(1);
  w.vScroll1->linesize(1);
  w.vScroll1->slider_size(static_cast<double>(o.h) / lay::Px(lay::kInnerHeight));
  w.vScroll1->value(0);
  w.vScroll1->callback(OnScroll);

  const lay::Rect c = lay::Px(lay::kCmdCopy);
  w.cmdCopy = new Fl_Button(c.x, c.y, c.w, c.h, lay::kCopyCaption);
  FitLabel(w.cmdCopy);
  w.cmdCopy->callback(OnCopy);
  w.cmdCopy->deactivate();
  const lay::Rect x = lay::Px(lay::kCmdClose);
  w.cmdClose = new Fl_Button(x.x, x.y, x.w, x.h, lay::kCloseCaption);
  FitLabel(w.cmdClose);
  w.cmdClose->callback(OnClose);
  w.cmdClose->deactivate();
  w.frm->end();

  for (int index = 0; index < kLabelCount; ++index) {
    w.lblVarName[index]->SetText(layout.names[static_cast<size_t>(index)]);
    w.lblVarValue[index]->SetText(layout.values[static_cast<size_t>(index)]);
  }
}

}  // namespace

void Create(const Layout& layout) {
  if (g_created) return;
  g_created = true;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return;
  fl_open_display(display);
  Fl::scheme("gtk+");
  FL_NORMAL_SIZE = kFontSize;
  g_win = std::make_unique<Window>();
  Build(*g_win, layout);
  g_win->frm->show();
  ProcessPendingEvents();
}

bool Exists() { return g_created; }

void AppendMessage(const std::string& text) {
  if (!g_win) return;
  g_win->text += text;
  // The display breaks lines at LF; the CR of each CR LF is left out.
  std::string shown;
  shown.reserve(text.size());
  for (char ch : text) {
    if (ch != '\r') shown += ch;
  }
  g_win->buffer.append(shown.c_str());
  g_win->txtMsg->insert_position(g_win->buffer.length());
  g_win->txtMsg->show_insert_position();
  ProcessPendingEvents();
}

void SetValue(int index, const std::string& text) {
  if (!g_win || index < 0 || index >= kLabelCount) return;
  g_win->lblVarValue[index]->SetText(text);
  ProcessPendingEvents();
}

bool AskYesNo(const std::string& text, const std::string& title) {
  if (!g_win) return true;
  fl_message_title(title.c_str());
  // Button 0 answers Escape, button 1 is the default (Return): No and Yes.
  const int answer = fl_choice("%s", "&Nein", "&Ja", nullptr, text.c_str());
  ProcessPendingEvents();
  return answer == 1;
}

void ProcessPendingEvents() {
  if (!g_win) return;
  Fl::check();
}

void EnableButtons() {
  if (!g_win) return;
  g_win->buttonsEnabled = true;
  g_win->cmdCopy->activate();
  g_win->cmdClose->activate();
  ProcessPendingEvents();
}

void RunUntilClosed() {
  if (!g_win) return;
  while (!g_win->closed && g_win->frm->shown()) Fl::wait();
  g_win.reset();
}

}  // namespace qm::platform::window
