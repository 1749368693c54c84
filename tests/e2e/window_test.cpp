// Whole runs of both builds with the progress window, on a virtual X screen of
// the test's own: the windows are found by their names, driven with the mouse
// and the keyboard, and read back through the clipboard and screenshots (kept
// in the sandbox folder under screens/). The Windows build runs under Wine on
// the same screen.
#include <cstdlib>
#include <memory>

#include "harness.h"
#include "xscreen.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;
using Rect = VirtualScreen::Rect;

// Where the buttons and the message box are, in twips (1/1440 inch) of the
// client area as the design places them; 15 twips make one pixel at 96 dpi.
namespace lay {
struct Rect {
  int x, y, w, h;
};
constexpr int Px(int twips) { return (twips + 7) / 15; }
constexpr Rect Px(Rect t) { return {Px(t.x), Px(t.y), Px(t.w), Px(t.h)}; }
constexpr int kClientWidth = 13455;
constexpr int kClientHeight = 8160;
constexpr Rect kMessageTop{225, 345, 5835, 1500};  // the upper part of txtMsg
constexpr Rect kCmdCopy{105, 7680, 3255, 375};
constexpr Rect kCmdClose{10860, 7680, 2415, 375};
}  // namespace lay

// xdotool matches names as case-insensitive regular expressions; the exact
// names are compared separately.
constexpr const char* kMainPattern = "Debug-Nachrichten$";
constexpr const char* kPromptPattern = "^Quillmark - Debug$";
constexpr const char* kCaption = "Quillmark 1.0 Build 01 - Debug-Nachrichten";
constexpr const char* kPromptTitle = "Quillmark - Debug";
constexpr const char* kFinished = "Fertig ... Bitte klicken Sie auf 'Schließen', um die Anwendung zu beenden.";
const std::string kSeparator = "\r\n" + std::string(110, '-') + "\r\n";
const std::string kEnd = "TS ********** Ende\r\n\r\n";

// The messages of a run's log (time stamps masked) as the window shows them:
// the text after each time stamp with its continuation lines, without the
// closing section line and the data dumps, the start line without its mark.
std::vector<std::string> LogMessages(const std::string& log) {
  std::vector<std::string> out;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (line.starts_with("TS ")) {
      out.push_back(line.substr(3));
    } else if (!line.empty() && !out.empty()) {
      out.back() += "\r\n" + line;
    }
  }
  std::erase_if(out, [](const std::string& m) {
    return m == "********** Ende" || m.starts_with("Ermittelte Benutzerdaten: ") ||
           m.starts_with("Ermittelte SignTypes: ");
  });
  for (std::string& m : out) {
    if (m.starts_with("********** ")) m.erase(0, 11);
  }
  return out;
}

// How much the grey level varies in an area of a screenshot (ImageMagick's
// standard deviation): 0 for one plain colour, clearly more where text is drawn.
double Variation(const fs::path& png, const Rect& area) {
  const std::string crop = std::to_string(area.w) + "x" + std::to_string(area.h) + "+" +
                           std::to_string(area.x) + "+" + std::to_string(area.y);
  const RunResult r = Exec({"convert", png.string(), "-crop", crop, "+repage", "-colorspace", "Gray",
                            "-format", "%[fx:standard_deviation]", "info:"},
                           {{"PATH", std::getenv("PATH")}}, 20);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.exitCode == 0 ? std::stod(r.output) : 0;
}

// Processor time (user + system, in clock ticks) the process has used; -1 when it is gone.
long long CpuTicks(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t name = stat.rfind(')');  // the name in parentheses may hold blanks
  if (name == std::string::npos) return -1;
  std::istringstream fields(stat.substr(name + 2));
  std::string skip;
  for (int field = 3; field < 14; ++field) fields >> skip;  // state ... cmajflt
  long long utime = 0, stime = 0;
  fields >> utime >> stime;
  return utime + stime;
}

