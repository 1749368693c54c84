// Whole runs of both builds with templates that fit the person, against the
// test slapd and SQLite: conditional blocks in the three formats and their
// errors, the user's photo from the directory and from a database column (read
// back in Chromium and LibreOffice), the manager's data, and PNG logos.
#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

const std::string kReader = std::string("LDAPReaderAccountName=") + kReaderDn +
                            "\r\nLDAPReaderAccountPassword=" + kReaderPassword + "\r\n";

/// An image made by ImageMagick: "png:" or "jpg:" and its size, in one colour.
std::string Image(const std::string& kind, int width, int height) {
  const char* path = std::getenv("PATH");
  const fs::path file = fs::temp_directory_path() / ("qm-image-" + std::to_string(::getpid()) + "." +
                                                     kind.substr(0, 3));
  Exec({"convert", "-size", std::to_string(width) + "x" + std::to_string(height), "xc:#3366cc",
        kind + file.string()},
       {{"PATH", path ? path : ""}}, 30);
  std::string bytes = ReadFile(file);
  fs::remove(file);
  return bytes;
}

class Templates : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    if (!server_) server_ = std::make_unique<TestSlapd>(QM_TEST_TMP);
    sb_.SeedOutlookVersion(13);
  }
  static void TearDownTestSuite() { server_.reset(); }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// A logged run of user with the main lines, against the test directory.
  RunResult Run(const std::string& user, const std::string& main, const std::string& mapping,
                const std::string& args = "", const std::string& base = kDirectorySuffix) {
    sb_.Configure("FixedSignType=standard\r\nLDAPBaseObjectDN=" +
                      std::string(Linux() ? "" : server_->Server() + "/") + base + "\r\n" + kReader + main,
                  mapping);
    Env env;
    if (Linux())
      env = {{"LDAPURI", server_->Uri()}, {"LDAPCONF", "/dev/null"}, {"LDAPRC", "quillmark-test-none"}};
    return sb_.RunLogged("/ADUSER:" + user + args, env);
  }
  std::string Signature(const std::string& ext) const {
    return sb_.Read("app/Microsoft/Signatures/standard." + ext);
  }

  static inline std::unique_ptr<TestSlapd> server_;
  Sandbox sb_{GetParam()};
};

TEST_P(Templates, ConditionalBlocksInEveryFormat) {
  // Max has a mobile number, lives in Berlin and is in Firma (three levels up);
  // Erika has none, lives in München and is not.
  const auto templ = [](const std::string& open, const std::string& close, const std::string& end) {
    return open + "@FIRSTNAME@" + close + end + "  @IF MOBILE@\r\n" + open + "Mobil @MOBILE@" + close + end +
           "@else@\r\n" + open + "ohne Mobil" + close + end + "@ENDIF@\r\n@IF CITY=M*@\n" + open + "Bayern" +
           close + "\n@ENDIF@\n@IF MEMBEROF=Firma@\r\n" + open + "Firma" + close + end + "@ENDIF@\r\n";
  };
  sb_.Write("cfg/Vorlagen/standard.htm", templ("<p>", "</p>", "\r\n"));
  sb_.Write("cfg/Vorlagen/standard.rtf", "{\\rtf1\r\n" + templ("", "\\par", "\r\n") + "}");
  sb_.Write("cfg/Vorlagen/standard.txt", templ("", "", "\r\n"));
  const std::string mapping = "FirstName=*givenName\r\nMobile=*mobile\r\nCity=*l\r\n";
  const struct {
    const char* user;
    std::string htm, rtf, txt, blocks;
  } rows[] = {
      {"mmuster", "<p>Max</p>\r\n<p>Mobil +49 170 1234567</p>\r\n<p>Firma</p>\r\n",
       "{\\rtf1\r\nMax\\par\r\nMobil +49 170 1234567\\par\r\nFirma\\par\r\n}\r\n",
       "Max\r\nMobil +49 170 1234567\r\nFirma\r\n", "3 Blöcke, 2 geschrieben"},
      {"eberg", "<p>Erika</p>\r\n<p>ohne Mobil</p>\r\n<p>Bayern</p>\n",
       "{\\rtf1\r\nErika\\par\r\nohne Mobil\\par\r\nBayern\\par\n}\r\n", "Erika\r\nohne Mobil\r\nBayern\n",
       "3 Blöcke, 1 geschrieben"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.user);
    const RunResult r = Run(row.user, "TemplateConditions=1\r\n", mapping);
    ASSERT_EQ(r.exitCode, 0) << sb_.Log();
    EXPECT_EQ(Signature("htm"), row.htm);
    EXPECT_EQ(Signature("rtf"), row.rtf);
    EXPECT_EQ(Signature("txt"), row.txt);
    EXPECT_NE(sb_.Log().find(Ansi("TS -> ...Bedingungen: " + row.blocks + "\r\n")), std::string::npos) << sb_.Log();
  }
}

