// Runs the recorder's measurement, its three exchanges with the controller, on a thread of its own,
// so that a slow or silent controller never holds the window. One measurement at a time; whoever
// else uses the controller link on the window's thread waits for it with waitUntilIdle() first, so
// that exchanges never overlap.
#pragma once

#include "link/controller_frame.h"

#include <QObject>

#include <cstdint>
#include <functional>
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

    MeasurementThread() = default;
    MeasurementThread(const MeasurementThread&) = delete;
    MeasurementThread& operator=(const MeasurementThread&) = delete;
    ~MeasurementThread() { waitUntilIdle(); }

    // Runs measure on the thread; done then runs on receiver's thread, from its event loop, unless
    // receiver is gone by then. receiver waits for the thread before it goes. Called from one thread
    // only, and only while none runs.
    void start(Measure measure, QObject* receiver, Done done);

    // Returns once no measurement runs.
    void waitUntilIdle();

private:
    std::thread thread_;
};
