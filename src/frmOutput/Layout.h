// The output window's design layout, shared by every platform's window: sizes
// and positions in pixels at 96 pixels per inch, scaled by each platform for
// the screen's density. Positions on the bottom panel are relative to it.
#pragma once

namespace vantrel::layout {

struct Box {
    int left, top, width, height;
};

inline constexpr int OuterWidth = 668;  // the window with its frame
inline constexpr int OuterHeight = 600;
inline constexpr int ClientWidth = 660; // the view fills the client area above the panel
inline constexpr int ViewHeight = 540;
inline constexpr int PanelHeight = 26;  // along the bottom edge, full width

inline constexpr Box Label{6, 6, 23, 13};
// The field widens and narrows with the panel, keeping this gap between its
// right edge and the panel's; the button keeps its place from the panel's
// left, so a wide window puts the field's right part behind the button and a
// narrow one cuts the button off.
inline constexpr Box Field{34, 2, 543, 21};
inline constexpr int FieldRightGap = 83;
inline constexpr Box Button{580, 1, 77, 24};

inline constexpr int FontPoints = 8;  // the window's and the view's fonts:
inline constexpr int FontPixels = 11; // 8 points are 11 pixels at 96 per inch

} // namespace vantrel::layout