TEST_P(Templates, WrongMarkersChangeNothing) {
  sb_.Templates("standard", "x\r\n");
  const struct {
    const char* ext;
    std::string templ, error;
  } rows[] = {
      {"txt", "a\r\n@IF NOPE@\r\nb\r\n@ENDIF@\r\n", "Zeile 2: Unbekannte Bedingung '@IF NOPE@'"},
      {"htm", "a\n\n@ELSE@\n", "Zeile 3: ELSE ohne IF"},
      {"rtf", "@IF FIRSTNAME@\r@IF MOBILE@\r@ENDIF@\r", "Zeile 1: IF ohne ENDIF"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ext);
    sb_.Templates("standard", "x\r\n");
    sb_.Write(std::string("cfg/Vorlagen/standard.") + row.ext, row.templ);
    sb_.Write("app/Microsoft/Signatures/gestern.txt", "gestern");
    const RunResult r = Run("mmuster", "TemplateConditions=1\r\nEmptySignatureFolder=2\r\n", "FirstName=*givenName\r\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(sb_.Log().find(Ansi("TS Fehler 999: Vorlage '" + sb_.Win("cfg/Vorlagen") + "\\standard." + row.ext +
                                  "', " + row.error + "\r\n")),
              std::string::npos)
        << sb_.Log();
    EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")), (Tree{{"gestern.txt", "gestern"}}));
  }
}

