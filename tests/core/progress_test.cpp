#include "core/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/recordingdisplay.h"
#include "support/testservices.h"

namespace vexilo::core {
namespace {

using testing::RecordingDisplay;
using testing::TestServices;

class ProgressTest : public ::testing::Test {
  protected:
    // Starts a job at the given time of day, as the run driver does.
    void startAt(double seconds) {
        services.clockSeam.seconds = seconds;
        f.HoraInicio = core::secondsOfDay(services.clock());
    }
    int displays() const { return static_cast<int>(display.progress.size()); }

    TestServices services;  // its clock only
    RecordingDisplay display;
    core::Progress f{&display, 0, 0.0, &services.clock()};
};

TEST_F(ProgressTest, BarRoundsToNearestWhileText5RoundsDown) {
    startAt(36000);
    core::reportProgress(f, 1000, 426);
    ASSERT_EQ(displays(), 1);
    EXPECT_EQ(display.progress.back(), 43);
    EXPECT_EQ(display.text(Control::Text5), QStringLiteral("   42 %"));
    EXPECT_DOUBLE_EQ(f.PorcentajeAnterior, 42.6);
}

TEST_F(ProgressTest, TiesGoToTheEvenNeighbour) {
    core::BarraDeProgreso(f, 42.5);
    core::BarraDeProgreso(f, 43.5);
    core::BarraDeProgreso(f, 0.5);
    EXPECT_EQ(display.progress, (std::vector<int>{42, 44, 0}));

    services.clockSeam.seconds = 36000.5;
    EXPECT_EQ(core::secondsOfDay(services.clock()), 36000);
    services.clockSeam.seconds = 36001.5;
    EXPECT_EQ(core::secondsOfDay(services.clock()), 36002);
}

TEST_F(ProgressTest, FirstJobStaysQuietUntilTheRoundedPercentageReachesOne) {
    startAt(36000);
    core::reportProgress(f, 1000, 5);  // 0.5 rounds to 0, the value PorcentajeAnterior starts with
    EXPECT_EQ(displays(), 0);
    core::reportProgress(f, 1000, 6);  // 0.6 rounds to 1
    EXPECT_EQ(displays(), 1);
}

TEST_F(ProgressTest, BelowOnePercentText5KeepsItsContentWhileText4IsWritten) {
    startAt(36000);
    display.setText(Control::Text5, QStringLiteral("   77 %"));
    services.clockSeam.seconds = 36010;
    core::porcentaje(f, 1000, 9);  // 0.9 %
    EXPECT_EQ(display.text(Control::Text5), QStringLiteral("   77 %"));
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("1101"));  // 991 * 10 / 9 = 1101.1
}

TEST_F(ProgressTest, RemainingTimeIsEstimatedFromTheElapsedWholeSeconds) {
    startAt(36000);
    services.clockSeam.seconds = 36030;
    core::porcentaje(f, 1000, 500);
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("30"));

    // Until the rounded time of day moves on, nothing has elapsed.
    services.clockSeam.seconds = 36000.4;
    core::porcentaje(f, 1000, 100);
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("0"));
    EXPECT_EQ(display.text(Control::Text5), QStringLiteral("   10 %"));

    // Remaining times of 1.5, 2.5 and 3.5 seconds round to the even neighbour.
    services.clockSeam.seconds = 36001;
    core::porcentaje(f, 1000, 400);  // 600 * 1 / 400
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("2"));
    services.clockSeam.seconds = 36010;
    core::porcentaje(f, 1000, 800);  // 200 * 10 / 800
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("2"));
    services.clockSeam.seconds = 36014;
    core::porcentaje(f, 1000, 800);  // 200 * 14 / 800
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("4"));
}

TEST_F(ProgressTest, JobRunningPastMidnightNeverShowsNegativeTimes) {
    startAt(86390);                   // ten seconds before midnight
    services.clockSeam.seconds = 10;  // ten seconds after
    core::porcentaje(f, 1000, 500);
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("20"));

    startAt(86399.7);  // rounds up to 86400, the first second of the next day
    services.clockSeam.seconds = 3;
    core::porcentaje(f, 1000, 500);
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("3"));
}

