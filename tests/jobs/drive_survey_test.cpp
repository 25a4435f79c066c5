// The drive survey off the caller's thread: a survey that does not end (a drive whose server is gone,
// stood in for by a survey that waits to be let go) costs a caller at most its wait once, begins no
// second survey beside it, and is handed out when it ends; the survey's owner goes without it.
#include "jobs/drive_survey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A survey that ends when let go, naming the survey it was ("1:", "2:", ...) as its one drive.
struct HeldSurvey {
    std::shared_ptr<std::atomic<int>> begun = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::promise<void>> gate = std::make_shared<std::promise<void>>();
    BackgroundDriveSurvey::Survey survey()
    {
        return [begun = begun, open = gate->get_future().share()](const StrandedUpdates&) {
            const int number = ++*begun;
            open.wait();
            DriveSurvey found;
            found.drives.push_back({std::to_string(number) + ":", "", "", true, true, false});
            return found;
        };
    }
};

Clock::duration timeOf(const std::function<void()>& call)
{
    const auto start = Clock::now();
    call();
    return Clock::now() - start;
}

TEST(DriveSurveyOffThread, ASurveyThatHangsCostsItsWaitOnceAndIsHandedOutWhenItEnds)
{
    HeldSurvey held;
    BackgroundDriveSurvey survey(held.survey());
    std::optional<DriveSurvey> found;
    const auto firstLook = timeOf([&] { found = survey.latest(200ms, {}); });
    EXPECT_FALSE(found);
    EXPECT_GE(firstLook, 200ms);
    EXPECT_LT(firstLook, 2s);
    // Later looks while it hangs: at once, and no second survey beside it.
    for (int look = 0; look < 3; ++look) EXPECT_LT(timeOf([&] { found = survey.latest(2s, {}); }), 100ms);
    EXPECT_FALSE(found);
    EXPECT_EQ(*held.begun, 1);

    held.gate->set_value();
    const auto ended = Clock::now() + 5s;
    while (!(found = survey.latest(0ms, {})) && Clock::now() < ended) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(found);
    ASSERT_EQ(found->drives.size(), 1u);
    EXPECT_EQ(found->drives[0].drive, "1:");
    // Handed out once; the next look begins a fresh survey and, one that answers, gets it at once.
    found = survey.latest(5s, {});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->drives[0].drive, "2:");
    EXPECT_EQ(found->describe("2:"), "2:");  // no description gathered: the name
}

TEST(DriveSurveyOffThread, ItsOwnerGoesWhileASurveyHangs)
{
    HeldSurvey held;
    const auto going = timeOf([&] {
        BackgroundDriveSurvey survey(held.survey());
        EXPECT_FALSE(survey.latest(10ms, {}));
    });
    EXPECT_LT(going, 2s);
    held.gate->set_value();  // the survey left to itself ends on what it shares with nobody now
}

}  // namespace