class WindowTest : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_ = std::make_unique<Sandbox>(GetParam());
    screen_ = std::make_unique<VirtualScreen>(sb().Path("xvfb.log"));
    ASSERT_NE(screen().display(), "") << "Xvfb did not report a display (packages xvfb, util-linux)";
    // Outlook must be found; version 13 registers nothing. Seeded first: under
    // Wine it starts Wine processes that do not know the screen.
    sb().SeedOutlookVersion(13);
    if (build() == Build::Windows) {
      // Without a window manager Wine would wait two seconds for one whenever a
      // managed window is hidden: the program's windows are unmanaged, with
      // Wine's own frame.
      sb().Wine({"reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\" + WindowsExe(build()).filename().string() + "\\X11 Driver", "/v", "Managed",
                 "/d", "N", "/f"});
      EndWine();
    }
    // The step prompt of the linux build opens under the pointer: away from the buttons.
    screen().Tool({"xdotool", "mousemove", "1200", "980"});
    fs::create_directories(sb().Path("screens"));
  }

  void TearDown() override {
    program_.reset();
    if (sb_ && build() == Build::Windows) EndWine();
    screen_.reset();
    sb_.reset();
  }

  // Wine's desktop process keeps the display it was started with, and the
  // prefix's wineserver outlives single programs: every Wine process of the
  // prefix is ended before this test's first program starts and again before
  // the screen goes, both while the sandbox holds the prefix.
  void EndWine() {
    Exec({"wineserver", "-k"}, sb().BaseEnv(), 20);
    Exec({"wineserver", "-w"}, sb().BaseEnv(), 20);
  }

  Sandbox& sb() { return *sb_; }
  VirtualScreen& screen() { return *screen_; }
  Build build() const { return GetParam(); }

  // A configuration with the sign type "standard" and its three templates.
  void Prepare(const std::string& main = "", const std::string& mapping = "") {
    sb().Configure("FixedSignType=standard\r\n" + main, mapping);
    sb().Templates("standard", "@FIRSTNAME@\r\n");
  }

  // Starts the program of the build on the screen, in the background.
  void Start(const std::string& debugSwitch) {
    std::vector<std::string> argv{QM_LINUX_EXE};
    if (build() == Build::Windows) argv = {"wine", WindowsExe(build()).string()};
    argv.push_back("/INI:" + sb().Win("cfg/site.ini"));
    argv.push_back(debugSwitch);
    const Env env = sb().BaseEnv({{"QM_APPDATA", sb().Win("app")}, {"DISPLAY", screen().display()}});
    program_ = std::make_unique<Process>(argv, env, sb().root(), sb().Path("output.txt"));
    ASSERT_GT(program_->pid(), 0);
  }

  std::string Log() { return Convert(MaskTimestamps(sb().Read("cfg/run.log")), "ISO-8859-1", "UTF-8"); }

  // Screen rectangle of a control given in twips. Wine draws its own frame
  // around the unmanaged window, FLTK has none.
  Rect OnScreen(XWindow window, lay::Rect twips) {
    const Rect g = screen().Geometry(window);
    EXPECT_GT(g.w, 0) << "no geometry of window " << window;
    const int border = (g.w - lay::Px(lay::kClientWidth)) / 2;
    const lay::Rect px = lay::Px(twips);
    return {g.x + border + px.x, g.y + g.h - lay::Px(lay::kClientHeight) - border + px.y, px.w, px.h};
  }

  void Click(XWindow window, lay::Rect button) {
    const Rect r = OnScreen(window, button);
    screen().Click(r.x + r.w / 2, r.y + r.h / 2);
  }

  // xclip serves the selection from a child of its own until someone else
  // takes it over or the screen ends.
  void SetClipboard(const std::string& text) {
    screen().Tool({"xclip", "-selection", "clipboard", "-i", sb().Write("clipboard.txt", text).string()}, 5);
  }

  // Clicks cmdCopy until the clipboard holds a text that contains `marker`;
  // that text, or nullopt after `seconds`.
  std::optional<std::string> CopyUntil(XWindow window, const std::string& marker, double seconds) {
    std::optional<std::string> text;
    if (!Eventually(seconds, [&] {
          Click(window, lay::kCmdCopy);
          text = screen().Clipboard();
          return text && text->find(marker) != std::string::npos;
        })) {
      return std::nullopt;
    }
    // Wine hands the clipboard text on to X with LF line ends.
    if (build() == Build::Windows) text = std::regex_replace(*text, std::regex("\r?\n"), "\r\n");
    return text;
  }

  // Return takes the default button (Yes), Alt+N the No button ("Nein"). Keys
  // typed through the XTEST extension reach the focus window (some toolkits
  // ignore events sent to a window directly); a key that came before the focus
  // is typed again once the prompt has clearly stayed.
  void Answer(XWindow prompt, bool yes) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      screen().Tool({"xdotool", "windowfocus", "--sync", std::to_string(prompt)}, 3);
      screen().Tool({"xdotool", "key", yes ? "Return" : "alt+n"});
      if (screen().WaitUntilGone(prompt, 5)) return;
    }
    ADD_FAILURE() << "the prompt stays after the answer";
  }

  // While the process waits for the user it uses no processor time.
  void ExpectIdle(XWindow window, const std::string& when) {
    ASSERT_EQ(screen().Pid(window), program_->pid()) << "the window belongs to another process " << when;
    const long long before = CpuTicks(program_->pid());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const long long after = CpuTicks(program_->pid());
    ASSERT_TRUE(before >= 0 && after >= 0) << when;
    EXPECT_LE(after - before, 3) << "clock ticks used in 1.5 s " << when;
  }

  fs::path Screenshot(const std::string& name) {
    const fs::path png = sb().Path("screens/" + name + ".png");
    EXPECT_EQ(screen().Tool({"import", "-window", "root", png.string()}, 20).exitCode, 0) << name;
    return png;
  }

  // The window's text is the log's messages in the log's order, followed by
  // those only the window shows, each ended by the separator line; a "|" of a
  // message (": " in the log) stands as ":" and a line break.
  void ExpectMessagesOfLog(const std::string& text, const std::vector<std::string>& windowOnly) {
    std::vector<std::string> shown;
    size_t start = 0;
    for (size_t at; (at = text.find(kSeparator, start)) != std::string::npos; start = at + kSeparator.size())
      shown.push_back(std::regex_replace(text.substr(start, at - start), std::regex(":\r\n"), ": "));
    EXPECT_EQ(start, text.size()) << "every message ends with the separator line:\n" << text;
    std::vector<std::string> expected = LogMessages(Log());
    expected.insert(expected.end(), windowOnly.begin(), windowOnly.end());
    EXPECT_EQ(shown, expected);
  }

  // Clicks cmdClose and returns the process's exit status.
  int CloseAndWait(XWindow window) {
    Click(window, lay::kCmdClose);
    const std::optional<int> status = program_->Wait(15);
    EXPECT_TRUE(status) << "the process lives on after Schließen";
    EXPECT_TRUE(screen().WaitUntilGone(window, 5));
    return status.value_or(-1);
  }

  std::unique_ptr<Process> program_;

 private:
  std::unique_ptr<Sandbox> sb_;
  std::unique_ptr<VirtualScreen> screen_;
};

