// The window's layout rules, applied by both windows: where each control goes
// for a client area of a given size at a given density.
#include "Layout.h"

#include <gtest/gtest.h>

#include <ostream>

namespace vantrel::layout {
bool operator==(const Box& a, const Box& b)
{
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}
std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << b.left << "," << b.top << " " << b.width << "x" << b.height;
}
} // namespace vantrel::layout

using vantrel::layout::Box;
using vantrel::layout::LayOut;

TEST(LayOut, ViewAndPanelFollowTheWindowOnlyTheFieldFollowsThePanel)
{
    const struct {
        const char* name;
        int width, height, dpi;
        Box view, panel, field;
    } rows[] = {
        {"the design size", 660, 566, 96, {0, 0, 660, 540}, {0, 540, 660, 26}, {34, 2, 543, 21}},
        // Wider: the field keeps 83 pixels to the panel's right edge, so that
        // its right part goes behind the button, which keeps its place.
        {"wider and taller", 760, 666, 96, {0, 0, 760, 640}, {0, 640, 760, 26}, {34, 2, 643, 21}},
        // Narrower: the button is cut off at the panel's edge.
        {"narrower", 500, 300, 96, {0, 0, 500, 274}, {0, 274, 500, 26}, {34, 2, 383, 21}},
        {"too small for anything", 100, 10, 96, {0, 0, 100, 0}, {0, -16, 100, 26}, {34, 2, 0, 21}},
        // At 144 dots per inch every design pixel is one and a half, rounded.
        {"144 dpi", 990, 849, 144, {0, 0, 990, 810}, {0, 810, 990, 39}, {51, 3, 814, 32}},
    };
    for (const auto& row : rows) {
        const auto placed = LayOut(row.width, row.height, row.dpi);
        EXPECT_EQ(placed.view, row.view) << row.name;
        EXPECT_EQ(placed.panel, row.panel) << row.name;
        EXPECT_EQ(placed.field, row.field) << row.name;
        EXPECT_EQ(placed.label, (LayOut(0, 0, row.dpi).label)) << row.name;
        EXPECT_EQ(placed.button, (LayOut(0, 0, row.dpi).button)) << row.name;
    }
    EXPECT_EQ(LayOut(660, 566).label, (Box{6, 6, 23, 13}));
    EXPECT_EQ(LayOut(660, 566).button, (Box{580, 1, 77, 24}));
    EXPECT_EQ(LayOut(990, 849, 144).button, (Box{870, 2, 116, 36}));
}
