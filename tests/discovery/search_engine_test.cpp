// The search engine: the timer's ticks and time-out, generations, the stop
// sequence, abandoned searches and the guarantee that no callback runs after a
// stop has returned.
#include <gtest/gtest.h>

#include <ostream>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "discovery/collection.h"
#include "discovery/search_engine.h"
#include "tests/discovery/test_support.h"
#include "tests/fakes/step_clock.h"
#include "tools/devicesim/device_sim.h"

namespace orvandel {
namespace {

using test::Device;
using test::FixedAdapters;
using test::LoopbackAdapter;
using test::LoopbackOptions;
using test::StepClock;
using test::WaitFor;

// What the callbacks saw, from the timer thread.
struct Recorder {
    std::mutex mutex;
    std::vector<int> ticks;
    std::vector<std::uint64_t> timeouts;
    std::atomic<bool> closed{false};  // set by the test after a stop returned
    std::atomic<int> late_calls{0};

    SearchEngine::TickFn Tick() {
        return [this](int frame) {
            late_calls += closed ? 1 : 0;
            std::lock_guard lock(mutex);
            ticks.push_back(frame);
        };
    }
    SearchEngine::TimeoutFn Timeout() {
        return [this](std::uint64_t generation) {
            late_calls += closed ? 1 : 0;
            std::lock_guard lock(mutex);
            timeouts.push_back(generation);
        };
    }
    std::size_t TickCount() {
        std::lock_guard lock(mutex);
        return ticks.size();
    }
    std::size_t TimeoutCount() {
        std::lock_guard lock(mutex);
        return timeouts.size();
    }
};

struct TimerCase {
    const char* label;
    SearchTiming timing;
    std::vector<int> ticks;  // expected frame indices
};

// Names the row in test output.
void PrintTo(const TimerCase& row, std::ostream* os) {
    *os << row.label;
}

std::vector<int> Frames(int count, int frames) {
    std::vector<int> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(i % frames);
    }
    return out;
}

class TimerRows : public ::testing::TestWithParam<TimerCase> {};

TEST_P(TimerRows, TicksEachFrameAndTimesOutAtFirstCheckPastDuration) {
    test::StepClock clock(test::StepClock::kAdvancesOnSleep);
    FixedAdapters none;
    SearchEngine engine(none, clock);
    Recorder seen;
    const std::uint64_t generation = engine.Start(GetParam().timing, seen.Tick(), seen.Timeout());
    ASSERT_TRUE(WaitFor([&] { return seen.TimeoutCount() == 1; }));
    engine.Stop();
    std::lock_guard lock(seen.mutex);
    EXPECT_EQ(seen.ticks, GetParam().ticks);
    EXPECT_EQ(seen.timeouts, std::vector<std::uint64_t>{generation});
    EXPECT_EQ(engine.Generation(), generation);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TimerRows,
    ::testing::Values(
        // 29 × 175 = 5075 is the first check strictly after 5000.
        TimerCase{"Default", SearchTiming{}, Frames(30, 12)},
        // 10 × 100 = 1000 is not past 1000; 1100 is.
        TimerCase{"ExactMultipleWaitsOneMore", SearchTiming{1000, 100, 3}, Frames(12, 3)},
        TimerCase{"ZeroDuration", SearchTiming{0, 175, 12}, Frames(2, 12)},
        TimerCase{"NoFramesCountsAsOne", SearchTiming{300, 100, 0}, Frames(5, 1)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SearchEngine, NoCallbackAfterStopReturns) {
    StepClock clock;
    FixedAdapters none;
    SearchEngine engine(none, clock);
    Recorder seen;
    engine.Start(SearchTiming{}, seen.Tick(), seen.Timeout());
    ASSERT_TRUE(clock.AdvanceUntil([&] { return seen.TickCount() >= 3; }));
    // Stop pauses on the clock and joins the sleeping timer.
    ASSERT_TRUE(clock.Run([&] { engine.Stop(); }));
    seen.closed = true;
    // Far past the time-out, and no thread is left waiting to call back.
    clock.Advance(60000);
    EXPECT_EQ(clock.Sleepers(), 0u);
    EXPECT_EQ(seen.late_calls, 0);
    EXPECT_EQ(seen.TimeoutCount(), 0u);
}

TEST(SearchEngine, AbandonSilencesTheOldSearchAndNextStartHasNewGeneration) {
    StepClock clock;
    FixedAdapters none;
    SearchEngine engine(none, clock);
    Recorder first;
    const auto old_generation = engine.Start(SearchTiming{}, first.Tick(), first.Timeout());
    ASSERT_TRUE(clock.AdvanceUntil([&] { return first.TickCount() >= 2; }));
    engine.Abandon();
    first.closed = true;

    Recorder second;
    std::uint64_t generation = 0;
    // Start joins the abandoned timer, which sleeps on the clock.
    ASSERT_TRUE(clock.Run(
        [&] { generation = engine.Start(SearchTiming{}, second.Tick(), second.Timeout()); }));
    EXPECT_EQ(generation, old_generation + 1);
    EXPECT_EQ(engine.Generation(), generation);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return second.TimeoutCount() == 1; }));
    EXPECT_EQ(first.late_calls, 0);
    EXPECT_EQ(first.TimeoutCount(), 0u);
    std::lock_guard lock(second.mutex);
    EXPECT_EQ(second.timeouts, std::vector<std::uint64_t>{generation});
}

