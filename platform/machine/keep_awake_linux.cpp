// Linux: a "block" inhibitor lock of logind for sleep, shutdown and the lid switch (closing a
// laptop's lid must not suspend it mid-update). logind keeps the lock for as long as the file
// descriptor it hands out stays open, so the holder owns that descriptor only.
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

// Where logind refuses the lid switch (an older logind, a policy that keeps it), sleep and shutdown
// are held without it.
const QString kWhat = QStringLiteral("sleep:shutdown:handle-lid-switch");
const QString kWhatWithoutLidSwitch = QStringLiteral("sleep:shutdown");

QDBusReply<QDBusUnixFileDescriptor> inhibit(const QDBusConnection& bus, const QString& what, const QString& why)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << what << QCoreApplication::applicationName() << why << QStringLiteral("block");
    return bus.call(call, QDBus::Block, kInhibitReplyTimeoutMs);
}

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

// logind holds the shutdown until the lock goes, so the session does not end during the job.
KeepAwake::KeepAwake(const QString& why, quintptr /*window*/, std::function<void()> /*atSessionEnd*/)
    : hold_(std::make_unique<Hold>())
{
    static std::atomic<int> holdsMade{0};
    const QString name = QStringLiteral("lumaro-keep-awake-%1").arg(++holdsMade);
    {
        const QDBusConnection bus = connectToSystemBus(name);
        if (!bus.isConnected()) {
            hold_->problem = QStringLiteral("no system bus (%1)").arg(bus.lastError().message());
        } else {
            QDBusReply<QDBusUnixFileDescriptor> reply = inhibit(bus, kWhat, why);
            QString lidSwitchRefused;
            // A logind that does not answer in time is not asked twice.
            if (!reply.isValid() && reply.error().type() != QDBusError::NoReply) {
                lidSwitchRefused = reply.error().message();
                reply = inhibit(bus, kWhatWithoutLidSwitch, why);
            }
            if (!reply.isValid())
                hold_->problem = QStringLiteral("no inhibitor lock from logind (%1)").arg(reply.error().message());
            else if (!reply.value().isValid())
                hold_->problem = QStringLiteral("logind handed out no inhibitor lock");
            else
                hold_->lock = reply.value();
            if (hold_->problem.isEmpty() && !lidSwitchRefused.isEmpty())
                hold_->problem = QStringLiteral("logind holds sleep and shutdown but not the lid switch, so "
                                                "closing the lid may suspend it (%1)")
                                     .arg(lidSwitchRefused);
        }
    }
    // The lock outlives the connection: only closing its descriptor releases it.
    QDBusConnection::disconnectFromBus(name);
}

KeepAwake::~KeepAwake() = default;

QString KeepAwake::problem() const { return hold_->problem; }

}  // namespace platform
