// The application object a console program needs for HidWatcher's events: on Windows the device
// notifications come to a native window, so it takes a GUI application (no window is shown);
// elsewhere a core application does.
#pragma once

#include <QCoreApplication>

#include <memory>

namespace platform {

std::unique_ptr<QCoreApplication> makeEventApplication(int& argc, char** argv);

}  // namespace platform
