// Ctrl+C at the console, delivered as a Qt signal on the thread that owns the watcher, from its
// event loop: the system's handler (a signal handler on Linux, a console control handler on
// Windows) only counts the press and wakes that loop. While a watcher exists, Ctrl+C no longer
// ends the process: the program decides what a press means.
#pragma once

#include <QObject>

#include <memory>

namespace platform {

class InterruptWatcher : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;  // the system's default handling comes back

    class Backend {
    public:
        virtual ~Backend() = default;
    };

signals:
    void interrupted();  // once per press

private:
    std::unique_ptr<Backend> backend_;
};

}  // namespace platform
