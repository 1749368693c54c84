// Whole runs of both builds that produce signatures: the signature folder is
// compared byte for byte with the expected files, the folder is emptied in
// both modes, and a missing template ends the run before its signature.
#include <sys/stat.h>

#include <array>
#include <cstdlib>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

class Signatures : public ::testing::TestWithParam<Build> {
 protected:
  // Outlook must be found; version 13 is unknown, so the run registers nothing.
  void SetUp() override { sb_.SeedOutlookVersion(13); }

  // Templates a and b, four images, an old signature folder with a subfolder;
  // a under "eins", b under "zwei" and "Antwort", the folder emptied as the mode says.
  void Prepare(const std::string& emptyMode) {
    fs::remove_all(sb_.Path("app"));
    sb_.Configure("FixedSignType=A,b\r\nTargetSignType=eins,zwei\r\nFixedSignTypeReply=b\r\n"
                  "TargetSignTypeReply=Antwort\r\nEmptySignatureFolder=" + emptyMode + "\r\n");
    sb_.Write("cfg/Vorlagen/a.htm",
              Ansi("<p>@FULLNAME@|@SIGNTITLE@|@CITY@</p>\r\näü @firstname@\r\n"));
    sb_.Write("cfg/Vorlagen/a.rtf", std::string("{\\rtf1 \x00\x01\xff@FAX@}", 16));
    sb_.Write("cfg/Vorlagen/a.txt", "x\ny\rz@PHONE@");
    sb_.Write("cfg/Vorlagen/b.htm", "B@PHONE@\r\n");
    sb_.Write("cfg/Vorlagen/b.rtf", "");
    sb_.Write("cfg/Vorlagen/b.txt", "##CITY##");
    sb_.Write("cfg/Vorlagen/eins_logo.gif", "GIF89a eins");
    sb_.Write("cfg/Vorlagen/Eins_Foto.JPG", "JPG eins");
    sb_.Write("cfg/Vorlagen/zwei.jpeg", "JPEG zwei");
    sb_.Write("cfg/Vorlagen/other.gif", "GIF89a other");
    sb_.Write("app/Microsoft/Signatures/alt.htm", "alt");
    sb_.Write("app/Microsoft/Signatures/sub/keep.txt", "keep");
  }

  RunResult Run(int timeoutSeconds = 120) {
    RunResult r = sb_.RunLogged("", {}, timeoutSeconds);
    log_ = sb_.Log();
    return r;
  }

  // What the run writes for Prepare(): a under "eins", b under "zwei" and "Antwort".
  static Tree Produced() {
    const std::string rtf("{\\rtf1 \x00\x01\xff}\r\n", 13);
    return {
        {"eins.htm", Ansi("<p> ||</p>\r\näü @firstname@\r\n")},
        {"eins.rtf", rtf},
        {"eins.txt", "x\ny\r\nz\r\n"},
        {"eins_logo.gif", "GIF89a eins"},
        {"eins_foto.jpg", "JPG eins"},
        {"zwei.htm", "B\r\n"},
        {"zwei.rtf", ""},
        {"zwei.txt", "##CITY##\r\n"},
        {"zwei.jpeg", "JPEG zwei"},
        {"Antwort.htm", "B\r\n"},
        {"Antwort.rtf", ""},
        {"Antwort.txt", "##CITY##\r\n"},
        {"sub/", ""},
        {"sub/keep.txt", "keep"},
    };
  }

  Sandbox sb_{GetParam()};
  std::string log_;
};

