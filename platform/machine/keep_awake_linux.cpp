// Linux: a "block" inhibitor lock of logind for sleep and shutdown. logind keeps the lock for as
// long as the file descriptor it hands out stays open, so the holder owns that descriptor only.
#include "platform/machine/keep_awake.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include <atomic>

namespace platform {
namespace {

// logind answers at once; a system bus that does not must not hold the window for long.
constexpr int kInhibitReplyTimeoutMs = 2000;

QDBusConnection connectToSystemBus(const QString& name)
{
    // Read at every hold, not once per process as the shared system-bus connection would: tests
    // point it at a private bus of their own.
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, name)
                             : QDBusConnection::connectToBus(address, name);
}

}  // namespace

class KeepAwake::Hold {
public:
    QDBusUnixFileDescriptor lock;  // closing it releases the inhibitor
    QString problem;
};

KeepAwake::KeepAwake(const QString& why, quintptr /*window*/) : hold_(std::make_unique<Hold>())
{
    static std::atomic<int> holdsMade{0};
    const QString name = QStringLiteral("lumaro-keep-awake-%1").arg(++holdsMade);
    {
        const QDBusConnection bus = connectToSystemBus(name);
        if (!bus.isConnected()) {
            hold_->problem = QStringLiteral("no system bus (%1)").arg(bus.lastError().message());
        } else {
            QDBusMessage inhibit = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
            inhibit << QStringLiteral("sleep:shutdown") << QCoreApplication::applicationName() << why
                    << QStringLiteral("block");
            const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(inhibit, QDBus::Block, kInhibitReplyTimeoutMs);
            if (!reply.isValid())
                hold_->problem = QStringLiteral("no inhibitor lock from logind (%1)").arg(reply.error().message());
            else if (!reply.value().isValid())
                hold_->problem = QStringLiteral("logind handed out no inhibitor lock");
            else
                hold_->lock = reply.value();
        }
    }
    // The lock outlives the connection: only closing its descriptor releases it.
    QDBusConnection::disconnectFromBus(name);
}

KeepAwake::~KeepAwake() = default;

QString KeepAwake::problem() const { return hold_->problem; }

}  // namespace platform