TEST_P(Templates, MarkersAsEditorsWriteThem) {
  // Word's htm: each marker in a paragraph of its own, tags wrapped onto the
  // next line, a marker wrapped over two lines and one split across spans;
  // rtf: markers in groups beside their \par, after formatting words, and as
  // Word writes them, each paragraph's \par at the start of the next line.
  sb_.Write("cfg/Vorlagen/standard.htm",
            "<html><body>\r\n<p class=MsoNormal>@FIRSTNAME@<o:p></o:p></p>\r\n"
            "<p class=MsoNormal>@IF MOBILE@<o:p></o:p></p>\r\n"
            "<p class=MsoNormal><span\r\nstyle='color:#3366cc'>Mobil @MOBILE@</span><o:p></o:p></p>\r\n"
            "<p class=MsoNormal><span\r\nstyle='font-size:10.0pt'>@ELSE@</span><o:p></o:p></p>\r\n"
            "<p class=MsoNormal>ohne Mobil<o:p></o:p></p>\r\n"
            "<p class=MsoNormal><span lang=DE>@EN</span><span class=SpellE>DIF@</span><o:p></o:p></p>\r\n"
            "<p class=MsoNormal><span lang=DE>@IF\r\nCITY=M*@</span></p>\r\n"
            "<p class=MsoNormal>Bayern<o:p></o:p></p>\r\n<p class=MsoNormal>@ENDIF@<o:p></o:p></p>\r\n"
            "<p class=MsoNormal>Ende<o:p></o:p></p>\r\n</body></html>");
  sb_.Write("cfg/Vorlagen/standard.rtf",
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n{\\f0 @FIRSTNAME@}{\\f0 \\par }\r\n"
            "\\pard\\plain\\f0 {\\insrsid1 @IF MOBILE@}{\\insrsid1 \\par }\r\n{\\b Mobil @MOBILE@}\\par\r\n"
            "{\\insrsid1 @ELSE@\\par }\r\nohne Mobil\\par\r\n@EN{\\insrsid2 DIF@}\\par\r\n"
            "{\\i\\insrsid3 @IF CITY=M*@}{\\insrsid3 \r\n\\par }{\\insrsid3 Bayern}{\\insrsid3 \r\n"
            "\\par }{\\insrsid3 @ENDIF@}{\\insrsid3 \r\n\\par }{\\insrsid3 Ende}{\\insrsid3 \r\n\\par }}");
  sb_.Write("cfg/Vorlagen/standard.txt", "@FIRSTNAME@\r\n");
  const struct {
    const char* user;
    std::vector<std::string> shown;  // the texts of the paragraphs, in Chromium and LibreOffice alike
  } rows[] = {
      {"mmuster", {"Max", "Mobil +49 170 1234567", "Ende"}},
      {"eberg", {"Erika", "ohne Mobil", "Bayern", "Ende"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.user);
    const RunResult r = Run(row.user, "TemplateConditions=1\r\n",
                            "FirstName=*givenName\r\nMobile=*mobile\r\nCity=*l\r\n");
    ASSERT_EQ(r.exitCode, 0) << sb_.Log();
    const ReadBackResult read = ReadBack(sb_.Path("app/Microsoft/Signatures/standard.htm"),
                                         sb_.Path("app/Microsoft/Signatures/standard.rtf"), sb_.Path("readback"));
    std::vector<std::string> paragraphs;
    for (size_t at = read.dom.find("<p class=\"MsoNormal\">"); at != std::string::npos;
         at = read.dom.find("<p class=\"MsoNormal\">", at + 1)) {
      const size_t text = read.dom.find('>', at) + 1;
      std::string p = read.dom.substr(text, read.dom.find("</p>", text) - text);
      for (size_t tag = p.find('<'); tag != std::string::npos; tag = p.find('<'))
        p.erase(tag, p.find('>', tag) - tag + 1);  // the spans and o:p around the text
      paragraphs.push_back(p);
    }
    EXPECT_EQ(paragraphs, row.shown) << read.dom;
    std::string lines;
    for (const std::string& p : row.shown) lines += p + "\n";
    EXPECT_EQ(read.text, lines);
  }
}

TEST_P(Templates, ThePhoto) {
  const std::string png = Image("png:", 48, 32);
  std::string wide = png;
  wide[16] = '\x80';  // IHDR's width: 2^31 + 48
  sb_.Templates("standard", "<img src=\"@PHOTO@\">\r\n");
  sb_.Write("cfg/Vorlagen/standard.rtf", "{\\rtf1 @PHOTO@\\par}\r\n");
  const struct {
    const char* name;
    std::string bytes;  // the BLOB; "" for the directory's jpegPhoto
    const char* line;   // the photo's log line after its prefix
    const char* file;   // the photo's file beside the signature; "" for none
  } rows[] = {
      {"a PNG from a database column", png, "...Foto: PNG, 48 x 32 Pixel, ", "standard_photo.png"},
      {"a JPEG from the directory", "", "...Foto: JPEG, 48 x 32 Pixel, 306 Bytes", "standard_photo.jpg"},
      {"larger than 1 MB", std::string(1 << 20, 'x') + png, "...Foto nicht verwendet (größer als 1 MB)", ""},
      {"text in the column", "kein Bild", "...Foto nicht verwendet (weder JPEG noch PNG)", ""},
      {"a PNG that claims a width of 2^31", wide, "...Foto nicht verwendet (Breite und Höhe nicht lesbar)", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(sb_.Path("app"));
    fs::remove_all(sb_.Path("daten"));
    const bool fromDatabase = !row.bytes.empty();
    std::string hex;
    for (unsigned char c : row.bytes) hex += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    sb_.Sqlite("daten/b.db", "CREATE TABLE U (Name TEXT, Bild BLOB);\nINSERT INTO U VALUES ('" + sb_.UserName() +
                                 "', X'" + hex + "');\n");
    fs::remove(sb_.Path("daten/b.db.sql"));
    const std::string main = fromDatabase
                                 ? "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                       sb_.Win("daten/b.db") +
                                       "\r\nUserSelect=SELECT * FROM U WHERE Name = '%USERNAME%'\r\n"
                                 : "";
    const RunResult r = Run("mmuster", main, fromDatabase ? "Photo=Bild\r\n" : "Photo=*jpegPhoto\r\n");
    ASSERT_EQ(r.exitCode, 0) << sb_.Log();
    EXPECT_NE(sb_.Log().find(Ansi(std::string("TS ") + (fromDatabase ? "DB" : "AD") + " -> " + row.line)),
              std::string::npos)
        << sb_.Log();
    const std::string file = row.file;
    EXPECT_EQ(Signature("htm"), "<img src=\"" + file + "\">\r\n");
    if (file.empty()) {
      EXPECT_EQ(Signature("rtf"), "{\\rtf1 \\par}\r\n");
      continue;
    }
    // The bytes as the source gave them (the directory's JPEG is the fixture's 306 bytes).
    const std::string written = sb_.Read("app/Microsoft/Signatures/" + file);
    if (fromDatabase) {
      EXPECT_EQ(written, row.bytes);
    } else {
      EXPECT_TRUE(written.size() == 306 && written.starts_with("\xFF\xD8\xFF")) << written.size();
    }
    const std::string blip = file.ends_with("png") ? "pngblip" : "jpegblip";
    EXPECT_TRUE(Signature("rtf").starts_with("{\\rtf1 {\\pict\\" + blip + "\\picw48\\pich32\\picwgoal720\\pichgoal480\r\n"))
        << Signature("rtf").substr(0, 200);
    if (!fromDatabase) continue;
    // Read back: Chromium shows the photo's colour; LibreOffice finds a picture in the rtf.
    const fs::path shot = sb_.Path("shot.png");
    Chromium(sb_.Path("app/Microsoft/Signatures/standard.htm"), sb_.Path("chromium"), shot);
    const RunResult blue = Exec({"convert", shot.string(), "-fuzz", "3%", "-fill", "black", "+opaque", "#3366cc",
                                 "-fill", "white", "-opaque", "#3366cc", "-format", "%[fx:round(mean*w*h)]", "info:"},
                                {{"PATH", std::getenv("PATH")}}, 30);
    EXPECT_GE(std::stol(blue.output.empty() ? "0" : blue.output), 48 * 32) << blue.output;
    const Env office{{"PATH", std::getenv("PATH")}, {"HOME", sb_.Path("office").string()}};
    Exec({"soffice", "--headless", "-env:UserInstallation=file://" + sb_.Path("office/profile").string(),
          "--convert-to", "html", "--outdir", sb_.Path("office").string(),
          sb_.Path("app/Microsoft/Signatures/standard.rtf").string()},
         office, 120);
    EXPECT_NE(ReadFile(sb_.Path("office/standard.html")).find("<img"), std::string::npos);
  }
}

TEST_P(Templates, ThePhotoInThePreview) {
  sb_.Templates("standard", "<img src=\"@PHOTO@\">\r\n");
  const RunResult r = Run("mmuster", "", "Photo=*jpegPhoto\r\n", " /SIMULATE:" + sb_.Win("vorschau"));
  ASSERT_EQ(r.exitCode, 0) << sb_.Log();
  // The photo lies beside the previewed signature, and the page shows it among its images.
  EXPECT_EQ(sb_.Read("vorschau/standard.htm"), "<img src=\"standard_photo.jpg\">\r\n");
  EXPECT_TRUE(sb_.Read("vorschau/standard_photo.jpg").starts_with("\xFF\xD8\xFF"));
  EXPECT_NE(sb_.Read("vorschau/index.htm").find("<img src=\"standard_photo.jpg\""), std::string::npos);
  EXPECT_FALSE(fs::exists(sb_.Path("app/Microsoft/Signatures/standard_photo.jpg")));
}

TEST_P(Templates, TheManager) {
  // Whatever the directory says about the manager, the user's run goes on.
  sb_.Templates("standard", "@FIRSTNAME@ @LASTNAME@, i. A. @MANAGER_FIRSTNAME@ @MANAGER_LASTNAME@\r\n");
  const std::string missing = "AD -> ...Vorgesetzter nicht gefunden: ";
  const struct {
    const char* user;
    std::string base, line, text;
  } rows[] = {
      {"mmuster", kDirectorySuffix, "AD -> ...Vorgesetzter: cn=Erika Berg,ou=Technik,dc=quillmark,dc=test",
       "Max Mustermann, i. A. Erika Berg\r\n"},
      {"eberg", kDirectorySuffix, "AD -> ...Kein Vorgesetzter eingetragen", "Erika Berg, i. A.  \r\n"},
      {"tief", kDirectorySuffix,
       "AD -> ...Vorgesetzter ist der eigene Eintrag (ignoriert): cn=Tiefe Kette,ou=Technik,dc=quillmark,dc=test",
       " Kette, i. A.  \r\n"},
      {"doppelt", kDirectorySuffix, "AD -> ...Vorgesetzter: cn=Paul (Praktikant*),ou=Technik,dc=quillmark,dc=test",
       " Vertrieb, i. A.  Klammer\r\n"},
      // In another domain: the server refers the search to a server of its own.
      {"fern", kDirectorySuffix, missing + "cn=Chefin,ou=Zweigstelle,dc=quillmark,dc=test", " Leitung, i. A.  \r\n"},
      // On the server, but outside every configured base.
      {"mmuster", kVertrieb, missing + "cn=Erika Berg,ou=Technik,dc=quillmark,dc=test", "Max Mustermann, i. A.  \r\n"},
      {"doppelt", kTechnik, missing + "cn=Gibt es nicht,ou=Technik,dc=quillmark,dc=test", " Technik, i. A.  \r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.user) + " in " + row.base);
    const RunResult r = Run(row.user, "ManagerData=1\r\n", "FirstName=*givenName\r\nLastName=*sn\r\n", "", row.base);
    ASSERT_EQ(r.exitCode, 0) << sb_.Log();
    EXPECT_NE(sb_.Log().find("TS " + row.line + "\r\n"), std::string::npos) << sb_.Log();
    EXPECT_EQ(Signature("txt"), row.text);
  }
}

TEST_P(Templates, PngLogos) {
  sb_.Templates("standard", "<img src=\"standard_logo.png\">\r\n");
  sb_.Write("cfg/Vorlagen/standard_logo.png", Image("png:", 4, 4));
  sb_.Write("cfg/Vorlagen/standard_alt.gif", "GIF89a");
  sb_.Configure("FixedSignType=standard\r\nImageTypes= PNG, .gif\r\n");
  const RunResult r = sb_.RunLogged();
  ASSERT_EQ(r.exitCode, 0) << sb_.Log();
  EXPECT_NE(sb_.Log().find("TS -> 1 PNG-Dateien gefunden\r\nTS -> standard_logo.png: kopiert\r\n"
                           "TS -> 1 GIF-Dateien gefunden\r\nTS -> standard_alt.gif: kopiert\r\n"),
            std::string::npos)
      << sb_.Log();
  EXPECT_TRUE(sb_.Exists("app/Microsoft/Signatures/standard_logo.png"));
}

INSTANTIATE_TEST_SUITE_P(Builds, Templates, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