TEST(SearchEngine, DestructionDuringSearchJoinsAndSilences) {
    StepClock clock;
    FixedAdapters adapters({LoopbackAdapter()});
    Recorder seen;
    auto engine = std::make_unique<SearchEngine>(adapters, clock, LoopbackOptions());
    ASSERT_TRUE(clock.Run([&] { engine->Start(SearchTiming{}, seen.Tick(), seen.Timeout()); }));
    ASSERT_TRUE(clock.AdvanceUntil([&] { return seen.TickCount() >= 1; }));
    // The timer and the sender sleep on the clock while the destructor joins them.
    ASSERT_TRUE(clock.Run([&] { engine.reset(); }));
    seen.closed = true;
    clock.Advance(60000);
    EXPECT_EQ(clock.Sleepers(), 0u);
    EXPECT_EQ(seen.late_calls, 0);
}

class EngineOnLoopback : public ::testing::Test {
protected:
    FixedAdapters adapters_{{LoopbackAdapter()}};
    TransportOptions options_ = LoopbackOptions();
    SearchEngine engine_{adapters_, SystemClock(), options_};
    Device device_{options_.port};
    SearchTiming long_search_{60000, 175, 12};
};

TEST_F(EngineOnLoopback, StopRunsTheStopSequenceAndCollectEmptiesTheStore) {
    engine_.Start(long_search_, nullptr, nullptr);
    EXPECT_EQ(engine_.Adapters(), std::vector<std::string>{test::kAdapter});
    device_.Send(sim::MakeReply("Den", "TR9100", "aa:bb:cc:00:00:01", "10.1.0.9"));
    device_.Send(sim::MakeReply("Den", "TR9100", "aa:bb:cc:00:00:01", "10.1.0.9"));
    device_.Send(sim::MakeReply("Hall", "TR400", "aa:bb:cc:00:00:02", "10.1.0.10"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto begin = std::chrono::steady_clock::now();
    engine_.Stop();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, std::chrono::milliseconds(200));  // two 100 ms pauses
    EXPECT_LT(took, std::chrono::milliseconds(1000));

    const auto devices = test::Records(engine_.CollectFound());
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].ip, u"10.1.0.10");
    EXPECT_EQ(devices[1].device_name, u"Den");
    EXPECT_TRUE(test::Records(engine_.CollectFound()).empty());
}

TEST_F(EngineOnLoopback, NextStartDiscardsWhatAnAbandonedSearchGathered) {
    engine_.Start(long_search_, nullptr, nullptr);
    device_.Send(sim::MakeReply("Old", "TR400", "aa:bb:cc:00:00:01", "10.1.0.1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine_.Abandon();
    engine_.Start(long_search_, nullptr, nullptr);
    device_.Send(sim::MakeReply("New", "TR400", "aa:bb:cc:00:00:02", "10.1.0.2"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine_.Stop();
    const auto devices = test::Records(engine_.CollectFound());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].device_name, u"New");
}

// A device at an address of this computer on an adapter the search skips (one
// without a hardware address, like a VPN) shares that address: a conflict.
TEST_F(EngineOnLoopback, AnAddressOnASkippedAdapterCountsAsThisComputers) {
    AdapterRecord tunnel;
    tunnel.name = "tun0";
    tunnel.description = "tun0";
    tunnel.ipv4 = {"10.1.0.77"};
    tunnel.up = true;
    tunnel.running = true;
    FixedAdapters adapters({test::LoopbackAdapter(), tunnel});
    SearchEngine engine(adapters, SystemClock(), options_);
    std::mutex lock;
    std::condition_variable changed;
    bool heard = false;
    engine.SetChangeListener([&] {
        std::lock_guard guard(lock);
        heard = true;
        changed.notify_all();
    });
    engine.Start(long_search_, nullptr, nullptr);
    EXPECT_EQ(engine.Adapters(), std::vector<std::string>{test::kAdapter});
    device_.Send(sim::MakeReply("Tunnel", "TR400", "aa:bb:cc:00:00:07", "10.1.0.77"));
    {
        std::unique_lock guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(5), [&] { return heard; }));
    }
    const auto changes = engine.TakeChanged();
    ASSERT_EQ(changes.size(), 1u);
    engine.Stop();
    const auto found = engine.CollectFound();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].verdict.status, ReachStatus::kConflict);
    EXPECT_TRUE(found[0].verdict.own_address);
}

// Shutdown does not wait out the send thread's 100 ms pause or the timer's slice:
// the command-line finder's --first exits right after its result.
TEST_F(EngineOnLoopback, DestroyingARunningSearchDoesNotWaitOutItsPauses) {
    auto engine = std::make_unique<SearchEngine>(adapters_, SystemClock(), options_);
    engine->Start(long_search_, nullptr, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the sender is in its pause
    const auto begin = std::chrono::steady_clock::now();
    engine.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(60));
}

}  // namespace
}  // namespace orvandel