TEST_P(Signatures, FolderEmptiedOrKeptThenFilled) {
  // 2 empties the folder for good, 1 into the recycle bin; any other value
  // (3 as "", 0 or any) keeps its files. Subfolders always stay.
  for (const std::string mode : {"2", "1", "3"}) {
    SCOPED_TRACE("EmptySignatureFolder=" + mode);
    Prepare(mode);
    RunResult r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    Tree expected = Produced();
    if (mode == "3") expected["alt.htm"] = "alt";
    EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")), expected) << log_;
    for (const std::string line :
         {"TS Leere Outlook-Signaturen-Ordner", "TS Verarbeite 1. Standardsignatur: a > eins",
          "TS -> Alle Vorlagendateien gefunden", "TS Verarbeite Bilddateien",
          "TS -> 2 GIF-Dateien gefunden", "TS -> 1 JPG-Dateien gefunden",
          "TS -> 1 JPEG-Dateien gefunden", "TS -> eins_foto.jpg: kopiert", "TS -> other.gif",
          "TS -> zwei.jpeg: kopiert", "TS Verarbeite 2. Standardsignatur: b > zwei",
          "TS Verarbeite 1. Antwortsignatur: b auf Antwort"}) {
      EXPECT_NE(log_.find(line + "\r\n"), std::string::npos) << line << "\n" << log_;
    }
    // New-message signatures come before replies, and the htm file comes first.
    EXPECT_LT(log_.find("Standardsignatur: b > zwei"), log_.find("Antwortsignatur: b auf Antwort"));
    EXPECT_LT(log_.find("-> Erzeuge HTM-Datei: "), log_.find("-> Erzeuge RTF-Datei: "));
    EXPECT_LT(log_.find("-> Erzeuge RTF-Datei: "), log_.find("-> Erzeuge TXT-Datei: "));
  }
  // The freedesktop.org Trash below XDG_DATA_HOME: the linux build's recycle
  // bin, and where Wine's recycle bin puts the file too. The subfolder stays.
  const fs::path trash = sb_.Path("home/.local/share/Trash");
  EXPECT_EQ(ReadFile(trash / "files" / "alt.htm"), "alt");
  EXPECT_FALSE(fs::exists(trash / "files" / "sub"));
  const std::string info = ReadFile(trash / "info" / "alt.htm.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=/", 0), 0u) << info;
  EXPECT_NE(info.find("/app/Microsoft/Signatures/alt.htm\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\nDeletionDate=20"), std::string::npos) << info;
}

TEST_P(Signatures, TemplateFileMissingOrNoFileEndsTheRun) {
  // A missing template file stops the run before its signature. A FIFO (as a
  // device) would keep the run waiting for a writer: it is not opened as a
  // file, and a FIFO among the images is not waited for either. Wine reads a
  // FIFO as an empty file; Windows has none.
  for (const bool fifo : {false, true}) {
    if (fifo && GetParam() == Build::Windows) continue;
    SCOPED_TRACE(fifo ? "a FIFO, and a FIFO among the images of the first" : "missing");
    Prepare("2");
    const fs::path txt = sb_.Path("cfg/Vorlagen/b.txt");
    fs::remove(txt);
    if (fifo) {
      ASSERT_EQ(::mkfifo(txt.c_str(), 0644), 0);
      ASSERT_EQ(::mkfifo(sb_.Path("cfg/Vorlagen/eins_wartet.gif").c_str(), 0644), 0);
    }
    const RunResult r = Run(30);
    EXPECT_FALSE(r.timedOut);
    Tree expected;
    for (const char* name : {"eins.htm", "eins.rtf", "eins.txt", "eins_logo.gif", "eins_foto.jpg",
                             "sub/", "sub/keep.txt"}) {
      expected[name] = Produced()[name];
    }
    // A file that is there but no file: b's first two files are written, its txt file is not.
    std::string error = "TS Fehler 999: Fehlende Dateien für die Vorlage 'b'\r\n";
    if (fifo) {
      expected["zwei.htm"] = Produced()["zwei.htm"];
      expected["zwei.rtf"] = Produced()["zwei.rtf"];
      error = "TS -> Erzeuge TXT-Datei: " + sb_.Win("app") + "\\Microsoft\\Signatures\\zwei.txt\r\n"
              "TS Fehler 75: Fehler beim Zugriff auf Pfad/Datei\r\n";
    }
    EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")), expected) << log_;
    EXPECT_NE(log_.find(Ansi(error + "TS ********** Ende \r\n")), std::string::npos) << log_;
  }
}

