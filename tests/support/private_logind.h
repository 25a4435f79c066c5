// A stand-in logind on a private D-Bus of the test's own: a dbus-daemon started for the test, with
// DBUS_SYSTEM_BUS_ADDRESS pointed at it while the stand-in lives. Its Manager's Inhibit hands out
// the write end of a pipe and keeps the read end, so that the release of a lock shows as the end
// of its pipe. As logind does, it refuses a lock for anything it does not know, and it can be told
// to refuse one thing (as a policy may). Linux only; needs a QCoreApplication.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QThread>

#include <memory>

namespace lumaro::test {

class FakeLogindManager;

class PrivateLogind {
public:
    // withLogind false: the bus runs, but nobody serves org.freedesktop.login1 on it.
    explicit PrivateLogind(bool withLogind = true);
    ~PrivateLogind();
    PrivateLogind(const PrivateLogind&) = delete;
    PrivateLogind& operator=(const PrivateLogind&) = delete;

    // False when dbus-daemon could not be started or the stand-in not registered.
    bool started() const { return started_; }
    // From now on, Inhibit calls whose what names this (e.g. "handle-lid-switch") are refused.
    void refuse(const QString& what);
    int inhibitCalls() const;  // the calls that handed out a lock
    QStringList lastInhibitArguments() const;  // what, who, why, mode of the last lock handed out
    int locksHeld() const;                      // locks handed out and not yet released
    // Handles events until locksHeld() is count; false when it was not within limitMs. A released
    // lock's last copy, in the reply that carried it, goes a moment after the holder's.
    bool waitForLocksHeld(int count, int limitMs = 5000) const;

private:
    QProcess daemon_;
    QThread serving_;  // the stand-in answers from here, so that a caller on the test's thread may block
    std::unique_ptr<FakeLogindManager> manager_;
    bool started_ = false;
};

}  // namespace lumaro::test