TEST_P(WindowTest, NoAtTheFirstPromptStopsTheRun) {
  // With the status on: it changes nothing the window or the log show.
  Prepare("RunStatus=1\r\n");
  Start("/DEBUG:TRUE");
  const XWindow prompt = screen().WaitForWindow(kPromptPattern, 60);
  ASSERT_NE(prompt, 0u) << sb().Read("output.txt");
  const std::vector<XWindow> main = screen().Windows(kMainPattern);
  ASSERT_EQ(main.size(), 1u);
  const XWindow window = main[0];
  EXPECT_EQ(screen().Name(window), kCaption);
  EXPECT_EQ(screen().Name(prompt), kPromptTitle);
  // The messages so far are in the window while the run waits at the prompt:
  // the upper part of the message box is not one plain colour.
  EXPECT_GT(Variation(Screenshot("first-prompt"), OnScreen(window, lay::kMessageTop)), 0.05)
      << "no text in the message box at the first prompt";
  EXPECT_NE(Log().find("TS Ermittle Ziel-SignTypes\r\n"), std::string::npos) << Log();

  ExpectIdle(window, "while the prompt waits");
  // The buttons cannot be used while the run goes on.
  SetClipboard("vorher");
  Click(window, lay::kCmdCopy);
  EXPECT_EQ(screen().Clipboard(), std::optional<std::string>("vorher"));

  Answer(prompt, false);
  ASSERT_TRUE(Eventually(30, [&] { return Log().ends_with(kEnd); })) << Log();
  const auto text = CopyUntil(window, "Abbruch durch Benutzer", 20);
  ASSERT_TRUE(text.has_value()) << "cmdCopy is not usable after the stop";
  EXPECT_TRUE(screen().Windows(kPromptPattern).empty()) << "a second prompt after No";

  // A "|" of a message stands as ":" and a line break.
  EXPECT_TRUE(text->starts_with("Starte Quillmark:\r\n1.0 Build 01" + kSeparator)) << *text;
  ExpectMessagesOfLog(*text, {});
  EXPECT_TRUE(Log().ends_with("TS Ermittle Ziel-SignTypes\r\nTS Abbruch durch Benutzer\r\n" + kEnd)) << Log();
  EXPECT_EQ(ReadTree(sb().Path("app/Microsoft/Signatures")), Tree{}) << "a signature after No";

  EXPECT_FALSE(program_->Wait()) << "the process ended before the window was closed";
  EXPECT_EQ(CloseAndWait(window), 2);
  const std::map<std::string, std::string> status = sb().RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark");
  EXPECT_EQ(status.count("LASTEXITCODE") ? status.at("LASTEXITCODE") : "", "dword:00000002");
  EXPECT_EQ(status.count("LASTERROR") ? status.at("LASTERROR") : "", "\"\"");
  EXPECT_EQ(status.count("SIGNATURESWRITTEN") ? status.at("SIGNATURESWRITTEN") : "", "dword:00000000");
}

