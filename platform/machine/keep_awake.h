// Keeps the computer awake while a device job runs: for as long as a holder lives the system does
// not sleep, and a shutdown or the end of the session is held with a reason. One implementation per
// system: a logind inhibitor lock over the system D-Bus on Linux, for sleep, shutdown and the lid
// switch (DBUS_SYSTEM_BUS_ADDRESS, when set, names the bus), the thread's execution state and a
// top-level window's shutdown reason and answer to the session's end on Windows. A shutdown the
// user insists on (Windows' "Shut down anyway") goes ahead.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace platform {

class KeepAwake {
public:
    // why: what the system shows beside the held shutdown. window: the program's window (its
    // winId()), which Windows names as the one holding the shutdown; 0 for none (a console
    // program): the holder then makes a hidden top-level window of its own, since a program that
    // shows Qt's GUI gets no console logoff or shutdown event. atSessionEnd runs, on this thread,
    // when the session ends during the job after all: it puts on the disk what the next start
    // needs, within the few seconds the system waits. Create and destroy the holder on one thread
    // that runs an event loop: on Windows the execution state belongs to the thread that set it,
    // and the window's messages come to that thread.
    KeepAwake(const QString& why, quintptr window, std::function<void()> atSessionEnd = {});
    ~KeepAwake();
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    // Empty when the computer is held awake; otherwise why it is not, or not wholly. The job goes on
    // either way.
    QString problem() const;

private:
    class Hold;
    std::unique_ptr<Hold> hold_;
};

}  // namespace platform
