// frmMain: the progress window. It builds the caption and the rows of the data
// panel and hands them to the platform's window; everything else is passed on.
#include "log/frmMain.h"

#include <array>

#include "platform/window.h"
#include "run/modMain.h"

namespace qm::frmMain {
namespace {

namespace win = platform::window;

// The rows of the data panel from top to bottom: label array index and name.
// The indexes are the ones WriteLog fills, so name and value stay together.
struct Row {
  int index;
  const char* name;
};
constexpr std::array<Row, win::kRows> kRows = {{
    {0, "Variable"},      {1, "FirstName"},      {2, "LastName"},      {18, "Initials"},
    {20, "Title"},        {3, "SignTitle1"},     {4, "SignTitle2"},    {5, "Phone"},
    {6, "Fax"},           {7, "Mobile"},         {8, "EMail"},         {9, "Postcode"},
    {10, "City"},         {11, "Street"},        {12, "UserDef1"},     {13, "UserDef2"},
    {14, "UserDef3"},     {15, "UserDef4"},      {16, "UserDef5"},     {23, "UserDef6"},
    {24, "UserDef7"},     {25, "UserDef8"},      {26, "UserDef9"},     {27, "UserDef10"},
    {17, "SignType"},     {19, "SignTypeReply"}, {22, "Ziel-SignType"}, {21, "Ziel-SignTypeReply"},
}};

win::Layout BuildLayout() {
  win::Layout layout;
  layout.caption = std::string(kProgramTitle) + " " + VersionText() + " - Debug-Nachrichten";
  for (size_t row = 0; row < kRows.size(); ++row) {
    const auto index = static_cast<size_t>(kRows[row].index);
    layout.names[index] = kRows[row].name;
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

void SetValue(int index, const std::string& text) { win::SetValue(index, text); }

bool Ask(const std::string& text, const std::string& title) { return win::AskYesNo(text, title); }

void EnableButtons() { win::EnableButtons(); }

void WaitUntilClosed() { win::RunUntilClosed(); }

void DoEvents() {
  if (win::Exists()) win::ProcessPendingEvents();
}

}  // namespace qm::frmMain
