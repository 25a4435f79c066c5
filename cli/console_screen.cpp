#include "console_screen.h"

#include <QMetaObject>

void ConsoleScreen::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(&context_, std::move(call), Qt::QueuedConnection);
}

void ConsoleScreen::setProgress(int width)
{
    post([progress = events_.progress, width] { progress(width); });
}

void ConsoleScreen::log(const std::string& line)
{
    post([log = events_.log, line] { log(line); });
}

void ConsoleScreen::showFailed()
{
    post([ended = events_.ended] { ended(false); });
}

void ConsoleScreen::showDone()
{
    post([ended = events_.ended] { ended(true); });
}
