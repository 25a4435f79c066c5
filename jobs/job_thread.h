// What the device jobs' threads share: a name for debuggers, and a stop that the window uses when
// it goes, so that no job outlives it.
#pragma once

#include <QThread>

class JobThread : public QThread {
public:
    // Asks a running job to stop (interruption requested, jobBusy, the jobs' stop signal, cleared),
    // without waiting for it: the thread's finished signal tells when it has.
    void askToStop();

protected:
    explicit JobThread(const char* name) { setObjectName(QString::fromLatin1(name)); }

    // Asks a running job to stop (askToStop) and waits for the thread. Every subclass calls it first
    // in its destructor, while the members the job uses are still there.
    void stopAndWait();

    // Sleeps ms milliseconds; false, and at once, when the thread is asked to stop.
    bool waitUnlessInterrupted(int ms) const;
};
