// Whole runs of both builds with the progress window, on a virtual X screen of
// the test's own: the windows are found by their names, driven with the mouse
// and the keyboard, and read back through the clipboard and screenshots (kept
// in the sandbox folder under screens/). The Windows build runs under Wine on
// the same screen.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../../src/platform/common/window_layout.h"
#include "harness.h"
#include "xscreen.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;
namespace lay = qm::platform::window::layout;
using Clock = std::chrono::steady_clock;

// xdotool matches names as case-insensitive regular expressions; the exact
// names are compared separately.
constexpr const char* kMainPattern = "Debug-Nachrichten$";
constexpr const char* kPromptPattern = "^Quillmark - Debug$";
constexpr const char* kCaption = "Quillmark 1.0 Build 01 - Debug-Nachrichten";
constexpr const char* kPromptTitle = "Quillmark - Debug";
constexpr const char* kFinished =
    "Fertig ... Bitte klicken Sie auf 'Schließen', um die Anwendung zu beenden.";

const std::string kSeparator = "\r\n" + std::string(110, '-') + "\r\n";

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The entries of a log file (time stamps masked, UTF-8): the text after each
// time stamp, continuation lines included; blank lines left out.
std::vector<std::string> LogEntries(const std::string& log) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    start = end + 2;
    if (line.rfind("TS ", 0) == 0) {
      entries.push_back(line.substr(3));
    } else if (!line.empty() && !entries.empty()) {
      entries.back() += "\r\n" + line;
    }
  }
  return entries;
}

// The messages the window must show for a run whose log has these entries: the
// log's section lines and dumps are the log's own; the start line is shown
// without the section mark.
std::vector<std::string> ShownMessages(const std::vector<std::string>& logEntries) {
  const std::string mark = std::string(10, '*') + " ";
  std::vector<std::string> out;
  for (const std::string& e : logEntries) {
    if (e == std::string(10, '*') + " Ende") continue;
    if (e.rfind("Ermittelte Benutzerdaten: ", 0) == 0 || e.rfind("Ermittelte SignTypes: ", 0) == 0) continue;
    out.push_back(e.rfind(mark, 0) == 0 ? e.substr(mark.size()) : e);
  }
  return out;
}

// The messages in the text of txtMsg: each ends with the separator line, and
// each "|" of a message stands as ":" and a line break.
std::vector<std::string> WindowMessages(const std::string& text, bool* wellFormed) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at = text.find(kSeparator); at != std::string::npos; at = text.find(kSeparator, start)) {
    out.push_back(text.substr(start, at - start));
    start = at + kSeparator.size();
  }
  *wellFormed = start == text.size();
  return out;
}

// Wine hands the clipboard text on to X with LF line ends; back to CR LF.
std::string FromX(const std::string& text, Build build) {
  if (build == Build::Linux) return text;
  return ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\n", "\r\n");
}

class WindowTest : public ::testing::TestWithParam<Build> {
 protected:
  // A Wine prefix whose processes show their windows on this test's screen.
  // Wine's desktop process keeps the display it was started with, and the
  // prefix's wineserver outlives single programs: so every Wine process of the
  // prefix is ended before this test's first program starts and again before
  // the screen goes, both while the sandbox holds the prefix. Without a window
  // manager Wine would wait two seconds for one whenever a managed window is
  // hidden; the program's windows are therefore unmanaged, with Wine's own frame.
  class WineOnScreen {
   public:
    explicit WineOnScreen(const Sandbox& sb) : sb_(sb) {
      if (sb_.build() != Build::Windows) return;
      sb_.Wine({"reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\quillmark.exe\\X11 Driver", "/v",
                "Managed", "/d", "N", "/f"});
      EndAll();
    }
    ~WineOnScreen() {
      if (sb_.build() == Build::Windows) EndAll();
    }
    WineOnScreen(const WineOnScreen&) = delete;
    WineOnScreen& operator=(const WineOnScreen&) = delete;

   private:
    void EndAll() const {
      RunTool({"wineserver", "-k"}, sb_.BaseEnv(), 20000);
      RunTool({"wineserver", "-w"}, sb_.BaseEnv(), 20000);
    }
    const Sandbox& sb_;
  };

  void SetUp() override {
    sb_ = std::make_unique<Sandbox>(GetParam());
    screen_ = std::make_unique<VirtualScreen>(sb_->Path("xvfb.log"));
    ASSERT_TRUE(screen_->ok()) << screen_->error();
    // Outlook must be found (run step 7); version 13 registers nothing. Seeded
    // first: under Wine it starts Wine processes that do not know the screen.
    sb_->SeedOutlookVersion(13);
    wine_ = std::make_unique<WineOnScreen>(*sb_);
    // The step prompt of the linux build opens under the pointer: keep it
    // away from the message box and the buttons.
    screen_->MovePointer(1200, 980);
    fs::create_directories(sb_->Path("screens"));
  }

