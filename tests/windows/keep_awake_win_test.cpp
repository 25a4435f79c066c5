// Keeping the computer awake on Windows: the thread's execution state set for the holder's life and
// reset after it, and a query to end the session answered "not yet" while it lives, sent to a
// native window of the program as the system sends it. Wine keeps the execution state but cannot
// show a sleep held by it, and its shutdown reasons are not implemented; neither is checked here.
#include "platform/machine/keep_awake.h"

#include <QGuiApplication>
#include <QWindow>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const QString kReason = QStringLiteral("Updating the controller");

// Sets the state it expects and returns the one before: unchanged when the expectation held.
EXECUTION_STATE stateWhenExpecting(EXECUTION_STATE expected) { return SetThreadExecutionState(expected); }

TEST(KeepAwakeOnWindows, TheExecutionStateAsksForTheSystemWhileTheHolderLivesAndIsResetAfter)
{
    {
        const platform::KeepAwake hold(kReason, 0);
        EXPECT_TRUE(hold.problem().isEmpty()) << hold.problem().toStdString();
        EXPECT_EQ(stateWhenExpecting(ES_CONTINUOUS | ES_SYSTEM_REQUIRED), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    }
    EXPECT_EQ(stateWhenExpecting(ES_CONTINUOUS), ES_CONTINUOUS);
}

TEST(KeepAwakeOnWindows, TheSessionMayNotEndWhileTheHolderLives)
{
    QWindow window;
    window.create();
    const auto handle = reinterpret_cast<HWND>(window.winId());
    {
        const platform::KeepAwake hold(kReason, window.winId());
        EXPECT_EQ(SendMessageW(handle, WM_QUERYENDSESSION, 0, 0), FALSE);
        EXPECT_EQ(SendMessageW(handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    }
    // Without a job the program lets the session end.
    EXPECT_NE(SendMessageW(handle, WM_QUERYENDSESSION, 0, 0), FALSE);
    SendMessageW(handle, WM_ENDSESSION, FALSE, 0);  // the session goes on after all
}

}  // namespace

int main(int argc, char** argv)
{
    // The session's end reaches native windows only: the windows platform, not the offscreen one.
    qputenv("QT_QPA_PLATFORM", "windows");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
