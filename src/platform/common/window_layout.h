// The arrangement of the progress window, shared by the native and the FLTK
// window: positions of the design in twips, turned into pixels at 96 dpi.
#pragma once

namespace qm::platform::window::layout {

/// Twips (1/1440 inch) to pixels at 96 dpi: 15 twips make one pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }

struct Rect {
  int x, y, w, h;
};

constexpr Rect Px(Rect twips) {
  return {Px(twips.x), Px(twips.y), Px(twips.w), Px(twips.h)};
}

// Client area of the window.
inline constexpr int kClientWidth = 13455;
inline constexpr int kClientHeight = 8160;

// Frame1 "Nachrichten" with txtMsg inside.
inline constexpr Rect kFrame1{105, 90, 6075, 7530};
inline constexpr Rect kTxtMsg{105 + 120, 90 + 255, 6075 - 240, 7530 - 255 - 120};

// Frame2 "Daten" with the heading strip, the viewport and its scroll bar.
inline constexpr Rect kFrame2{6300, 105, 6990, 7515};
inline constexpr int kPanelLeft = 6300 + 120;
inline constexpr int kPanelWidth = 6990 - 240;
inline constexpr int kScrollWidth = 255;
inline constexpr Rect kPicture1{kPanelLeft, 105 + 255, kPanelWidth, 300};
inline constexpr Rect kOuterbox{kPanelLeft, 105 + 255 + 300 + 60, kPanelWidth - kScrollWidth,
                                7515 - 255 - 300 - 60 - 120};
inline constexpr Rect kVScroll1{kPanelLeft + kPanelWidth - kScrollWidth, kOuterbox.y, kScrollWidth,
                                kOuterbox.h};

// Rows: the name column, the value column, 300 apart, each label 255 high.
// The name column is 500 wider than the design's 1250 (the value column gives
// them up): in the fonts of both toolkits the longest name,
// "Ziel-SignTypeReply", is cut off at 1250 and then reads like its neighbour.
inline constexpr int kNameLeft = 45;
inline constexpr int kNameWidth = 1750;
inline constexpr int kValueLeft = 1805;
inline constexpr int kValueWidth = 4405;
inline constexpr int kRowPitch = 300;
inline constexpr int kLabelHeight = 255;
inline constexpr int kRowTop = 30;  // first label's top inside its box

/// Height of picInnerbox: rows 1 to 27.
inline constexpr int kInnerHeight = kRowTop + 27 * kRowPitch;

/// Top of the labels of display row `row` (1..27) inside picInnerbox; the
/// heading (row 0) sits at kRowTop inside Picture1.
constexpr int RowTop(int row) { return kRowTop + (row <= 0 ? 0 : (row - 1) * kRowPitch); }

/// The scroll bar's largest value: enough steps of one label height to bring
/// the last row fully into view.
constexpr int ScrollMax() {
  const int hidden = kInnerHeight - kOuterbox.h;
  return hidden <= 0 ? 0 : (hidden + kLabelHeight - 1) / kLabelHeight;
}

// The two buttons.
inline constexpr Rect kCmdCopy{105, 7680, 3255, 375};
inline constexpr Rect kCmdClose{10860, 7680, 2415, 375};

inline constexpr const char* kCopyCaption = ">>> In die Zwischenablage kopieren";
inline constexpr const char* kCloseCaption = "Schließen";
inline constexpr const char* kFrame1Caption = "Nachrichten";
inline constexpr const char* kFrame2Caption = "Daten";

}  // namespace qm::platform::window::layout
