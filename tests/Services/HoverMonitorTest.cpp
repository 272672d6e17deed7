#include "Services/HoverMonitor.h"

#include "Platform/Defaults.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

namespace {

// One step of a pointer story: a move at (x, fromTop), or only time passing.
struct Step {
    qint64 atMs;
    double x = -1; // -1: no move, only the clock advances
    double fromTop = -1;
};

struct Story {
    const char* name;
    HoverDecider::Switches switches;
    std::vector<Step> steps;
    bool toolbar;
    bool sidebar;
    double topBand = HoverDecider::toolbarZoneHeight;
};

void PrintTo(const Story& story, std::ostream* out) { *out << story.name; }

Step move(qint64 at, double x, double fromTop) { return {at, x, fromTop}; }
Step wait(qint64 at) { return {at}; }

const HoverDecider::Switches bothOn{true, true};

const Story stories[] = {
    {"nothing happened", bothOn, {}, false, false},
    {"top band shows the toolbar", bothOn, {move(0, 400, 49.9)}, true, false},
    {"50 below the top is outside the band", bothOn, {move(0, 400, 50)}, false, false},
    {"left band shows the sidebar", bothOn, {move(0, 9.9, 300)}, false, true},
    {"x of 10 is outside the left band", bothOn, {move(0, 10, 300)}, false, false},
    {"toolbar stays until 0.5 s after the last move below",
     bothOn, {move(0, 400, 10), move(100, 400, 200), move(400, 400, 300), wait(899)}, true, false},
    {"toolbar hides 0.5 s after the last move below",
     bothOn, {move(0, 400, 10), move(100, 400, 200), move(400, 400, 300), wait(900)}, false, false},
    {"back in the band cancels the hide",
     bothOn, {move(0, 400, 10), move(100, 400, 200), move(300, 400, 5), wait(5000)}, true, false},
    {"at 250 no sidebar hide is scheduled",
     bothOn, {move(0, 5, 300), move(100, 250, 300), wait(5000)}, false, true},
    {"beyond 250 the sidebar hides after the delay",
     bothOn, {move(0, 5, 300), move(100, 251, 300), wait(600)}, false, false},
    {"coming back to 100 does not cancel a pending sidebar hide",
     bothOn, {move(0, 5, 300), move(100, 300, 300), move(200, 100, 300), wait(600)}, false, false},
    {"coming back to the edge cancels it",
     bothOn, {move(0, 5, 300), move(100, 300, 300), move(200, 2, 300), wait(5000)}, false, true},
    {"auto-hide off: the toolbar shows on any move", {false, true}, {move(0, 400, 400), wait(5000)}, true, false},
    {"auto-show off: the edge never opens the sidebar", {true, false}, {move(0, 0, 400), wait(5000)}, false, false},
    {"a shown toolbar reaching 90 down keeps the pointer on it in the band",
     bothOn, {move(0, 400, 10), move(100, 400, 89), wait(5000)}, true, false, 90},
    {"below the toolbar it hides", bothOn, {move(0, 400, 10), move(100, 400, 90), wait(5000)}, false, false, 90},
    {"chrome shorter than the band never narrows it", bothOn, {move(0, 400, 49), wait(5000)}, true, false, 20},
};

class HoverDeciderStories : public ::testing::TestWithParam<Story> {};

TEST_P(HoverDeciderStories, EndsInTheExpectedState)
{
    const Story& story = GetParam();
    HoverDecider decider;
    for (const Step& step : story.steps) {
        if (step.x >= 0)
            decider.pointerMoved(step.x, step.fromTop, story.switches, step.atMs, story.topBand);
        decider.advance(step.atMs);
    }
    EXPECT_EQ(decider.showToolbar(), story.toolbar) << story.name;
    EXPECT_EQ(decider.showSidebar(), story.sidebar) << story.name;
}

INSTANTIATE_TEST_SUITE_P(Boundaries, HoverDeciderStories, ::testing::ValuesIn(stories),
                         [](const ::testing::TestParamInfo<Story>& story) { return testName(story.param.name); });

class HoverMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        defaults = std::make_unique<Defaults>(files.path());
        monitor = std::make_unique<HoverMonitor>(*defaults, [this] { return now; });
    }

    PreferenceFiles files;
    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<HoverMonitor> monitor;
    qint64 now = 0;
};

TEST_F(HoverMonitorTest, MissingSwitchesMeanBothBehavioursOnAndNothingIsWritten)
{
    EXPECT_TRUE(monitor->autoHideToolbar());
    EXPECT_TRUE(monitor->autoShowSidebar());
    EXPECT_FALSE(monitor->showToolbar());
    defaults->setValue(QStringLiteral("autoHideToolbar"), QStringLiteral("maybe"));
    EXPECT_TRUE(monitor->autoHideToolbar()) << "anything but a Boolean counts as on";
    EXPECT_FALSE(defaults->contains(QStringLiteral("autoShowSidebar")));
}

TEST_F(HoverMonitorTest, SwitchesAreReadAtEveryMoveAndRefreshAppliesThemAtOnce)
{
    QSignalSpy toolbar(monitor.get(), &HoverMonitor::showToolbarChanged);
    QSignalSpy sidebar(monitor.get(), &HoverMonitor::showSidebarChanged);
    monitor->handlePointer(2, 10);
    EXPECT_TRUE(monitor->showToolbar());
    EXPECT_TRUE(monitor->showSidebar());
    EXPECT_EQ(toolbar.count(), 1);
    EXPECT_EQ(sidebar.count(), 1);

    defaults->setValue(QStringLiteral("autoShowSidebar"), false);
    monitor->refreshSettings();
    EXPECT_FALSE(monitor->showSidebar());

    monitor->handlePointer(400, 400); // schedules the toolbar's hide
    defaults->setValue(QStringLiteral("autoHideToolbar"), false);
    monitor->refreshSettings();
    now = 2000;
    monitor->fireDueHides();
    EXPECT_TRUE(monitor->showToolbar()) << "a hide scheduled before auto-hide went off never fires";
}

TEST_F(HoverMonitorTest, StartsWithTheToolbarShownWhenAutoHideIsOff)
{
    defaults->setValue(QStringLiteral("autoHideToolbar"), false);
    HoverMonitor fresh(*defaults, [] { return qint64(0); });
    EXPECT_TRUE(fresh.showToolbar());
}

TEST_F(HoverMonitorTest, TimerRunsTheHideAndDiesWithTheMonitor)
{
    // On the real clock: the pending hide runs through the event loop.
    HoverMonitor* real = new HoverMonitor(*defaults);
    QSignalSpy hidden(real, &HoverMonitor::showToolbarChanged);
    real->handlePointer(400, 10);
    real->handlePointer(400, 300);
    ASSERT_TRUE(waitUntil([&] { return !real->showToolbar(); }, 3000));
    EXPECT_EQ(hidden.count(), 2);

    delete real;

    // A hide still pending when its monitor goes must not run, not even on
    // a monitor that now lives where the gone one was.
    QElapsedTimer elapsed;
    elapsed.start();
    int clockReads = 0;
    const HoverMonitor::Clock clock = [&] {
        ++clockReads;
        return elapsed.elapsed();
    };
    std::optional<HoverMonitor> place(std::in_place, *defaults, clock);
    place->handlePointer(400, 10);
    place->handlePointer(400, 300);
    place.reset();
    place.emplace(*defaults, clock);
    const int readsBefore = clockReads;
    QTest::qWait(700);
    EXPECT_EQ(clockReads, readsBefore);
    EXPECT_FALSE(place->showToolbar());
}

} // namespace