  void TearDown() override {
    program_.reset();
    wine_.reset();
    screen_.reset();
    sb_.reset();
  }

  Sandbox& sb() { return *sb_; }
  VirtualScreen& screen() { return *screen_; }
  Build build() const { return GetParam(); }

  // A configuration with the sign type "standard" and its three templates.
  void Prepare(const std::string& moreIni) {
    sb().Write("cfg/site.ini", "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\n"
                               "FixedSignType=standard\r\n" + moreIni);
    sb().Write("cfg/Vorlagen/standard.htm", "<p>@FIRSTNAME@</p>\r\n");
    sb().Write("cfg/Vorlagen/standard.rtf", "{\\rtf1 @FIRSTNAME@}\r\n");
    sb().Write("cfg/Vorlagen/standard.txt", "@FIRSTNAME@\r\n");
    sb().MakeDir("app");
  }

  // Starts the program of the build on the screen, in the background.
  void Start(const std::string& debugSwitch) {
    std::vector<std::string> argv;
    if (build() == Build::Windows) {
      argv = {"wine", (fs::path(QM_WINDOWS_DIR) / "quillmark.exe").string()};
    } else {
      argv = {QM_LINUX_EXE};
    }
    argv.push_back("/INI:" + sb().Win("cfg/site.ini"));
    argv.push_back(debugSwitch);
    Env env = sb().BaseEnv();
    env["QM_APPDATA"] = sb().Win("app");
    env["DISPLAY"] = screen().display();
    program_ = std::make_unique<BackgroundProcess>(argv, env, sb().root(), sb().Path("output.txt"));
    ASSERT_TRUE(program_->started());
  }

  std::string Log() { return Latin1ToUtf8(MaskTimestamps(sb().Read("cfg/run.log"))); }

