// frmMain: the progress window. It builds the caption and the rows of the data
// panel and hands them to the platform's window; everything else is passed on.
#include "log/frmMain.h"

#include <array>

#include "platform/window.h"
#include "records/RunState.h"
#include "records/UserData.h"

namespace qm::frmMain {
namespace {

namespace win = platform::window;

// What a row of the data panel shows.
enum class Slot { Heading, UserData, SignType, Target, TargetReply };

// The rows of the data panel from top to bottom: the index in both label
// arrays, the row's name and what it shows. The indexes are the ones the dump
// commands of the log fill, so name and value stay together.
struct PanelRow {
  int index;
  const char* name;
  Slot slot;
  UserField field = UserField::FirstName;  // for UserData and SignType rows
};
using F = UserField;
constexpr std::array<PanelRow, win::kLabelCount> kPanelRows = {{
    {0, "Variable", Slot::Heading},
    {1, "FirstName", Slot::UserData, F::FirstName},
    {2, "LastName", Slot::UserData, F::LastName},
    {18, "Initials", Slot::UserData, F::Initials},
    {20, "Title", Slot::UserData, F::Title},
    {3, "SignTitle1", Slot::UserData, F::SignTitle1},
    {4, "SignTitle2", Slot::UserData, F::SignTitle2},
    {5, "Phone", Slot::UserData, F::Phone},
    {6, "Fax", Slot::UserData, F::Fax},
    {7, "Mobile", Slot::UserData, F::Mobile},
    {8, "EMail", Slot::UserData, F::EMail},
    {9, "Postcode", Slot::UserData, F::Postcode},
    {10, "City", Slot::UserData, F::City},
    {11, "Street", Slot::UserData, F::Street},
    {12, "UserDef1", Slot::UserData, F::UserDef1},
    {13, "UserDef2", Slot::UserData, F::UserDef2},
    {14, "UserDef3", Slot::UserData, F::UserDef3},
    {15, "UserDef4", Slot::UserData, F::UserDef4},
    {16, "UserDef5", Slot::UserData, F::UserDef5},
    {23, "UserDef6", Slot::UserData, F::UserDef6},
    {24, "UserDef7", Slot::UserData, F::UserDef7},
    {25, "UserDef8", Slot::UserData, F::UserDef8},
    {26, "UserDef9", Slot::UserData, F::UserDef9},
    {27, "UserDef10", Slot::UserData, F::UserDef10},
    {17, "SignType", Slot::SignType, F::SignType},
    {19, "SignTypeReply", Slot::SignType, F::SignTypeReply},
    {22, "Ziel-SignType", Slot::Target},
    {21, "Ziel-SignTypeReply", Slot::TargetReply},
}};

win::Layout BuildLayout() {
  win::Layout layout;
  layout.caption = std::string(kProgramTitle) + " " + VersionText() + " - Debug-Nachrichten";
  for (size_t row = 0; row < kPanelRows.size(); ++row) {
    const auto index = static_cast<size_t>(kPanelRows[row].index);
    layout.names[index] = kPanelRows[row].name;
    layout.values[index] = " ";
    layout.rowOfIndex[index] = static_cast<int>(row);
  }
  layout.values[0] = "Wert";
  return layout;
}

}  // namespace

void Show() { win::Create(BuildLayout()); }

bool Loaded() { return win::Exists(); }

void AppendMessage(const std::string& text) { win::AppendMessage(text); }

void ShowUserData(const UserDataRecord& data) {
  for (const PanelRow& row : kPanelRows) {
    if (row.slot == Slot::UserData) win::SetValue(row.index, data[row.field]);
  }
}

void ShowSignTypes(const UserDataRecord& data, const std::string& target, const std::string& targetReply) {
  for (const PanelRow& row : kPanelRows) {
    if (row.slot == Slot::SignType) win::SetValue(row.index, data[row.field]);
    if (row.slot == Slot::Target) win::SetValue(row.index, target);
    if (row.slot == Slot::TargetReply) win::SetValue(row.index, targetReply);
  }
}

bool Ask(const std::string& text, const std::string& title) { return win::AskYesNo(text, title); }

void EnableButtons() { win::EnableButtons(); }

void WaitUntilClosed() { win::RunUntilClosed(); }

}  // namespace qm::frmMain
