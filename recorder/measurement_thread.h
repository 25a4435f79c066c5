// Runs the recorder's measurements, their three exchanges with the controller, on one long-lived
// thread of their own, so that a slow or silent controller never holds the window. One thread for
// all of them, because Windows cancels the I/O a thread started when the thread ends: a read that
// a late reply left under way must outlive the measurement that started it. One measurement at a
// time; whoever else uses the controller link on the window's thread waits for it with
// waitUntilIdle() first, so that exchanges never overlap.
#pragma once

#include "link/controller_frame.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

struct Measurement {
    TemperatureReading temperatures;
    ChannelReading channels;
    std::int32_t fanSpeed = 0;
};

class MeasurementThread {
public:
    using Measure = std::function<Measurement()>;
    using Done = std::function<void(const Measurement&)>;

    MeasurementThread();
    MeasurementThread(const MeasurementThread&) = delete;
    MeasurementThread& operator=(const MeasurementThread&) = delete;
    // Waits for a measurement under way, then ends the thread.
    ~MeasurementThread();

    // Runs measure on the thread; done then runs on receiver's thread, from its event loop, unless
    // receiver is gone by then. receiver waits for the measurement before it goes. Called from one
    // thread only, and only while none runs.
    void start(Measure measure, QObject* receiver, Done done);

    // Returns once no measurement runs.
    void waitUntilIdle();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    Measure measure_;  // the measurement handed over, until the thread takes it
    QObject* receiver_ = nullptr;
    Done done_;
    bool busy_ = false;    // from start until done has been posted
    bool ending_ = false;  // the owner is going: the thread ends
    std::thread thread_;   // last: it starts once the members above exist
};
