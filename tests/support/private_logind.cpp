#include "private_logind.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QMutexLocker>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

namespace lumaro::test {

namespace {
const QString kConnectionName = QStringLiteral("private-logind");
// What logind knows how to hold; it refuses the whole call for any other word.
const QStringList kKnownWhat{"shutdown", "sleep", "idle", "handle-power-key", "handle-suspend-key",
                             "handle-hibernate-key", "handle-lid-switch", "handle-reboot-key"};
}  // namespace

class FakeLogindManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogindManager() override
    {
        for (const int end : readEnds_) ::close(end);
    }

    int calls() const
    {
        QMutexLocker lock(&mutex_);
        return static_cast<int>(readEnds_.size());
    }

    QStringList lastArguments() const
    {
        QMutexLocker lock(&mutex_);
        return lastArguments_;
    }

    void refuse(const QString& what)
    {
        QMutexLocker lock(&mutex_);
        refused_ = what;
    }

    int held() const
    {
        QMutexLocker lock(&mutex_);
        int open = 0;
        for (const int end : readEnds_) {
            pollfd watched{end, POLLIN, 0};
            // Nobody writes to the pipe: it turns readable only when its last write end closes.
            if (::poll(&watched, 1, 0) == 0) ++open;
        }
        return open;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        for (const QString& part : what.split(':')) {
            if (!kKnownWhat.contains(part)) {
                sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("Unknown lock kind in %1").arg(what));
                return {};
            }
            QMutexLocker lock(&mutex_);
            if (part == refused_) {
                sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Access denied to %1").arg(part));
                return {};
            }
        }
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return {};
        const QDBusUnixFileDescriptor lock(ends[1]);  // a duplicate; the reply carries it away
        ::close(ends[1]);
        QMutexLocker guard(&mutex_);
        readEnds_.push_back(ends[0]);
        lastArguments_ = {what, who, why, mode};
        return lock;
    }

private:
    mutable QMutex mutex_;
    std::vector<int> readEnds_;
    QStringList lastArguments_;
    QString refused_;
};

PrivateLogind::PrivateLogind(bool withLogind)
{
    daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (!daemon_.waitForStarted(5000)) return;
    QByteArray address;
    while (!address.contains('\n') && daemon_.waitForReadyRead(5000)) address += daemon_.readAllStandardOutput();
    address = address.trimmed();
    if (address.isEmpty()) return;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    if (!withLogind) {
        started_ = true;
        return;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), kConnectionName);
    manager_ = std::make_unique<FakeLogindManager>();
    serving_.start();
    manager_->moveToThread(&serving_);
    started_ = bus.registerObject(QStringLiteral("/org/freedesktop/login1"), manager_.get(), QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.login1"));
}

PrivateLogind::~PrivateLogind()
{
    // Qt closes a connection later, on its D-Bus thread, and there reaches for every object still
    // registered on it: by then the stand-in is gone. Unregistered now, it is left alone.
    if (manager_) {
        QDBusConnection bus(kConnectionName);
        bus.unregisterService(QStringLiteral("org.freedesktop.login1"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
    }
    QDBusConnection::disconnectFromBus(kConnectionName);
    serving_.quit();
    serving_.wait();
    manager_.reset();
    qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000)) daemon_.kill();
    daemon_.waitForFinished(5000);
}

void PrivateLogind::refuse(const QString& what)
{
    if (manager_) manager_->refuse(what);
}

int PrivateLogind::inhibitCalls() const { return manager_ ? manager_->calls() : 0; }

QStringList PrivateLogind::lastInhibitArguments() const { return manager_ ? manager_->lastArguments() : QStringList{}; }

int PrivateLogind::locksHeld() const { return manager_ ? manager_->held() : 0; }

bool PrivateLogind::waitForLocksHeld(int count, int limitMs) const
{
    QElapsedTimer clock;
    clock.start();
    while (locksHeld() != count) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace lumaro::test

#include "private_logind.moc"