TEST_P(WindowTest, YesAtEveryPromptFinishesTheRun) {
  // A user found in a database: one prompt more than a run without a data
  // source, and values in the data panel.
  sb().Sqlite("daten/benutzer.db", "CREATE TABLE Benutzer (Benutzername TEXT, Vorname TEXT);\n"
                                    "INSERT INTO Benutzer VALUES ('" + sb().UserName() + "', 'Jörg');\n");
  Prepare("DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb().Win("daten/benutzer.db") +
              "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n",
          "FirstName=Vorname\r\n");
  Start("/DEBUG:TRUE");

  std::vector<XWindow> answered;
  ASSERT_TRUE(Eventually(90, [&] {
    if (Log().ends_with(kEnd) || program_->Wait()) return true;
    const XWindow prompt = screen().WaitForWindow(kPromptPattern, 0.2, answered);
    if (prompt != 0) {
      Answer(prompt, true);
      answered.push_back(prompt);
    }
    return false;
  })) << Log();
  ASSERT_FALSE(program_->Wait()) << Log() << sb().Read("output.txt");
  EXPECT_EQ(answered.size(), 3u) << Log();

  const std::vector<XWindow> main = screen().Windows(kMainPattern);
  ASSERT_EQ(main.size(), 1u);
  const XWindow window = main[0];
  const auto text = CopyUntil(window, kFinished, 20);
  ASSERT_TRUE(text.has_value()) << "cmdCopy is not usable after the run";
  EXPECT_TRUE(screen().Windows(kPromptPattern).empty()) << "a prompt after the run";
  EXPECT_EQ(sb().Read("app/Microsoft/Signatures/standard.txt"), Ansi("Jörg\r\n")) << Log();

  // Exactly the messages of the run, umlauts and separators included, with
  // the closing message last (the log has its section line instead).
  ExpectMessagesOfLog(*text, {kFinished});
  ExpectIdle(window, "while the finished window waits");
  EXPECT_EQ(CloseAndWait(window), 0);
}

TEST_P(WindowTest, FailedRunAndRunWithoutWindow) {
  // Without the dialog switch no window appears and the run ends by itself.
  Prepare();
  Start("/DEBUG:LOG");
  ASSERT_TRUE(Eventually(60, [&] {
    EXPECT_TRUE(screen().Windows("Quillmark").empty()) << "a window without DEBUG:DIALOG";
    return program_->Wait().has_value();
  })) << "the run without window does not end";
  EXPECT_EQ(program_->Wait(), 0) << sb().Read("output.txt");
  // Not even a window too short-lived to be seen: the program never opened the display.
  for (pid_t pid : screen().ClientPids()) EXPECT_NE(pid, program_->pid()) << "connected to the screen";
  EXPECT_TRUE(sb().Exists("app/Microsoft/Signatures/standard.txt")) << Log();
  EXPECT_TRUE(Log().ends_with(kEnd)) << Log();

  // A failed run shows the long error message last, then waits to be closed.
  fs::remove_all(sb().Path("cfg/Vorlagen"));
  fs::remove(sb().Path("cfg/run.log"));
  Start("/DEBUG:DIALOG");
  const XWindow window = screen().WaitForWindow(kMainPattern, 60);
  ASSERT_NE(window, 0u) << sb().Read("output.txt");
  const std::vector<pid_t> clients = screen().ClientPids();
  EXPECT_NE(std::find(clients.begin(), clients.end(), program_->pid()), clients.end());
  const auto text = CopyUntil(window, "Es ist folgender Fehler aufgetreten", 30);
  ASSERT_TRUE(text.has_value()) << "cmdCopy is not usable after the failure";
  EXPECT_TRUE(screen().Windows(kPromptPattern).empty()) << "a prompt in a run that failed before it";
  const std::string error =
      "Es ist folgender Fehler aufgetreten:\r\n999: Angebener Ordner mit den Signaturvorlagen wurde nicht "
      "gefunden\r\n" + std::string(50, '-') + "\r\nDie Anwendung wird beendet. \r\n\r\n"
      "Nähere Informationen finden Sie im Anwendungs-Log unter \r\n'" + sb().Win("cfg") + "\\run.log'";
  EXPECT_TRUE(text->ends_with("Ermittle Vorlagenordner" + kSeparator + error + kSeparator)) << *text;
  // DEBUG:DIALOG alone: the log has the error line only.
  std::string user = sb().UserName();
  std::transform(user.begin(), user.end(), user.begin(), ::toupper);
  EXPECT_EQ(Log(), "TS @" + user + " > Fehler 999: Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden\r\n");
  EXPECT_EQ(CloseAndWait(window), 1);
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
