#include "recorder/measurement_thread.h"

#include <QMetaObject>

#include <utility>

MeasurementThread::MeasurementThread() : thread_([this] { run(); }) {}

MeasurementThread::~MeasurementThread()
{
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MeasurementThread::start(Measure measure, QObject* receiver, Done done)
{
    waitUntilIdle();
    {
        const std::lock_guard lock(mutex_);
        measure_ = std::move(measure);
        receiver_ = receiver;
        done_ = std::move(done);
        busy_ = true;
    }
    changed_.notify_all();
}

void MeasurementThread::waitUntilIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void MeasurementThread::run()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return measure_ != nullptr || ending_; });
        if (ending_) return;
        const Measure measure = std::exchange(measure_, nullptr);
        QObject* const receiver = receiver_;
        Done done = std::exchange(done_, nullptr);
        lock.unlock();
        const Measurement result = measure();
        // Queued calls to a receiver that goes are dropped with it.
        QMetaObject::invokeMethod(receiver, [done = std::move(done), result] { done(result); }, Qt::QueuedConnection);
        lock.lock();
        busy_ = false;
        lock.unlock();
        changed_.notify_all();
    }
}
