#include "platform/console/event_application.h"

namespace platform {

std::unique_ptr<QCoreApplication> makeEventApplication(int& argc, char** argv)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace platform
