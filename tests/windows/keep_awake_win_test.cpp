// Keeping the computer awake on Windows: the thread's execution state set for the holder's life and
// reset after it, and the session's end while it lives, sent to a native window of the program (or
// to the hidden one of a program without) as the system sends it. Wine keeps the execution state
// but cannot show a sleep held by it, and its shutdown reasons are not implemented (nor does it ask
// with ENDSESSION_CRITICAL when the user forces the end, as Windows does); none is checked here.
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

// While a holder lives: the session may not end unless the user forces it; an end called off syncs
// nothing; an end that comes syncs the records once, however many of the program's windows are told.
void expectSessionHeld(HWND window, const int& syncs)
{
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    EXPECT_NE(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CRITICAL | ENDSESSION_LOGOFF), FALSE);
    SendMessageW(window, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(syncs, 0);
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_CRITICAL);
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_CRITICAL);
    EXPECT_EQ(syncs, 1);
}

TEST(KeepAwakeOnWindows, TheSessionMayNotEndWhileTheHolderLives)
{
    QWindow window;
    window.create();
    const auto handle = reinterpret_cast<HWND>(window.winId());
    int syncs = 0;
    {
        const platform::KeepAwake hold(kReason, window.winId(), [&syncs] { ++syncs; });
        expectSessionHeld(handle, syncs);
    }
    // Without a job the program lets the session end.
    EXPECT_NE(SendMessageW(handle, WM_QUERYENDSESSION, 0, 0), FALSE);
    SendMessageW(handle, WM_ENDSESSION, FALSE, 0);  // the session goes on after all
}

// lumaro-update shows no window, and as a program of Qt's GUI it gets no console event at logoff or
// shutdown: the holder's own hidden top-level window answers, and goes with the holder.
TEST(KeepAwakeOnWindows, AProgramWithoutAWindowHoldsTheSessionOnAHiddenWindow)
{
    int syncs = 0;
    HWND hidden = nullptr;
    {
        const platform::KeepAwake hold(kReason, 0, [&syncs] { ++syncs; });
        hidden = FindWindowW(L"LumaroKeepAwakeSession", nullptr);
        ASSERT_NE(hidden, nullptr);
        EXPECT_EQ(GetAncestor(hidden, GA_PARENT), GetDesktopWindow());
        EXPECT_FALSE(IsWindowVisible(hidden));
        expectSessionHeld(hidden, syncs);
    }
    EXPECT_FALSE(IsWindow(hidden));
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
