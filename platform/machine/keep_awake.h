// Keeps the computer awake while a device job runs: for as long as a holder lives the system does
// not sleep, and a shutdown or the end of the session is held with a reason. One implementation per
// system: a logind inhibitor lock over the system D-Bus on Linux, for sleep, shutdown and the lid
// switch (DBUS_SYSTEM_BUS_ADDRESS, when set, names the bus), the thread's execution state and the
// window's shutdown reason on Windows.
#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

namespace platform {

class KeepAwake {
public:
    // why: what the system shows beside the held shutdown. window: the program's window (its
    // winId()), which Windows names as the one holding the shutdown; 0 for none. Create and destroy
    // the holder on one thread: on Windows the execution state belongs to the thread that set it.
    KeepAwake(const QString& why, quintptr window);
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
