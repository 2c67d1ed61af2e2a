// The main frame's placement rules, as plain functions of screen size and saved values. The status panes
// are read on the window itself in browser/ui/quorbit_view_test.cpp.
#include "shell/frame_rules.h"

#include <gtest/gtest.h>

namespace {

struct PlacementCase {
    const char* what;
    int screenWidth, screenHeight;
    WindowPlacement saved;
    WindowPlacement expected;
    bool writeBack;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, UsesTheSavedPlacementOnlyWhenItFitsTheScreen) {
    const PlacementCase& c = GetParam();
    const InitialPlacement placed = PlaceMainWindow(c.screenWidth, c.screenHeight, c.saved);
    EXPECT_EQ(placed.placement, c.expected) << c.what;
    EXPECT_EQ(placed.writeBack, c.writeBack) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTest,
    ::testing::Values(
        PlacementCase{"first start", 1024, 768, {0, 0, 0, 0}, {26, 19, 972, 729}, true},
        PlacementCase{"small screen", 800, 600, {0, 0, 0, 0}, {20, 15, 759, 569}, true},
        PlacementCase{"left maximised", 1024, 768, {0, 0, 1032, 776}, {26, 19, 972, 729}, true},
        PlacementCase{"x beyond the screen", 1024, 768, {1100, 0, 600, 400}, {26, 19, 972, 729}, true},
        PlacementCase{"reaches past the edge", 1024, 768, {1000, 10, 600, 400}, {1000, 10, 600, 400}, false},
        PlacementCase{"negative y", 1024, 768, {10, -1, 600, 400}, {26, 19, 972, 729}, true}));

TEST(PlacementToSave, NegativeEdgesAreStoredAsZero) {
    EXPECT_EQ(PlacementToSave({-50, -3, 600, 400}), (WindowPlacement{0, 0, 600, 400}));
    EXPECT_EQ(PlacementToSave({50, 30, 600, 400}), (WindowPlacement{50, 30, 600, 400}));
    EXPECT_EQ(CenterRectOnScreen({5, 5, 301, 201}, 1024, 768), (WindowPlacement{361, 283, 301, 201}));
    // A window of the program's own: centred on the client area, never larger than it.
    EXPECT_EQ(PlaceOverClientArea({10, 60, 800, 500}, 760, 420), (WindowPlacement{30, 100, 760, 420}));
    EXPECT_EQ(PlaceOverClientArea({10, 60, 600, 300}, 760, 420), (WindowPlacement{10, 60, 600, 300}));
}

TEST(DialogUnits, ConvertLikeTheDialogManager) {
    // An average character 6 pixels wide and 13 high: 405 x 381 units are 608 x 619 pixels.
    EXPECT_EQ(DialogUnitsToPixels(405, 6, 4), 608);
    EXPECT_EQ(DialogUnitsToPixels(381, 13, 8), 619);
    EXPECT_EQ(DialogUnitsToPixels(0, 7, 4), 0);
}

} // namespace
