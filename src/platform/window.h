// The progress window: native controls on Windows, FLTK on Linux. One window per
// process, driven from the run's own thread.
#pragma once

#include <array>
#include <string>

namespace qm::platform::window {

inline constexpr int kLabelCount = 28;  ///< label array indexes 0 to 27

struct Layout {
  std::string caption;                   ///< window caption
  std::array<std::string, kLabelCount> names;  ///< lblVarName captions by index
  std::array<std::string, kLabelCount> values; ///< lblVarValue captions by index
  std::array<int, kLabelCount> rowOfIndex{};   ///< display row (0 = heading) of each index
};

/// Creates and shows the window without blocking, whatever show state the
/// process was started with; buttons disabled. A window that cannot be seen
/// (Windows: no interactive desktop) asks nothing and is not waited for.
void Create(const Layout& layout);

/// True once Create has been called.
bool Exists();

/// Appends text to the message box and puts the caret at its end.
void AppendMessage(const std::string& text);

/// Sets the caption of lblVarValue(index).
void SetValue(int index, const std::string& text);

/// Modal Yes/No question with the question icon. True for Yes, and at once
/// when the window cannot be seen.
bool AskYesNo(const std::string& text, const std::string& title);

/// Processes pending window events once, without waiting.
void ProcessPendingEvents();

/// Enables the copy and close buttons.
void EnableButtons();

/// Waits, without using the processor, until the window is closed; returns at
/// once when it cannot be seen.
void RunUntilClosed();

}  // namespace qm::platform::window
