// The output window's design layout, shared by every platform's window: sizes
// and positions in pixels at 96 pixels per inch, scaled by each platform for
// the screen's density. Positions on the bottom panel are relative to it.
#pragma once

#include <algorithm>

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

// Design pixels at the given density (dots per inch), rounded to the
// nearest pixel as the system's own scaling rounds them.
constexpr int Scaled(int designPixels, int dpi)
{
    return (designPixels * dpi + 48) / 96;
}

// Where each control goes, in pixels at that density (96: logical pixels).
struct Placement {
    Box view, panel, label, field, button;
};

// The layout rules for a client area of that size: the view fills what the
// panel leaves, the panel runs along the bottom edge at full width, and on
// it only the field follows the width; the label and the button keep their
// places. Nothing is ever given a negative size.
constexpr Placement LayOut(int clientWidth, int clientHeight, int dpi = 96)
{
    const auto scaled = [dpi](Box box) {
        return Box{Scaled(box.left, dpi), Scaled(box.top, dpi), Scaled(box.width, dpi), Scaled(box.height, dpi)};
    };
    const int panelHeight = Scaled(PanelHeight, dpi);
    Box field = scaled(Field);
    field.width = std::max(0, clientWidth - field.left - Scaled(FieldRightGap, dpi));
    return {{0, 0, clientWidth, std::max(0, clientHeight - panelHeight)},
            {0, clientHeight - panelHeight, clientWidth, panelHeight},
            scaled(Label),
            field,
            scaled(Button)};
}

} // namespace vantrel::layout
