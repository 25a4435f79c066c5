// What lumaro-update tells its user: plain lines, with a progress bar on a terminal, or one JSON
// object per line for a program that reads them. Standard output carries the steps and results,
// standard error the problems. Used on the event loop's thread only. Once standard output fails (its
// reader went away), nothing more is written there; the problems still go to standard error.
#pragma once

#include "jobs/update_signatures.h"

#include <QJsonObject>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

struct UnitFacts {
    std::string model;
    std::string vidPid;
    std::string firmwarePath;
    std::string firmwareSha256;
    std::string imagePath;
    std::string imageSha256;
    std::uintmax_t imageRecords = 0;
    std::string port;       // the controller's USB port; empty when the system cannot tell
    bool finished = false;  // the finish of an update that an earlier run left in the bootloader
    std::optional<UpdateSignatures> signatures;  // as checked when the unit began; nothing for a finish
};

enum class UnitResult { Done, Failed, Interrupted };

struct UnitEnd {
    UnitResult result = UnitResult::Done;
    double seconds = 0;
    std::string error;  // empty when done
};

// The JSON object of a unit's result line, with the time it is written.
QJsonObject resultObject(const UnitFacts& unit, const UnitEnd& end, const QString& time);

class ConsoleReport {
public:
    ConsoleReport(bool json, bool terminal, std::FILE* out, std::FILE* err);

    void waiting(const std::optional<int>& seconds);
    void unitStarted(const UnitFacts& unit);
    void step(const std::string& line);
    void progress(int width);  // the job's progress fill, 0 to 401
    void unitEnded(const UnitFacts& unit, const UnitEnd& end);
    void unplugPrompt();
    void error(const std::string& text);

private:
    void writeObject(QJsonObject object);
    void writeLine(const std::string& line);
    void clearBar();
    bool outputLost();

    bool json_;
    bool terminal_;
    std::FILE* out_;
    std::FILE* err_;
    bool outputLost_ = false;
    bool barShown_ = false;
    std::uintmax_t records_ = 0;
    std::chrono::steady_clock::time_point sendingStart_{};
    bool sending_ = false;
};
