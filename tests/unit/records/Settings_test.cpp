// The values a run takes of the keys with a fixed set of values: what is
// valid, and the text a value that is not gets.
#include "records/Settings.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(SettingsValues, EachKeyTakesItsValuesOnly) {
  const struct {
    const char* key;
    const char* value;
    bool valid;
  } rows[] = {
      // Flags, numbers read as numbers, blanks around them dropped.
      {"ModernOutlook", "", true},
      {"modernoutlook", " 1 ", true},
      {"EscapeValues", "01", true},
      {"DropEmptyLines", "1.0", true},
      {"ManagerData", "0", true},
      {"RunStatus", "ja", false},
      {"MailboxSignatures", "2", false},
      {"TemplateConditions", "true", false},
      {"HidePasswordsInLog", "1 0", false},
      {"EscapeUserName", "-1", false},
      {"NoNewMessageSignature", "yes", false},
      {"SetForAllEMailAccounts", "1", true},
      // Choices by number.
      {"EventLog", "2", true},
      {"EventLog", " 1", true},
      {"EventLog", "3", false},
      {"EventLog", "ja", false},
      {"EmptySignatureFolder", " 2", true},
      {"EmptySignatureFolder", "papierkorb", false},
      // Choices by word, in any case.
      {"LDAPEncryption", "starttls", true},
      {"LDAPEncryption", " LDAPS ", true},
      {"LDAPEncryption", "TLS", false},
      {"LDAPEncryption", "1", false},
      // Text takes anything.
      {"PlaceholderSymbol", "##", true},
      {"FixedSignTypeForDN3", "a,b", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.key) + "=" + row.value);
    const catalogue::Key* key = Settings::MainKey(row.key);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Settings::IsValidValue(*key, row.value), row.valid);
  }
}

TEST(SettingsValues, TheRefusalNamesValueKeyAndChoices) {
  EXPECT_EQ(Settings::InvalidValueText(*Settings::MainKey("eventlog"), " ja "),
            "Ungültiger Wert 'ja' für 'EventLog' (erlaubt: 0, 1, 2)");
  EXPECT_EQ(Settings::InvalidValueText(*Settings::MainKey("ManagerData"), "yes"),
            "Ungültiger Wert 'yes' für 'ManagerData' (erlaubt: 0, 1)");
  EXPECT_EQ(Settings::InvalidValueText(*Settings::MainKey("LDAPEncryption"), "TLS"),
            "Ungültiger Wert 'TLS' für 'LDAPEncryption' (erlaubt: StartTLS, LDAPS)");
  // A run refuses the values of the switches added to the original ones only.
  for (const char* key : {"ModernOutlook", "EscapeValues", "DropEmptyLines", "EscapeUserName",
                          "HidePasswordsInLog", "LDAPEncryption", "MailboxSignatures",
                          "TemplateConditions", "ManagerData", "RunStatus", "EventLog"})
    EXPECT_TRUE(Settings::MainKey(key)->Refused) << key;
  for (const char* key : {"NoNewMessageSignature", "NoReplyMessageSignature",
                          "SetForAllEMailAccounts", "EmptySignatureFolder"})
    EXPECT_FALSE(Settings::MainKey(key)->Refused) << key;
}

}  // namespace
}  // namespace qm