// A user from an SQLite database with a name outside Latin-1, markup and rtf
// control characters in her values, no fax and a blank mobile number; each
// template line holds one item. Without the two keys a run writes what it
// always wrote; the last row is read back by Chromium and LibreOffice too (the
// files are the same on both builds, so the linux build's stand for both).
TEST_P(Signatures, UserValuesForTheFormat) {
  sb_.Sqlite("b.db",
      "CREATE TABLE B (Name, Vorname, Nachname, Firma, Funktion1, Funktion2, Fax, Mobil, Lang, "
      "Zeilen, Gruss);\nINSERT INTO B VALUES ('" + sb_.UserName() + "', 'Łukasz', 'Żółć-Müller', "
      "'Müller & Söhne <Vertrieb>', 'Vertrieb {Nord}', 'FIRMA\\jdoe', NULL, ' ', "
      "replace(hex(zeroblob(50000)), '00', '&\\'), 'Zeile 1' || char(13, 10) || 'Zeile 2', "
      "'Grüße 😀');\n");
  const auto repeat = [](const std::string& s) {
    std::string out;
    for (int i = 0; i < 50000; ++i) out += s;
    return out;
  };
  // Unescaped, what the code page lacks becomes Windows' look-alike, else "?" per UTF-16 unit.
  const std::string name = "Lukasz Z\xf3lc-M\xfcller";
  const std::string greeting = "Gr\xfc\xdf" "e ??";
  const std::string company = "M\xfcller & S\xf6hne <Vertrieb> &amp; T\xf6" "chter";
  // Per item: the template text; what a run writes into htm, rtf and txt
  // without EscapeValues, and with it; whether it stands for nothing.
  using Texts = std::array<std::string, 3>;
  const auto same = [](const std::string& s) { return Texts{s, s, s}; };
  const struct Item {
    std::string templ;
    Texts plain, escaped;
    bool empty = false;
  } items[] = {
      {"@FULLNAME@", same(name),
       {"&#321;ukasz &#379;&#243;&#322;&#263;-M&#252;ller",
        "\\u321?ukasz \\u379?\\'f3\\u322?\\u263?-M\\'fcller", name}},
      {"@USERDEF2@ &amp; T\xf6" "chter", same(company),
       {"M&#252;ller &amp; S&#246;hne &lt;Vertrieb&gt; &amp; T\xf6" "chter",
        "M\\'fcller & S\\'f6hne <Vertrieb> &amp; T\xf6" "chter", company}},
      {"@SIGNTITLE@",
       {"Vertrieb {Nord}<br>FIRMA\\jdoe", "Vertrieb {Nord}\r\n\\par FIRMA\\jdoe",
        "Vertrieb {Nord}\r\nFIRMA\\jdoe"},
       {"Vertrieb {Nord}<br>FIRMA\\jdoe", "Vertrieb \\{Nord\\}\r\n\\par FIRMA\\\\jdoe",
        "Vertrieb {Nord}\r\nFIRMA\\jdoe"}},
      {"Fax @FAX@", same("Fax "), same("Fax "), true},
      {"Mobil @MOBILE@ @FAX@", same("Mobil   "), same("Mobil   "), true},
      {"@USERDEF3@", same(repeat("&\\")), {repeat("&amp;\\"), repeat("&\\\\"), repeat("&\\")}},
      {"@USERDEF4@", same("Zeile 1\r\nZeile 2"), same("Zeile 1\r\nZeile 2")},
      {"@USERDEF5@", same(greeting),
       {"Gr&#252;&#223;e &#128512;", "Gr\\'fc\\'dfe \\u-10179?\\u-8704?", greeting}},
      {"Ende", same("Ende"), same("Ende")},
  };
  const Texts files = {"x.htm", "x.rtf", "x.txt"}, tail = {"</body></html>\r\n", "}\r\n", ""};
  const Texts head = {"<html><head><meta charset=\"windows-1252\"></head><body>\r\n",
                      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\r\n", ""};
  // A file of the format: one line per item, its text from text(item), nullopt
  // leaving the line out.
  const auto file = [&](size_t f, auto text) {
    std::string out = head[f];
    for (const Item& item : items) {
      const std::optional<std::string> t = text(item);
      if (t) out += (f == 0 ? "<p>" + *t + "</p>" : f == 1 ? *t + "\\par" : *t) + "\r\n";
    }
    return out + tail[f];
  };
  for (size_t f = 0; f < files.size(); ++f) {
    sb_.Write("cfg/Vorlagen/" + files[f],
              file(f, [](const Item& i) { return std::optional(i.templ); }));
  }
  std::string firstLog;  // the keys change no log line
  for (const auto& [escape, drop] :
       {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
    const std::string keys =
        std::string(escape ? "EscapeValues=1\r\n" : "") + (drop ? "DropEmptyLines=1\r\n" : "");
    SCOPED_TRACE(keys);
    sb_.Configure("FixedSignType=x\r\n" + keys +
                      "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                      sb_.Win("b.db") + "\r\nUserSelect=SELECT * FROM B WHERE Name = '%USERNAME%'\r\n",
                  "FirstName=Vorname\r\nLastName=Nachname\r\nUserDef2=Firma\r\nSignTitle1=Funktion1\r\n"
                  "SignTitle2=Funktion2\r\nFax=Fax\r\nMobile=Mobil\r\nUserDef3=Lang\r\n"
                  "UserDef4=Zeilen\r\nUserDef5=Gruss\r\n");
    EXPECT_EQ(Run().exitCode, 0) << log_;
    if (firstLog.empty()) firstLog = log_;
    EXPECT_EQ(log_, firstLog);
    for (size_t f = 0; f < files.size(); ++f) {
      EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/" + files[f]), file(f, [&](const Item& i) {
        return drop && i.empty ? std::nullopt : std::optional((escape ? i.escaped : i.plain)[f]);
      })) << files[f];
    }
  }
  if (GetParam() == Build::Windows) return;
  const fs::path written = sb_.Path("app/Microsoft/Signatures");
  const ReadBackResult read = ReadBack(written / "x.htm", written / "x.rtf", sb_.Path("readers"));
  EXPECT_EQ(read.dom,
            "<html><head><meta charset=\"windows-1252\"></head><body>\n<p>Łukasz Żółć-Müller</p>\n"
            "<p>Müller &amp; Söhne &lt;Vertrieb&gt; &amp; Töchter</p>\n"
            "<p>Vertrieb {Nord}<br>FIRMA\\jdoe</p>\n<p>" + repeat("&amp;\\") + "</p>\n"
            "<p>Zeile 1\nZeile 2</p>\n<p>Grüße 😀</p>\n<p>Ende</p>\n\n</body></html>\n");
  EXPECT_EQ(read.text, "Łukasz Żółć-Müller\nMüller & Söhne <Vertrieb> &amp; Töchter\n"
                       "Vertrieb {Nord}\nFIRMA\\jdoe\n" + repeat("&\\") +
                           "\nZeile 1Zeile 2\nGrüße 😀\nEnde\n");
}

