// Tours: which entry or page each 500 ms round shows, what the settings popup's slider stores,
// and the workers that connect their entries, post what the cells show, wait while a cell is
// maximised and end when told.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "liveview/tour_runner.h"
#include "liveview/tour_steps.h"
#include "tests/liveview/live_view_fakes.h"

namespace ocv {
namespace {

// The rounds at which a single-screen tour changes what it shows, and what.
std::vector<std::pair<int, int>> SingleChanges(SingleTourSteps& steps, int rounds) {
    std::vector<std::pair<int, int>> changes;
    for (int r = 0; r < rounds; ++r)
        if (int shown = steps.Round(0); shown >= 0) changes.push_back({r, shown});
    return changes;
}

TEST(TourSteps, SingleScreenTourOfThreeAtTwentySecondsShowsEachMemberTwentySecondsLater) {
    SingleTourSteps steps(3, 20);
    // Rounds are 500 ms: 0 s, 20 s, 40 s, 60 s.
    EXPECT_EQ(SingleChanges(steps, 121),
              (std::vector<std::pair<int, int>>{{0, 0}, {40, 1}, {80, 2}, {120, 0}}));
}

TEST(TourSteps, NextAdvancesAtOnceAndRestartsTheWaitPreviousGoesBackAndWraps) {
    SingleTourSteps steps(3, 20);
    EXPECT_EQ(steps.Round(0), 0);
    for (int r = 1; r < 15; ++r) EXPECT_EQ(steps.Round(0), -1);
    EXPECT_EQ(steps.Round(+1), 1) << "next at 7.5 s";
    for (int r = 1; r < 40; ++r) ASSERT_EQ(steps.Round(0), -1) << "the 20 s start again at " << r;
    EXPECT_EQ(steps.Round(0), 2);
    EXPECT_EQ(steps.Round(-1), 1);
    EXPECT_EQ(steps.Round(-1), 0);
    EXPECT_EQ(steps.Round(-1), 2) << "previous from the first goes to the last";
    SingleTourSteps none(0, 20);
    EXPECT_EQ(none.Round(1), -1);
}

TEST(TourSteps, FactoryIntervalOfTenSecondsAdvancesEveryTwentyRounds) {
    SingleTourSteps steps(2, 10);
    EXPECT_EQ(SingleChanges(steps, 41), (std::vector<std::pair<int, int>>{{0, 0}, {20, 1}, {40, 0}}));
    EXPECT_EQ(TourRoundsPerInterval(0), 2) << "an interval below one second counts as one";
}

TEST(TourSteps, MultiScreenTourOfTenInSplitFourPagesZeroFourEightAndBack) {
    MultiTourSteps steps(10, 20);
    std::vector<int> pages;
    for (int r = 0; r < 160; ++r)
        if (int first = steps.Round(0, 4); first >= 0) pages.push_back(first);
    EXPECT_EQ(pages, (std::vector<int>{0, 4, 8, 0}));
    // Previous from page 0 goes to the last page, which starts at 8 (10 mod 4 = 2 entries).
    MultiTourSteps back(10, 20);
    EXPECT_EQ(back.Round(0, 4), 0);
    EXPECT_EQ(back.Round(-1, 4), 8);
    EXPECT_EQ(back.Round(-1, 4), 4);
    // Pages that divide the list evenly: the last page starts at count - n.
    MultiTourSteps even(12, 20);
    EXPECT_EQ(even.Round(0, 4), 0);
    EXPECT_EQ(even.Round(-1, 4), 8);
    EXPECT_EQ(even.Round(0, 0), MultiTourSteps::kEnd) << "a page size of 0 ends the tour";
}

TEST(TourSteps, PageSizesFollowTheSplitModeWithThirteenAndTenForTheOddLayouts) {
    EXPECT_EQ(TourPageSize(131), 13);
    EXPECT_EQ(TourPageSize(101), 10);
    EXPECT_EQ(TourPageSize(9), 9);
    MultiTourSteps steps(30, 20);
    EXPECT_EQ(steps.Round(0, TourPageSize(131)), 0);
    EXPECT_EQ(steps.Round(1, TourPageSize(131)), 13);
    EXPECT_EQ(steps.Round(1, TourPageSize(131)), 26);
    EXPECT_EQ(steps.Round(1, TourPageSize(131)), 0);
    // The page size is taken each round: a split change moves by the new size.
    EXPECT_EQ(steps.Round(1, 4), 4);
}

TEST(TourSteps, TheSliderOffersFiveIntervalsAndStoresTwentyForAnyOther) {
    const int offered[] = {20, 40, 60, 180, 300};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(TourSliderPosition(offered[i]), i);
        EXPECT_EQ(TourIntervalOfSlider(i), offered[i]);
    }
    // The factory interval of 10 shows as the first position and comes back as 20.
    EXPECT_EQ(TourIntervalOfSlider(TourSliderPosition(10)), 20);
    EXPECT_EQ(TourIntervalOfSlider(5), 20);
    EXPECT_EQ(TourIntervalOfSlider(-1), 20);
}

// The workers, with 2 ms rounds.
class TourRunnerTest : public ::testing::Test {
protected:
    struct Posted {
        int message;
        intptr_t w, l;
        bool operator==(const Posted&) const = default;
    };
    TourRunnerTest()
        : runner_(connections_, [this](int m, intptr_t w, intptr_t l) {
              std::lock_guard lock(mutex_);
              posted_.push_back({m, w, l});
          }) {
        runner_.SetRoundForTesting(std::chrono::milliseconds(2));
    }
    std::vector<Posted> Posts() {
        std::lock_guard lock(mutex_);
        return posted_;
    }
    bool WaitForPosts(size_t n) {
        for (int i = 0; i < 5000; ++i) {
            if (Posts().size() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    static std::vector<TourEntry> Entries(int device, std::vector<int> channels) {
        std::vector<TourEntry> out;
        for (int c : channels) out.push_back({device, c, true});
        return out;
    }

    test::FakeConnections connections_;
    std::mutex mutex_;
    std::vector<Posted> posted_;
    TourRunner runner_;
};

TEST_F(TourRunnerTest, ASingleScreenWorkerConnectsItsGroupAndCyclesTheCellThroughIt) {
    ASSERT_EQ(runner_.StartSingle(5, 2, Entries(1, {3, 4}), 1), 0);
    EXPECT_TRUE(runner_.CellInTour(5));
    EXPECT_FALSE(runner_.CellInTour(4));
    EXPECT_TRUE(runner_.GroupInTour(2));
    EXPECT_FALSE(runner_.GroupInTour(1));
    EXPECT_EQ(runner_.StartSingle(5, 1, Entries(1, {0}), 1), -1) << "one worker per cell";
    ASSERT_TRUE(WaitForPosts(3));
    runner_.StopSingle(5);
    EXPECT_FALSE(runner_.CellInTour(5));
    EXPECT_FALSE(runner_.GroupInTour(2));
    auto posts = Posts();
    EXPECT_EQ(posts[0], (Posted{kMsgTourShow, 5, ChannelIdOf(1, 3)}));
    EXPECT_EQ(posts[1], (Posted{kMsgTourShow, 5, ChannelIdOf(1, 4)}));
    EXPECT_EQ(posts[2], (Posted{kMsgTourShow, 5, ChannelIdOf(1, 3)}));
    EXPECT_EQ(connections_.Connects(), (std::vector<std::pair<int, int>>{{1, 3}, {1, 4}}))
        << "every member is connected without display first";
    size_t after = Posts().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Posts().size(), after) << "a stopped tour posts nothing more";
}

TEST_F(TourRunnerTest, AMultiScreenWorkerEmptiesThePanelForEachPageAndFollowsTheSplit) {
    runner_.SetSplitMode(4);
    std::vector<TourEntry> entries = Entries(0, {0, 1, 2, 3, 4, 5});
    entries[1].valid = false;  // a member whose device slot went: its cell stays empty
    ASSERT_EQ(runner_.StartMulti(entries, 1), 0);
    EXPECT_TRUE(runner_.CellInTour(30));
    EXPECT_TRUE(runner_.GroupInTour(35));
    EXPECT_EQ(runner_.StartMulti(entries, 1), -1);
    ASSERT_TRUE(WaitForPosts(7));
    runner_.StopMulti();
    auto posts = Posts();
    std::vector<Posted> first(posts.begin(), posts.begin() + 7);
    EXPECT_EQ(first, (std::vector<Posted>{{kMsgTourClearAll, 0, 0},
                                         {kMsgTourShow, 0, ChannelIdOf(0, 0)},
                                         {kMsgTourShow, 2, ChannelIdOf(0, 2)},
                                         {kMsgTourShow, 3, ChannelIdOf(0, 3)},
                                         {kMsgTourClearAll, 0, 0},
                                         {kMsgTourShow, 0, ChannelIdOf(0, 4)},
                                         {kMsgTourShow, 1, ChannelIdOf(0, 5)}}));
    EXPECT_FALSE(runner_.AnyRunning());
}

TEST_F(TourRunnerTest, ToursWaitWhileACellIsMaximisedAndGoOnAfter) {
    runner_.SetPaused(true);
    ASSERT_EQ(runner_.StartSingle(0, 0, Entries(0, {1, 2}), 1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_TRUE(Posts().empty()) << "nothing changes while paused";
    runner_.StepSingle(0, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(Posts().empty()) << "a step waits too";
    runner_.SetPaused(false);
    ASSERT_TRUE(WaitForPosts(1));
    EXPECT_EQ(Posts()[0], (Posted{kMsgTourShow, 0, ChannelIdOf(0, 1)}));
    runner_.StopAll();
}

TEST_F(TourRunnerTest, AnEmptyTourEndsByItselfAndSaysSo) {
    ASSERT_EQ(runner_.StartSingle(7, 3, {}, 20), 0);
    ASSERT_TRUE(WaitForPosts(1));
    EXPECT_EQ(Posts()[0], (Posted{kMsgTourEnded, 7, 0}));
    EXPECT_FALSE(runner_.CellInTour(7));
    EXPECT_FALSE(runner_.GroupInTour(3));
    // The cell can tour again.
    EXPECT_EQ(runner_.StartSingle(7, 3, Entries(0, {0}), 20), 0);
    runner_.StopSingle(7);
    EXPECT_EQ(runner_.StartSingle(36, 0, Entries(0, {0}), 20), -1);
    EXPECT_EQ(runner_.StartSingle(0, 36, Entries(0, {0}), 20), -1);
}

}  // namespace
}  // namespace ocv
