// lumaro-update run as a line controller runs it, for the tests: the program in a folder of its
// own, its standard output read line by line as JSON, its exit code, Ctrl+C; and what the tests
// ask of the simulator beside it.
#pragma once

#include "sim_process.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lumaro::test {

inline const QString kLumaroUpdate = QStringLiteral(LUMARO_UPDATE_PATH);
inline const QString kDistFolder = QStringLiteral(LUMARO_DIST_DIR) + '/';
inline const QString kVidPid = QStringLiteral("VID_1FC9&PID_0003");
inline constexpr int kUnitLimitMs = 30000;  // one update with the job's real waits takes about 9 s

// A controller with short waits of its own; keys: more ",key=value" settings.
std::string quick(const std::string& name, const std::string& keys = {});
QString sha256Of(const QString& path);
int countEvents(const SimProcess& sim, const std::string& device, const std::string& event);

class UpdateRun {
public:
    // program: the lumaro-update to run, by default the build's own.
    UpdateRun(const QStringList& arguments, const std::filesystem::path& folder, const QString& program = kLumaroUpdate);
    ~UpdateRun();

    // The next JSON line of the program, or nothing when it ends or limitMs passes first.
    std::optional<QJsonObject> nextObject(int limitMs);
    // The next JSON line whose "event" is event.
    std::optional<QJsonObject> nextEvent(const QString& event, int limitMs);
    // The exit code, or -1 when the program has not ended within limitMs or a signal ended it.
    int exitCode(int limitMs);
    std::string readErrors(int limitMs);

    // The "result" of every result line read so far (exitCode reads all that are left).
    std::vector<QString> results() const;

#ifndef _WIN32
    void interrupt() const;  // Ctrl+C
#endif
    void kill();             // as the system's task manager or a power cut ends it
    bool running() const { return process_.state() == QProcess::Running; }
    qint64 processId() const { return process_.processId(); }

    std::vector<QJsonObject> objects;
    std::string output;
    std::string errors;

private:
    bool json_;
    QProcess process_;
};

}  // namespace lumaro::test
