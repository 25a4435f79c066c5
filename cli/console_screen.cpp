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

std::shared_ptr<DiskAnswer> ConsoleScreen::askAboutUpdateDisk(const std::string& drive, const std::string& /*question*/)
{
    log("lumaro-update does not guess which drive is the update disk: if " + drive +
        " is, run lumaro-update --finish-on " + drive + " to finish the update there");
    return nullptr;
}

void ConsoleScreen::enteredStep(JobStep step)
{
    post([entered = events_.step, step] { entered(step); });
}

void ConsoleScreen::showFailed()
{
    post([ended = events_.ended] { ended(false); });
}

void ConsoleScreen::showDone()
{
    post([ended = events_.ended] { ended(true); });
}