TEST_P(Signatures, FoundWithoutRegardToCase) {
  // Windows finds files and folders whatever the case of their names; the
  // linux build finds them the same way: the configuration, the template
  // folder, each template and image, Outlook's folders and a signature there
  // (which keeps its name when it is written again).
  sb_.Configure("FixedSignType=North\r\nTemplateFolder=VORLAGEN\r\n");
  sb_.Write("cfg/Vorlagen/North.htm", "<p>@CITY@</p>\r\n");
  sb_.Write("cfg/Vorlagen/NORTH.RTF", "{\\rtf1}\r\n");
  sb_.Write("cfg/Vorlagen/north.Txt", "txt\r\n");
  sb_.Write("cfg/Vorlagen/North_Logo.GIF", "GIF89a");
  sb_.Write("app/microsoft/SIGNATURES/North.HTM", "gestern");
  const RunResult r = sb_.Run("/INI:" + sb_.Win("CFG/SITE.INI"), {{"QM_APPDATA", sb_.Win("app")}});
  EXPECT_EQ(r.exitCode, 0) << sb_.Log();
  EXPECT_EQ(ReadTree(sb_.Path("app")),
            (Tree{{"microsoft/", ""}, {"microsoft/SIGNATURES/", ""},
                  {"microsoft/SIGNATURES/North.HTM", "<p></p>\r\n"},
                  {"microsoft/SIGNATURES/north.rtf", "{\\rtf1}\r\n"},
                  {"microsoft/SIGNATURES/north.txt", "txt\r\n"},
                  {"microsoft/SIGNATURES/north_logo.gif", "GIF89a"}}));
}

INSTANTIATE_TEST_SUITE_P(Builds, Signatures, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