TEST_F(ProgressTest, TheCallThatFirstReachesRoundedHundredDecidesTheLastTexts) {
    startAt(36000);
    services.clockSeam.seconds = 36050;
    core::reportProgress(f, 1000, 996);  // 99.6 rounds to 100
    core::reportProgress(f, 1000, 1000);
    EXPECT_EQ(display.progress, (std::vector<int>{100}));
    EXPECT_EQ(display.text(Control::Text5), QStringLiteral("   99 %"));

    core::Progress g{&display, f.HoraInicio, 0.0, &services.clock()};
    core::reportProgress(g, 1000, 990);
    core::reportProgress(g, 1000, 1001);  // a single trailing byte: the position is lowered to the length
    EXPECT_EQ(display.progress.back(), 100);
    EXPECT_EQ(display.text(Control::Text5), QStringLiteral("   100 %"));
    EXPECT_EQ(display.text(Control::Text4), QStringLiteral("0"));
}

TEST_F(ProgressTest, LargeFileIsDisplayedAboutAHundredTimes) {
    startAt(36000);
    const std::int64_t lo = 50'000'000;
    for (std::int64_t pos = 1 + 84; pos <= lo + 1; pos += 84) {
        core::reportProgress(f, lo, pos);
    }
    core::reportProgress(f, lo, lo + 1);
    EXPECT_GE(displays(), 100);
    EXPECT_LE(displays(), 101);
    EXPECT_LE(display.textWrites[Control::Text4], 101);
    EXPECT_EQ(display.progress.back(), 100);
}

// Reported after every element, a pass displays exactly where the rule itself (the rounded percentage
// differs from the last one shown) says, whatever the last job left, the input's length, or a second pass
// over the same input starting again from its first element.
TEST_F(ProgressTest, ReportsAfterEveryElementDisplayWhereTheRuleSays) {
    startAt(36000);
    struct Pass {
        std::int64_t lo;
        double before;  // the last percentage shown, by an earlier job or pass
    };
    for (const Pass pass : {Pass{1000, 0.0}, Pass{1000, 100.0}, Pass{7, 42.6}, Pass{200'003, 0.0},
                            Pass{200'003, 99.6}, Pass{3, 50.0}}) {
        SCOPED_TRACE(pass.lo);
        f.PorcentajeAnterior = pass.before;
        double shown = pass.before;
        std::vector<int> expected;
        const std::size_t earlier = display.progress.size();
        for (std::int64_t pos = 1; pos <= pass.lo + 1; ++pos) {
            const std::int64_t at = std::min(pos, pass.lo);
            const double v = static_cast<double>(at) / static_cast<double>(pass.lo) * 100.0;
            if (std::nearbyint(v) != std::nearbyint(shown)) {
                expected.push_back(static_cast<int>(std::nearbyint(v)));
                shown = v;
            }
            core::reportProgress(f, pass.lo, pos);
        }
        EXPECT_EQ(std::vector<int>(display.progress.begin() + static_cast<std::ptrdiff_t>(earlier),
                                   display.progress.end()),
                  expected);
        EXPECT_DOUBLE_EQ(f.PorcentajeAnterior, shown);
    }
    // The same position of a longer input is another percentage.
    core::reportProgress(f, 100, 50);
    core::reportProgress(f, 1000, 50);
    EXPECT_EQ(display.progress.back(), 5);
}

TEST_F(ProgressTest, PercentageSurvivesIntoTheNextJob) {
    startAt(36000);
    core::reportProgress(f, 100, 100);
    ASSERT_EQ(displays(), 1);
    // A later job in the same window: its first element shows at once, even below one percent.
    core::reportProgress(f, 100000, 85);
    EXPECT_EQ(displays(), 2);
    EXPECT_EQ(display.progress.back(), 0);
}

TEST_F(ProgressTest, EmptyInputShowsNothingAndNeverDividesByZero) {
    startAt(36000);
    core::reportProgress(f, 0, 1);
    core::porcentaje(f, 0, 0);
    core::porcentaje(f, 10, 0);
    EXPECT_EQ(displays(), 0);
    EXPECT_TRUE(display.texts.empty());
}

}  // namespace
}  // namespace vexilo::core
