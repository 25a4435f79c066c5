#include "update_run.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>

namespace lumaro::test {

using Clock = std::chrono::steady_clock;

std::string quick(const std::string& name, const std::string& keys)
{
    return name + ",disk-ms=20,erase-ms=20" + keys;
}

QString sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
}

int countEvents(const SimProcess& sim, const std::string& device, const std::string& event)
{
    int count = 0;
    for (const auto& record : sim.records()) count += record.device == device && record.event == event;
    return count;
}

UpdateRun::UpdateRun(const QStringList& arguments, const std::filesystem::path& folder, const QString& program)
    : json_(arguments.contains("--json"))
{
    process_.setWorkingDirectory(QString::fromStdString(folder.string()));
    process_.start(program, arguments);
    EXPECT_TRUE(process_.waitForStarted(5000));
}

UpdateRun::~UpdateRun()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::optional<QJsonObject> UpdateRun::nextObject(int limitMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    // Only the program's end or the limit ends the look, whatever a single wait answers.
    while (!process_.canReadLine()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return std::nullopt;
        if (!process_.waitForReadyRead(static_cast<int>(std::min<long long>(left, 200))) &&
            process_.state() == QProcess::NotRunning && !process_.canReadLine())
            return std::nullopt;
    }
    const QByteArray line = process_.readLine().trimmed();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    EXPECT_TRUE(document.isObject()) << line.toStdString();
    objects.push_back(document.object());
    return document.object();
}

std::optional<QJsonObject> UpdateRun::nextEvent(const QString& event, int limitMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return std::nullopt;
        const auto object = nextObject(static_cast<int>(left));
        if (!object) return std::nullopt;
        if (object->value("event").toString() == event) return object;
    }
}

int UpdateRun::exitCode(int limitMs)
{
    if (!process_.waitForFinished(limitMs)) return -1;
    while (json_ && process_.canReadLine()) nextObject(0);  // its last lines are read as the rest were
    output += process_.readAllStandardOutput().toStdString();
    errors += process_.readAllStandardError().toStdString();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

std::string UpdateRun::readErrors(int limitMs)
{
    process_.waitForReadyRead(limitMs);
    errors += process_.readAllStandardError().toStdString();
    return errors;
}

std::vector<QString> UpdateRun::results() const
{
    std::vector<QString> told;
    for (const QJsonObject& object : objects)
        if (object.value("event").toString() == "result") told.push_back(object.value("result").toString());
    return told;
}

#ifndef _WIN32
void UpdateRun::interrupt() const { ::kill(static_cast<pid_t>(process_.processId()), SIGINT); }
#endif

void UpdateRun::kill()
{
    process_.kill();
    process_.waitForFinished(5000);
}

}  // namespace lumaro::test
