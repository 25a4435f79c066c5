// Windows: the execution state of the calling thread keeps the system from sleeping; the window's
// shutdown reason tells the user why the shutdown waits; and a query to end the session is
// answered that it may not end yet.
#include "platform/machine/keep_awake.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <windows.h>

#include <string>

namespace platform {

class KeepAwake::Hold final : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override
    {
        if (eventType != "windows_generic_MSG" || static_cast<const MSG*>(message)->message != WM_QUERYENDSESSION)
            return false;
        *result = FALSE;  // the session may not end yet; Qt's own handling would let it
        return true;
    }

    HWND reasonWindow = nullptr;  // the window that holds the shutdown reason
    QString problem;
};

KeepAwake::KeepAwake(const QString& why, quintptr window) : hold_(std::make_unique<Hold>())
{
    // NULL means failure; a previous state of none, returned as NULL too, leaves the error unset.
    SetLastError(ERROR_SUCCESS);
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0 && GetLastError() != ERROR_SUCCESS)
        hold_->problem = QStringLiteral("the system refused to stay awake (error %1)").arg(GetLastError());
    // Only the windows platform's ids are window handles; the offscreen platform's are its own.
    if (window != 0 && QGuiApplication::platformName() == QLatin1String("windows")) {
        const auto handle = reinterpret_cast<HWND>(window);
        const std::wstring reason = why.toStdWString();
        if (ShutdownBlockReasonCreate(handle, reason.c_str())) hold_->reasonWindow = handle;
    }
    if (QCoreApplication* application = QCoreApplication::instance()) application->installNativeEventFilter(hold_.get());
}

KeepAwake::~KeepAwake()
{
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeNativeEventFilter(hold_.get());
    if (hold_->reasonWindow != nullptr) ShutdownBlockReasonDestroy(hold_->reasonWindow);
    SetThreadExecutionState(ES_CONTINUOUS);
}

QString KeepAwake::problem() const { return hold_->problem; }

}  // namespace platform