  // Polls until the log holds the text; false after `seconds`.
  bool WaitForLog(const std::string& text, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Log().find(text) == std::string::npos) {
      if (Clock::now() >= deadline || program_->Ended()) return Log().find(text) != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  // The client area of the progress window inside its X window: Wine draws
  // its own frame around an unmanaged window, FLTK has none.
  VirtualScreen::Rect Client(XWindow window) {
    VirtualScreen::Rect client{0, 0, lay::Px(lay::kClientWidth), lay::Px(lay::kClientHeight)};
    const auto g = screen().Geometry(window);
    EXPECT_TRUE(g.has_value());
    if (!g) return client;
    const int border = (g->width - client.width) / 2;
    client.x = border;
    client.y = g->height - client.height - border;
    return client;
  }

  // Screen rectangle of a control given in twips.
  VirtualScreen::Rect OnScreen(XWindow window, lay::Rect twips) {
    const auto g = screen().Geometry(window);
    const VirtualScreen::Rect c = Client(window);
    const lay::Rect px = lay::Px(twips);
    return {(g ? g->x : 0) + c.x + px.x, (g ? g->y : 0) + c.y + px.y, px.w, px.h};
  }

  void ClickButton(XWindow window, lay::Rect twips) {
    const VirtualScreen::Rect c = Client(window);
    const lay::Rect px = lay::Px(twips);
    screen().Click(window, c.x + px.x + px.w / 2, c.y + px.y + px.h / 2);
    screen().MovePointer(1200, 980);
  }

  // Clicks cmdCopy until the clipboard holds a text that contains `marker`;
  // that text, or nullopt after `seconds`.
  std::optional<std::string> CopyUntil(XWindow window, const std::string& marker, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      ClickButton(window, lay::kCmdCopy);
      const auto text = screen().Clipboard();
      if (text && text->find(marker) != std::string::npos) return FromX(*text, build());
      if (Clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  // The prompt is answered with the keyboard: Return takes the default button
  // (Yes), Alt+N the No button ("Nein").
  // A key that did not arrive (the focus came too late) is typed again once
  // the prompt has clearly stayed.
  void Answer(XWindow prompt, bool yes) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      screen().Keys(prompt, yes ? "Return" : "alt+n");
      if (screen().WaitUntilGone(prompt, 5)) return;
    }
    ADD_FAILURE() << "the prompt stays after the answer";
  }

  // While the process waits for the user it uses no processor time.
  void ExpectIdle(XWindow window, const std::string& when) {
    const pid_t pid = screen().WindowPid(window);
    ASSERT_EQ(pid, program_->pid()) << "the window belongs to another process " << when;
    const auto before = CpuTicks(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto after = CpuTicks(pid);
    ASSERT_TRUE(before && after) << when;
    EXPECT_LE(*after - *before, 3) << "clock ticks used in 1.5 s " << when;
  }

  void Screenshot(const std::string& name) {
    EXPECT_TRUE(screen().Screenshot(sb().Path("screens/" + name + ".png"))) << name;
  }

  // The window's text holds the log's messages in the log's order, followed
  // by the messages that only the window shows.
  void ExpectSameMessagesAsLog(const std::string& text, const std::vector<std::string>& windowOnly) {
    bool wellFormed = false;
    std::vector<std::string> shown = WindowMessages(text, &wellFormed);
    EXPECT_TRUE(wellFormed) << "every message ends with the separator line:\n" << text;
    for (std::string& m : shown) m = ReplaceAll(m, ":\r\n", ": ");
    std::vector<std::string> expected = ShownMessages(LogEntries(Log()));
    for (const std::string& m : windowOnly) expected.push_back(m);
    EXPECT_EQ(shown, expected);
  }

  // The data panel after a run with the sign type "standard" and no user-data
  // dump: the down arrow of VScroll1 clicked past its last value moves the
  // rows up by one label height per value, the heading stays, and the sign
  // type rows come into view with their values while the unfilled rows keep
  // their blank.
  void ExpectDataPanelScrolls(XWindow window, const std::string& name) {
    const fs::path top = sb().Path("screens/" + name + "-panel-top.png");
    const fs::path end = sb().Path("screens/" + name + "-panel-end.png");
    ASSERT_TRUE(screen().Screenshot(top));
    const VirtualScreen::Rect c = Client(window);
    const lay::Rect bar = lay::Px(lay::kVScroll1);
    for (int i = 0; i < lay::ScrollMax() + 2; ++i) {
      screen().Click(window, c.x + bar.x + bar.w / 2, c.y + bar.y + bar.h - bar.w / 2);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    screen().MovePointer(1200, 980);
    ASSERT_TRUE(screen().Screenshot(end));

    const int shift = lay::ScrollMax() * lay::Px(lay::kLabelHeight);
    VirtualScreen::Rect box = OnScreen(window, lay::kOuterbox);
    box = {box.x + 3, box.y + 3, box.width - 6, box.height - 6};  // inside its border
    const auto before = GreyPixels(top, {box.x, box.y + shift, box.width, box.height - shift});
    const auto after = GreyPixels(end, {box.x, box.y, box.width, box.height - shift});
    ASSERT_TRUE(before && after);
    EXPECT_TRUE(*before == *after) << "the rows did not move by " << shift << " pixels";
    EXPECT_EQ(GreyPixels(top, OnScreen(window, lay::kPicture1)), GreyPixels(end, OnScreen(window, lay::kPicture1)))
        << "the heading moved";

    // Display rows 24 to 27: SignType, SignTypeReply, Ziel-SignType, Ziel-SignTypeReply.
    const VirtualScreen::Rect outer = OnScreen(window, lay::kOuterbox);
    for (const auto& [row, filled] : {std::pair{24, true}, {25, false}, {26, true}, {27, false}}) {
      const VirtualScreen::Rect cell{outer.x + lay::Px(lay::kValueLeft) + 2,
                                     outer.y + lay::Px(lay::RowTop(row)) - shift + 2, 80,
                                     lay::Px(lay::kLabelHeight) - 4};
      const auto v = Variation(end, cell);
      ASSERT_TRUE(v.has_value());
      if (filled) {
        EXPECT_GT(*v, 0.05) << "no value in display row " << row;
      } else {
        EXPECT_LT(*v, 0.01) << "a value in display row " << row;
      }
    }
  }

  // Clicks cmdClose and returns the process's exit status.
  int CloseAndWait(XWindow window) {
    ClickButton(window, lay::kCmdClose);
    EXPECT_TRUE(program_->WaitForEnd(15)) << "the process lives on after Schließen";
    EXPECT_TRUE(screen().WaitUntilGone(window, 5));
    return program_->exitCode();
  }

  std::unique_ptr<BackgroundProcess> program_;

 private:
  std::unique_ptr<Sandbox> sb_;
  std::unique_ptr<VirtualScreen> screen_;
  std::unique_ptr<WineOnScreen> wine_;
};

TEST_P(WindowTest, NoAtTheFirstPromptStopsTheRun) {
  Prepare("");
  Start("/DEBUG:TRUE");
  const XWindow prompt = screen().WaitForWindow(kPromptPattern, 60);
  ASSERT_NE(prompt, 0u) << sb().Read("output.txt");
  const std::vector<XWindow> main = screen().Windows(kMainPattern);
  ASSERT_EQ(main.size(), 1u);
  const XWindow window = main[0];
  EXPECT_EQ(screen().WindowName(window), kCaption);
  EXPECT_EQ(screen().WindowName(prompt), kPromptTitle);
  Screenshot("first-prompt");

  // The messages so far are in the window while the run waits at the prompt:
  // the upper part of the message box is not one plain colour.
  const lay::Rect top{lay::kTxtMsg.x, lay::kTxtMsg.y, lay::kTxtMsg.w, 1500};
  const auto variation = Variation(sb().Path("screens/first-prompt.png"), OnScreen(window, top));
  ASSERT_TRUE(variation.has_value());
  EXPECT_GT(*variation, 0.05) << "no text in the message box at the first prompt";
  EXPECT_NE(Log().find("TS Ermittle Ziel-SignTypes\r\n"), std::string::npos) << Log();

  ExpectIdle(window, "while the prompt waits");
  // The buttons cannot be used while the run goes on.
  screen().SetClipboard("vorher", sb().Path("clipboard.txt"));
  ClickButton(window, lay::kCmdCopy);
  EXPECT_EQ(screen().Clipboard(), std::optional<std::string>("vorher"));

  Answer(prompt, false);
  ASSERT_TRUE(WaitForLog("TS ********** Ende\r\n\r\n", 30)) << Log();
  const auto text = CopyUntil(window, "Abbruch durch Benutzer", 20);
  ASSERT_TRUE(text.has_value()) << "cmdCopy is not usable after the stop";
  Screenshot("stopped");
  EXPECT_TRUE(screen().Windows(kPromptPattern).empty()) << "a second prompt after No";

  EXPECT_EQ(text->rfind("Starte Quillmark:\r\n1.0 Build 01" + kSeparator, 0), 0u) << *text;
  EXPECT_TRUE(EndsWith(*text, "Ermittle Ziel-SignTypes" + kSeparator + "Abbruch durch Benutzer" + kSeparator))
      << *text;
  ExpectSameMessagesAsLog(*text, {});
  EXPECT_TRUE(EndsWith(Log(), "TS Ermittle Ziel-SignTypes\r\nTS Abbruch durch Benutzer\r\n"
                              "TS ********** Ende\r\n\r\n"))
      << Log();
  EXPECT_EQ(ReadTree(sb().Path("app/Microsoft/Signatures")), Tree{}) << "a signature after No";

  ExpectIdle(window, "while the stopped run's window waits");
  EXPECT_FALSE(program_->Ended()) << "the process ended before the window was closed";
  EXPECT_EQ(CloseAndWait(window), 2);
}

TEST_P(WindowTest, YesAtEveryPromptFinishesTheRun) {
  struct Case {
    const char* name;
    bool database;
    int prompts;
  };
  for (const Case c : {Case{"no data source", false, 2}, Case{"database", true, 3}}) {
    SCOPED_TRACE(c.name);
    std::string ini;
    if (c.database) {
      const fs::path sql = sb().Write("daten/benutzer.sql",
                                      "CREATE TABLE Benutzer (Benutzername TEXT, Vorname TEXT);\n"
                                      "INSERT INTO Benutzer VALUES ('" + sb().UserName() + "', 'Jörg');\n");
      fs::remove(sb().Path("daten/benutzer.db"));
      const std::string command = "sqlite3 '" + sb().Path("daten/benutzer.db").string() + "' < '" + sql.string() + "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << "the sqlite3 program is needed";
      ini = "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb().Win("daten/benutzer.db") +
            "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n"
            "[FieldMapping]\r\nFirstName=Vorname\r\n";
    }
    fs::remove_all(sb().Path("app"));
    fs::remove(sb().Path("cfg/run.log"));
    Prepare(ini);
    Start("/DEBUG:TRUE");

    // Yes to every prompt until the log's section is closed.
    std::vector<XWindow> answered;
    const auto deadline = Clock::now() + std::chrono::seconds(90);
    while (Log().find("TS ********** Ende\r\n") == std::string::npos) {
      ASSERT_LT(Clock::now(), deadline) << Log();
      ASSERT_FALSE(program_->Ended()) << Log() << sb().Read("output.txt");
      const XWindow prompt = screen().WaitForWindow(kPromptPattern, 0.2, answered);
      if (prompt == 0) continue;
      EXPECT_EQ(screen().WindowName(prompt), kPromptTitle);
      if (answered.empty()) {
        Screenshot(std::string("first-prompt-") + (c.database ? "database" : "plain"));
        ExpectIdle(prompt, "while the prompt waits");
      }
      Answer(prompt, true);
      answered.push_back(prompt);
    }
    EXPECT_EQ(answered.size(), static_cast<size_t>(c.prompts)) << Log();

    const std::vector<XWindow> main = screen().Windows(kMainPattern);
    ASSERT_EQ(main.size(), 1u);
    const XWindow window = main[0];
    const auto text = CopyUntil(window, kFinished, 20);
    ASSERT_TRUE(text.has_value()) << "cmdCopy is not usable after the run";
    Screenshot(std::string("finished-") + (c.database ? "database" : "plain"));
    EXPECT_TRUE(screen().Windows(kPromptPattern).empty()) << "a prompt after the run";
    EXPECT_TRUE(sb().Exists("app/Microsoft/Signatures/standard.txt")) << Log();

    // Exactly the messages of the run, umlauts and separators included, with
    // the closing message last (the log has its section line instead).
    ExpectSameMessagesAsLog(*text, {kFinished});
    EXPECT_NE(text->find(kSeparator + "Prüfe SignTypes" + kSeparator), std::string::npos) << *text;
    if (c.database) {
      EXPECT_NE(text->find(kSeparator + "DB -> Benutzer gefunden" + kSeparator), std::string::npos) << *text;
      ExpectIdle(window, "while the finished window waits");
      ExpectDataPanelScrolls(window, "finished-database");
      // A later copy replaces what the clipboard holds.
      screen().SetClipboard("dazwischen", sb().Path("clipboard.txt"));
      EXPECT_EQ(CopyUntil(window, kFinished, 10), text);
    }
    EXPECT_EQ(CloseAndWait(window), 0);
  }
}

TEST_P(WindowTest, FailedRunAndRunWithoutWindow) {
  // Without the dialog switch no window appears and the run ends by itself.
  Prepare("");
  Start("/DEBUG:LOG");
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (!program_->Ended()) {
    ASSERT_LT(Clock::now(), deadline) << "the run without window does not end";
    EXPECT_TRUE(screen().Windows("Quillmark").empty()) << "a window without DEBUG:DIALOG";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(program_->exitCode(), 0) << sb().Read("output.txt");
  // Not even a window too short-lived to be seen: the program never opened the display.
  for (pid_t pid : screen().ClientPids()) EXPECT_NE(pid, program_->pid()) << "connected to the screen";
  EXPECT_TRUE(sb().Exists("app/Microsoft/Signatures/standard.txt")) << Log();
  EXPECT_TRUE(EndsWith(Log(), "TS ********** Ende\r\n\r\n")) << Log();

  // A failed run shows the long error message last, then waits to be closed.
  fs::remove_all(sb().Path("cfg/Vorlagen"));
  fs::remove(sb().Path("cfg/run.log"));
  Start("/DEBUG:DIALOG");
  const XWindow window = screen().WaitForWindow(kMainPattern, 60);
  ASSERT_NE(window, 0u) << sb().Read("output.txt");
  EXPECT_EQ(screen().WindowName(window), kCaption);
  const std::vector<pid_t> clients = screen().ClientPids();
  EXPECT_NE(std::find(clients.begin(), clients.end(), program_->pid()), clients.end());
  const auto text = CopyUntil(window, "Es ist folgender Fehler aufgetreten", 30);
  ASSERT_TRUE(text.has_value()) << "cmdCopy is not usable after the failure";
  Screenshot("failed");
  EXPECT_TRUE(screen().Windows(kPromptPattern).empty()) << "a prompt in a run that failed before it";
  const std::string error =
      "Es ist folgender Fehler aufgetreten:\r\n999: Angebener Ordner mit den Signaturvorlagen wurde nicht "
      "gefunden\r\n" + std::string(50, '-') + "\r\nDie Anwendung wird beendet. \r\n\r\n"
      "Nähere Informationen finden Sie im Anwendungs-Log unter \r\n'" + sb().Win("cfg") + "\\run.log'";
  EXPECT_TRUE(EndsWith(*text, "Ermittle Vorlagenordner" + kSeparator + error + kSeparator)) << *text;
  // DEBUG:DIALOG alone: the log has the error line only.
  EXPECT_EQ(Log(), "TS @" + UpperCase(sb().UserName()) +
                       " > Fehler 999: Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden\r\n");
  ExpectIdle(window, "while the failed run's window waits");
  EXPECT_EQ(CloseAndWait(window), 1);
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
