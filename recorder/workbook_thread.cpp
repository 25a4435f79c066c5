#include "recorder/workbook_thread.h"

#include "recorder/workbook/spreadsheet_notes.h"

#include "platform/process/wake_signal.h"

#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

struct WorkbookThread::Shared {
    struct Job {
        Calls calls;
        QObject* receiver;
        Done done;
    };
    std::mutex mutex;
    std::condition_variable changed;  // the thread has ended
    platform::WakeSignal wake;        // work is posted, or the owner ends or leaves: the thread looks
    std::deque<Job> jobs;
    bool ending = false;     // nothing more is posted: run what is queued, then atEnd
    bool ended = false;      // atEnd has run
    bool abandoned = false;  // the owner stopped waiting: report nothing more, start nothing more
    QObject* noteReceiver = nullptr;
    ShowNote showNote;

    void run(const Calls& atEnd)
    {
        setSpreadsheetNoteSink([this](const std::string& note) {
            const std::lock_guard lock(mutex);
            if (abandoned || !showNote) return;
            QMetaObject::invokeMethod(noteReceiver, [show = showNote, note] { show(note); }, Qt::QueuedConnection);
        });
        for (;;) {
            std::unique_lock lock(mutex);
            // The thread's COM apartment handles the messages sent to it while it waits.
            while (jobs.empty() && !ending && !abandoned) {
                lock.unlock();
                wake.wait();
                lock.lock();
            }
            if (abandoned) return;
            if (jobs.empty()) break;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            std::exception_ptr failure;
            try {
                job.calls();
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            // Under the lock: an owner that has gone cannot be posted to.
            if (!abandoned)
                QMetaObject::invokeMethod(job.receiver, [done = std::move(job.done), failure] { done(failure); },
                                          Qt::QueuedConnection);
        }
        atEnd();
        setSpreadsheetNoteSink({});
        const std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }
};

WorkbookThread::WorkbookThread(Calls atEnd, std::chrono::milliseconds exitWait)
    : shared_(std::make_shared<Shared>()), exitWait_(exitWait)
{
    std::thread([shared = shared_, atEnd = std::move(atEnd)] { shared->run(atEnd); }).detach();
}

WorkbookThread::~WorkbookThread()
{
    std::unique_lock lock(shared_->mutex);
    shared_->ending = true;
    shared_->wake.notify();
    if (!shared_->changed.wait_for(lock, exitWait_, [&] { return shared_->ended; })) {
        shared_->abandoned = true;
        shared_->wake.notify();
    }
}

void WorkbookThread::post(Calls calls, QObject* receiver, Done done)
{
    const std::lock_guard lock(shared_->mutex);
    shared_->jobs.push_back({std::move(calls), receiver, std::move(done)});
    shared_->wake.notify();
}

void WorkbookThread::showNotes(QObject* receiver, ShowNote show)
{
    const std::lock_guard lock(shared_->mutex);
    shared_->noteReceiver = receiver;
    shared_->showNote = std::move(show);
}
