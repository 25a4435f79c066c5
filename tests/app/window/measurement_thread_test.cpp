// The measurement thread: every measurement on the same thread, which outlives each of them (a read
// a measurement leaves under way on Windows lives only as long as its thread), results back on the
// receiver's thread, and waiting for the one under way.
#include "recorder/measurement_thread.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QObject>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(MeasurementThread, RunsEveryMeasurementOnOneThreadThatOutlivesThemAndReportsOnTheReceiversThread)
{
    QObject receiver;
    MeasurementThread measurements;
    std::vector<std::thread::id> measuringThreads;
    std::vector<std::thread::id> doneThreads;
    std::vector<std::int32_t> results;
    for (std::int32_t i = 1; i <= 3; ++i) {
        measurements.start(
            [&, i] {
                measuringThreads.push_back(std::this_thread::get_id());
                Measurement measurement;
                measurement.fanSpeed = i;
                return measurement;
            },
            &receiver,
            [&](const Measurement& measurement) {
                doneThreads.push_back(std::this_thread::get_id());
                results.push_back(measurement.fanSpeed);
            });
        ASSERT_TRUE(waitUntil([&] { return results.size() == static_cast<std::size_t>(i); }));
    }
    EXPECT_EQ(results, (std::vector<std::int32_t>{1, 2, 3}));
    ASSERT_EQ(measuringThreads.size(), 3u);
    EXPECT_NE(measuringThreads[0], std::this_thread::get_id());
    EXPECT_EQ(measuringThreads[1], measuringThreads[0]);
    EXPECT_EQ(measuringThreads[2], measuringThreads[0]);
    EXPECT_EQ(doneThreads, std::vector<std::thread::id>(3, std::this_thread::get_id()));
}

TEST(MeasurementThread, WaitingUntilIdleReturnsOnlyOnceTheMeasurementUnderWayHasEnded)
{
    QObject receiver;
    MeasurementThread measurements;
    std::atomic<bool> ended = false;
    measurements.start(
        [&] {
            std::this_thread::sleep_for(50ms);
            ended = true;
            return Measurement{};
        },
        &receiver, [](const Measurement&) {});
    measurements.waitUntilIdle();
    EXPECT_TRUE(ended);

    // A measurement still running as its owner goes is waited for; its result then reaches no one.
    std::optional<MeasurementThread> going(std::in_place);
    std::atomic<bool> measured = false;
    bool reported = false;
    {
        QObject gone;
        going->start(
            [&] {
                std::this_thread::sleep_for(50ms);
                measured = true;
                return Measurement{};
            },
            &gone, [&](const Measurement&) { reported = true; });
        going.reset();
        EXPECT_TRUE(measured);
    }
    waitUntil([] { return false; }, 100);
    EXPECT_FALSE(reported);
}

}  // namespace
