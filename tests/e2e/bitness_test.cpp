// The two Windows programs: quillmark.exe, 32-bit (the one to deploy: only 32
// bits have the in-box Jet driver), and quillmark64.exe for sites with 64-bit
// Office. Under Wine each runs with Wine of its bitness, whose ODBC and LDAP
// reach the host's unixODBC and libldap of that bitness. The smoke rows: a
// user from an SQLite database and from the test directory, registered on an
// Outlook 2016 machine; and the error of a driver that is not installed.
#include <fstream>

#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

constexpr std::uint16_t kMachineI386 = 0x014c;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

// The machine type of a PE file's COFF header, 0 when it is no PE file.
std::uint16_t PeMachine(const std::filesystem::path& exe) {
  const std::string bytes = ReadFile(exe);
  constexpr size_t kPeOffsetAt = 0x3c;
  if (bytes.size() < kPeOffsetAt + 4 || !bytes.starts_with("MZ")) return 0;
  size_t pe = 0;
  for (int i = 3; i >= 0; --i) pe = (pe << 8) | static_cast<unsigned char>(bytes[kPeOffsetAt + i]);
  if (bytes.size() < pe + 6 || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[pe + 4]) |
                                    static_cast<unsigned char>(bytes[pe + 5]) << 8);
}

class Bitness : public ::testing::TestWithParam<Build> {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<TestSlapd>(QM_TEST_TMP); }
  static void TearDownTestSuite() { server_.reset(); }
  static inline std::unique_ptr<TestSlapd> server_;
  Sandbox sb_{GetParam()};
};

TEST_P(Bitness, ExeOfItsBitness) {
  const std::filesystem::path windows = QM_WINDOWS_DIR;
  // The file is looked at, not run: this row holds on any host.
  EXPECT_EQ(PeMachine(windows / (GetParam() == Build::Windows ? "quillmark.exe" : "quillmark64.exe")),
            GetParam() == Build::Windows ? kMachineI386 : kMachineAmd64);
}

TEST_P(Bitness, DatabaseDirectoryAndOutlook2016) {
  sb_.Sqlite("daten/benutzer.db",
             "CREATE TABLE Benutzer (Benutzername TEXT, Telefon TEXT);\n"
             "INSERT INTO Benutzer VALUES ('" + sb_.UserName() + "', '+49 30 555');\n");
  const std::string profiles = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook";
  const std::string accounts = profiles + "\\Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676";
  sb_.SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.16\"\r\n\r\n[" +
                   profiles + "]\r\n\"DefaultProfile\"=\"Outlook\"\r\n\r\n[" + accounts +
                   "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:00,00,00,02\r\n\r\n[" + accounts +
                   "\\00000002]\r\n\"Account Name\"=\"max@quillmark.test\"\r\n");
  sb_.Templates("standard", "@FIRSTNAME@ @LASTNAME@, @PHONE@\r\n");
  sb_.Configure("FixedSignType=standard\r\nModernOutlook=1\r\nDatabaseConnection=" +
                    std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + sb_.Win("daten/benutzer.db") +
                    "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n"
                    "LDAPBaseObjectDN=" + server_->Server() + "/" + kDirectorySuffix +
                    "\r\nLDAPReaderAccountName=" + kReaderDn + "\r\nLDAPReaderAccountPassword=" +
                    kReaderPassword + "\r\n",
                "FirstName=*givenName\r\nLastName=*sn\r\nPhone=Telefon\r\n");
  const RunResult r = sb_.RunLogged("/ADUSER:mmuster");
  EXPECT_EQ(r.exitCode, 0) << sb_.Log();
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/standard.txt"), "Max Mustermann, +49 30 555\r\n");
  const RunResult exported =
      sb_.Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0", sb_.Win("out.reg"), "/y"});
  ASSERT_EQ(exported.exitCode, 0) << exported.output;
  const auto values = RegValues(sb_.Read("out.reg"));
  EXPECT_EQ(values.at("HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\OFFICE\\16.0\\OUTLOOK\\PROFILES\\OUTLOOK\\"
                      "9375CFF0413111D3B88A00104B2A6676\\00000002|\"NEW SIGNATURE\""),
            "\"standard\"");
}

TEST_P(Bitness, DriverThatIsNotInstalledNamesTheBitness) {
  // Wine's ODBC asks the host's unixODBC, where no Access driver is installed:
  // the same IM002 as a 64-bit exe meets on a PC without 64-bit ACE.
  sb_.Write("daten/benutzer.mdb", "keine Datenbank");
  sb_.Templates("standard", "x\r\n");
  sb_.SeedOutlookVersion(13);
  sb_.Configure("FixedSignType=standard\r\nDatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                    sb_.Win("daten/benutzer.mdb") + "\r\nUserSelect=SELECT 1\r\n",
                "Phone=Telefon\r\n");
  const RunResult r = sb_.RunLogged();
  EXPECT_EQ(r.exitCode, 1);
  const std::string bits = WindowsExe(GetParam()).filename() == "quillmark.exe" ? "32" : "64";
  EXPECT_NE(sb_.Log().find("Der ODBC-Treiber 'MDBTools' ist nicht installiert ("), std::string::npos)
      << sb_.Log();
  EXPECT_NE(sb_.Log().find("Dieses Programm ist ein " + bits + "-Bit-Programm und findet nur " + bits +
                           "-Bit-ODBC-Treiber."),
            std::string::npos)
      << sb_.Log();
}

INSTANTIATE_TEST_SUITE_P(Builds, Bitness, ::testing::Values(Build::Windows, Build::Windows64),
                         BuildParamName);

}  // namespace
}  // namespace qmtest
