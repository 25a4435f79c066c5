#include "platform/console/event_application.h"

#include <QGuiApplication>

namespace platform {

std::unique_ptr<QCoreApplication> makeEventApplication(int& argc, char** argv)
{
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace platform
