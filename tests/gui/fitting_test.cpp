#include "gui/fitting.h"

#include <gtest/gtest.h>

namespace vexilo::gui {
namespace {

struct Growth {
    const char* what;
    QRect box;
    QSize needed;
    std::vector<QRect> obstacles;
    QRect expected;
};

TEST(FittingTest, ABoxGrowsIntoTheFreeRoomOnlyAndNeverShrinks) {
    const QRect bounds(0, 0, 200, 100);
    const int gap = 4;
    const Growth cases[] = {
        {"fits: unchanged", {50, 10, 40, 14}, {30, 10}, {}, {50, 10, 40, 14}},
        {"free on both sides: about its centre", {50, 10, 40, 14}, {60, 14}, {}, {40, 10, 60, 14}},
        {"blocked on the right: the left gives the rest",
         {50, 10, 40, 14},
         {60, 14},
         {{94, 0, 20, 30}},
         {30, 10, 60, 14}},
        {"an obstacle on another row does not block",
         {50, 10, 40, 14},
         {60, 14},
         {{94, 40, 20, 30}},
         {40, 10, 60, 14}},
        {"the bounds stop it on one side", {4, 10, 40, 14}, {60, 14}, {}, {0, 10, 60, 14}},
        {"no room anywhere: as large as it can be",
         {50, 10, 40, 14},
         {100, 14},
         {{30, 0, 16, 30}, {94, 0, 20, 30}},
         {50, 10, 40, 14}},
        {"taller downwards first", {50, 10, 40, 14}, {40, 20}, {}, {50, 10, 40, 20}},
        {"taller upwards when the row below is taken",
         {50, 10, 40, 14},
         {40, 20},
         {{60, 30, 10, 10}},
         {50, 6, 40, 20}},
        {"wider first, then taller past the obstacles of the new width",
         {50, 10, 40, 14},
         {60, 20},
         {{95, 28, 4, 4}},
         {40, 4, 60, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect grown = growIntoFreeRoom(c.box, c.needed, bounds, c.obstacles, gap);
        EXPECT_EQ(grown, c.expected);
        EXPECT_TRUE(grown.contains(c.box));
        for (const QRect& o : c.obstacles) {
            EXPECT_FALSE(grown.intersects(o.adjusted(-gap + 1, -gap + 1, gap - 1, gap - 1)));
        }
    }
}

}  // namespace
}  // namespace vexilo::gui
