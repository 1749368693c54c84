// frmMain: the progress window with the messages and the data panel.
#pragma once

#include <string>

#include "records/UserData.h"

namespace qm::frmMain {

/// Creates the window with its caption and rows and shows it without blocking.
void Show();
/// True once the window exists.
bool Loaded();
/// Appends text to txtMsg; the newest entry stays in view.
void AppendMessage(const std::string& text);
/// Shows the user data in the rows of the data panel ("USERDATA").
void ShowUserData(const UserDataRecord& data);
/// Shows the sign types and the two target texts ("SIGNTYPES").
void ShowSignTypes(const UserDataRecord& data, const std::string& target, const std::string& targetReply);
/// The modal question box; true for Yes.
bool Ask(const std::string& text, const std::string& title);
/// Enables cmdCopy and cmdClose.
void EnableButtons();
/// Waits until the user closes the window.
void WaitUntilClosed();

}  // namespace qm::frmMain
