#include "measurement_thread.h"

#include <QMetaObject>

void MeasurementThread::start(Measure measure, QObject* receiver, Done done)
{
    waitUntilIdle();
    thread_ = std::thread([measure = std::move(measure), receiver, done = std::move(done)] {
        const Measurement result = measure();
        // Queued calls to a receiver that goes are dropped with it.
        QMetaObject::invokeMethod(receiver, [done, result] { done(result); }, Qt::QueuedConnection);
    });
}

void MeasurementThread::waitUntilIdle()
{
    if (thread_.joinable()) thread_.join();
}
