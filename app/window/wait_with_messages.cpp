#include "app/window/wait_with_messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

void WaitWithMessages(std::uint32_t ms)
{
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    } while (clock.elapsed() < static_cast<qint64>(ms));
}
