// The workbook thread: calls in the order posted, all on one thread with its end, outcomes back on
// the receiver's thread in order, notes about the spreadsheet program shown there too, posting that
// never waits, and an owner that does not wait forever for a call that never returns.
#include "recorder/workbook_thread.h"

#include "recorder/workbook/spreadsheet_notes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& condition)
{
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(WorkbookThread, RunsCallsInOrderOnOneThreadReportsEachOutcomeInOrderAndEndsOnThatThread)
{
    QObject receiver;
    std::vector<std::thread::id> callThreads;
    std::vector<std::string> outcomes;
    std::optional<std::thread::id> endThread;
    {
        WorkbookThread thread([&] { endThread = std::this_thread::get_id(); }, 5s);
        auto record = [&](const std::string& name) {
            return [&outcomes, name](std::exception_ptr failure) {
                if (!failure) return outcomes.push_back(name + " ok");
                try {
                    std::rethrow_exception(failure);
                } catch (const std::exception& error) {
                    outcomes.push_back(name + " " + error.what());
                }
            };
        };
        for (const char* name : {"open", "row", "save"})
            thread.post([&, name] {
                callThreads.push_back(std::this_thread::get_id());
                if (std::string(name) == "row") throw std::runtime_error("refused");
            }, &receiver, record(name));
        ASSERT_TRUE(waitFor([&] { return outcomes.size() == 3; }));
        EXPECT_FALSE(endThread) << "the end waits for the owner";
    }
    EXPECT_EQ(outcomes, (std::vector<std::string>{"open ok", "row refused", "save ok"}));
    ASSERT_EQ(callThreads.size(), 3u);
    EXPECT_NE(callThreads[0], std::this_thread::get_id());
    EXPECT_EQ(callThreads[1], callThreads[0]);
    EXPECT_EQ(callThreads[2], callThreads[0]);
    EXPECT_EQ(endThread, callThreads[0]) << "what the calls made is released where they made it";
}

TEST(WorkbookThread, NotesMadeByTheCallsAreShownOnTheReceiversThreadOnlyOnceAskedFor)
{
    QObject receiver;
    std::vector<std::string> shown;
    std::vector<bool> onReceiverThread;
    bool before = false;
    bool done = false;
    {
        WorkbookThread thread([] {}, 5s);
        thread.post([] { noteAboutSpreadsheet("before anyone asked"); }, &receiver,
                    [&](std::exception_ptr) { before = true; });
        ASSERT_TRUE(waitFor([&] { return before; }));
        thread.showNotes(&receiver, [&](const std::string& note) {
            shown.push_back(note);
            onReceiverThread.push_back(QThread::currentThread() == receiver.thread());
        });
        thread.post([] { noteAboutSpreadsheet("the built-in writer saves the log"); }, &receiver,
                    [&](std::exception_ptr) { done = true; });
        ASSERT_TRUE(waitFor([&] { return done; }));
        noteAboutSpreadsheet("from another thread");  // this thread said nothing about its notes
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(shown, std::vector<std::string>{"the built-in writer saves the log"});
    EXPECT_EQ(onReceiverThread, std::vector<bool>{true});
}

TEST(WorkbookThread, PostingDoesNotWaitForARunningCallAndTheOwnerStopsWaitingForOneThatNeverEnds)
{
    QObject receiver;
    std::atomic<bool> release{false};
    std::atomic<bool> running{false};
    auto finished = std::make_shared<std::atomic<bool>>(false);
    bool reported = false;
    bool ended = false;
    std::optional<WorkbookThread> thread;
    thread.emplace([&] { ended = true; }, 200ms);
    thread->post([&] {
        running = true;
        while (!release) std::this_thread::sleep_for(1ms);
    }, &receiver, [&](std::exception_ptr) { reported = true; });
    ASSERT_TRUE(waitFor([&] { return running.load(); }));
    const auto posting = std::chrono::steady_clock::now();
    thread->post([finished] { *finished = true; }, &receiver, [&](std::exception_ptr) { reported = true; });
    EXPECT_LT(std::chrono::steady_clock::now() - posting, 50ms);
    const auto leaving = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - leaving, 2s) << "the owner waited for a call that never ends";
    release = true;
    std::this_thread::sleep_for(100ms);
    QCoreApplication::processEvents();
    EXPECT_FALSE(reported) << "nothing is reported to an owner that has gone";
    EXPECT_FALSE(*finished) << "nothing more is started for it";
    EXPECT_FALSE(ended);
}

}  // namespace
