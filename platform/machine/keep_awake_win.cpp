// Windows: the execution state of the calling thread keeps the system from sleeping (not from the
// sleep a closed lid brings: that is the power plan's). The session's end is held on a top-level
// window: its shutdown reason is what Windows lists beside the program, and the query to end the
// session is answered "not yet". A program without a window of the windows platform (lumaro-update)
// gets a hidden one: Windows ends a program without a visible window that refuses the query, unless
// it has given a reason. A query the user forced (ENDSESSION_CRITICAL: "Shut down anyway") is let
// through, and when the session ends after all the records go onto the disk first.
#include "platform/machine/keep_awake.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace platform {
namespace {

constexpr wchar_t kSessionWindowClass[] = L"LumaroKeepAwakeSession";

}  // namespace

class KeepAwake::Hold final : public QAbstractNativeEventFilter {
public:
    explicit Hold(std::function<void()> atSessionEnd) : atSessionEnd_(std::move(atSessionEnd)) {}

    // What the holding window answers to a message of the session's end; nothing for others, and
    // for an end that was called off.
    std::optional<LRESULT> answer(UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_QUERYENDSESSION) return (lParam & ENDSESSION_CRITICAL) != 0 ? TRUE : FALSE;
        if (message != WM_ENDSESSION || wParam == FALSE) return std::nullopt;
        // Each top-level window of the program is told; the records go onto the disk once.
        if (!sessionEnded_ && atSessionEnd_) atSessionEnd_();
        sessionEnded_ = true;
        return 0;  // the system ends the program; Qt's own handling would start closing it mid-job
    }

    // The program's own windows, for the window front end.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override
    {
        if (eventType != "windows_generic_MSG") return false;
        const auto* msg = static_cast<const MSG*>(message);
        const std::optional<LRESULT> answered = answer(msg->message, msg->wParam, msg->lParam);
        if (answered) *result = *answered;
        return answered.has_value();
    }

    // The hidden window's, for a program without a window of its own.
    static LRESULT CALLBACK sessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (auto* hold = reinterpret_cast<Hold*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            if (const std::optional<LRESULT> answered = hold->answer(message, wParam, lParam)) return *answered;
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND makeSessionWindow()
    {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        static const ATOM registered = [instance] {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = sessionWindowProc;
            windowClass.hInstance = instance;
            windowClass.lpszClassName = kSessionWindowClass;
            return RegisterClassExW(&windowClass);
        }();
        if (registered == 0) return nullptr;
        // Top-level (not message-only: those are not asked about the session's end), never shown;
        // its title is the name Windows lists.
        const std::wstring title = QCoreApplication::applicationName().toStdWString();
        ownWindow = CreateWindowExW(0, kSessionWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
        if (ownWindow != nullptr) SetWindowLongPtrW(ownWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return ownWindow;
    }

    HWND ownWindow = nullptr;     // the hidden window, when the program has none of its own
    HWND reasonWindow = nullptr;  // the window that holds the shutdown reason
    QString problem;

private:
    std::function<void()> atSessionEnd_;
    bool sessionEnded_ = false;
};

KeepAwake::KeepAwake(const QString& why, quintptr window, std::function<void()> atSessionEnd)
    : hold_(std::make_unique<Hold>(std::move(atSessionEnd)))
{
    // NULL means failure; a previous state of none, returned as NULL too, leaves the error unset.
    SetLastError(ERROR_SUCCESS);
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0 && GetLastError() != ERROR_SUCCESS)
        hold_->problem = QStringLiteral("the system refused to stay awake (error %1)").arg(GetLastError());
    // Only the windows platform's ids are window handles; the offscreen platform's are its own.
    HWND holding = nullptr;
    if (window != 0 && QGuiApplication::platformName() == QLatin1String("windows")) {
        holding = reinterpret_cast<HWND>(window);
        if (QCoreApplication* application = QCoreApplication::instance())
            application->installNativeEventFilter(hold_.get());
    } else {
        holding = hold_->makeSessionWindow();
    }
    const std::wstring reason = why.toStdWString();
    if (holding != nullptr && ShutdownBlockReasonCreate(holding, reason.c_str())) hold_->reasonWindow = holding;
}

KeepAwake::~KeepAwake()
{
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeNativeEventFilter(hold_.get());
    if (hold_->reasonWindow != nullptr) ShutdownBlockReasonDestroy(hold_->reasonWindow);
    if (hold_->ownWindow != nullptr) DestroyWindow(hold_->ownWindow);
    SetThreadExecutionState(ES_CONTINUOUS);
}

QString KeepAwake::problem() const { return hold_->problem; }

}  // namespace platform
