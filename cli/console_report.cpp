#include "console_report.h"

#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFullWidth = 401;  // the job's full progress fill
// The job's fill while records go out: width 40 + 4k once (records / 80) * k have been sent.
constexpr int kSendingFirstWidth = 40;
constexpr int kSendingLastWidth = 360;
constexpr int kBarCells = 30;

QString now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

// "unsigned", or the trusted key's id and the trusted comment, or why the file was refused.
QJsonValue signatureValue(const SignatureCheck& check)
{
    switch (check.verdict) {
    case SignatureCheck::Verdict::Signed:
        return QJsonObject{{"keyId", QString::fromStdString(check.keyId)},
                           {"trustedComment", QString::fromStdString(check.trustedComment)}};
    case SignatureCheck::Verdict::Unsigned: return QStringLiteral("unsigned");
    case SignatureCheck::Verdict::Refused: break;
    }
    return QJsonObject{{"refused", QString::fromStdString(check.problem)}};
}

QJsonObject fileObject(const std::string& path, const std::string& sha256, const std::optional<SignatureCheck>& signature)
{
    QJsonObject object{{"path", QString::fromStdString(path)}, {"sha256", QString::fromLatin1(sha256)}};
    if (signature) object.insert("signature", signatureValue(*signature));
    return object;
}

QJsonObject unitObject(const UnitFacts& unit)
{
    const auto& signatures = unit.signatures;
    return {{"model", QString::fromLatin1(unit.model)},
            {"vidPid", QString::fromLatin1(unit.vidPid)},
            {"firmware", fileObject(unit.firmwarePath, unit.firmwareSha256,
                                    signatures ? std::optional(signatures->firmware) : std::nullopt)},
            {"image", fileObject(unit.imagePath, unit.imageSha256,
                                 signatures ? std::optional(signatures->image) : std::nullopt)},
            {"port", QString::fromStdString(unit.port)},
            {"finished", unit.finished}};
}

const char* resultName(UnitResult result)
{
    switch (result) {
    case UnitResult::Done: return "done";
    case UnitResult::Failed: return "failed";
    case UnitResult::Interrupted: return "interrupted";
    }
    return "failed";
}

}  // namespace

QJsonObject resultObject(const UnitFacts& unit, const UnitEnd& end, const QString& time)
{
    QJsonObject object = unitObject(unit);
    object.insert("event", "result");
    object.insert("time", time);
    object.insert("seconds", std::round(end.seconds * 1000) / 1000);
    object.insert("result", resultName(end.result));
    object.insert("error", QString::fromStdString(end.error));
    return object;
}

ConsoleReport::ConsoleReport(bool json, bool terminal, std::FILE* out, std::FILE* err)
    : json_(json), terminal_(terminal && !json), out_(out), err_(err) {}

// A failed write stays failed (a pipe's reader does not come back): the work goes on unreported
// there, and standard error says so once.
bool ConsoleReport::outputLost()
{
    if (!outputLost_ && std::ferror(out_) != 0) {
        outputLost_ = true;
        std::fputs("Standard output was closed: lumaro-update goes on without writing to it.\n", err_);
        std::fflush(err_);
    }
    return outputLost_;
}

void ConsoleReport::writeObject(QJsonObject object)
{
    if (outputLost()) return;
    if (!object.contains("time")) object.insert("time", now());
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleReport::writeLine(const std::string& line)
{
    if (outputLost()) return;
    clearBar();
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

// The bar is redrawn in place; a line written after it takes the whole line.
void ConsoleReport::clearBar()
{
    if (!barShown_ || outputLost()) return;
    std::fprintf(out_, "\r%*s\r", kBarCells + 40, "");
    barShown_ = false;
}

void ConsoleReport::waiting(const std::optional<int>& seconds)
{
    if (json_) {
        QJsonObject object{{"event", "waiting"}};
        if (seconds) object.insert("seconds", *seconds);
        writeObject(object);
        return;
    }
    writeLine(seconds ? "Waiting up to " + std::to_string(*seconds) + " s for a controller to be plugged in ..."
                      : std::string("Waiting for a controller to be plugged in ..."));
}

void ConsoleReport::unitStarted(const UnitFacts& unit)
{
    records_ = unit.imageRecords;
    sending_ = false;
    if (json_) {
        QJsonObject object = unitObject(unit);
        object.insert("event", "start");
        writeObject(object);
        return;
    }
    // Closing a laptop's lid can put it to sleep mid-update whatever the program holds (on Windows).
    writeLine((unit.finished ? "Finishing the interrupted update of " : "Updating ") + unit.model + " (" + unit.vidPid +
              ")" + (unit.port.empty() ? std::string() : " on USB port " + unit.port) +
              "; keep a laptop's lid open until it ends");
    writeLine("  firmware   " + unit.firmwarePath + "  SHA-256 " + unit.firmwareSha256);
    writeLine("  image data " + unit.imagePath + "  SHA-256 " + unit.imageSha256);
    if (unit.signatures) writeLine("  signatures " + signaturesSummary(*unit.signatures));
}

void ConsoleReport::step(const std::string& line)
{
    if (json_) {
        writeObject({{"event", "step"}, {"text", QString::fromStdString(line)}});
        return;
    }
    writeLine(line);
}

void ConsoleReport::progress(int width)
{
    if (!terminal_ || outputLost()) return;
    const auto nowTime = std::chrono::steady_clock::now();
    if (width >= kSendingFirstWidth && !sending_) {
        sending_ = true;
        sendingStart_ = nowTime;
    }
    std::string rate;
    if (sending_ && width > kSendingFirstWidth && width <= kSendingLastWidth) {
        const double sent = static_cast<double>(records_) * (width - kSendingFirstWidth) /
                            (kSendingLastWidth - kSendingFirstWidth);
        const double seconds = std::chrono::duration<double>(nowTime - sendingStart_).count();
        if (seconds > 0) rate = "  " + std::to_string(std::lround(sent / seconds)) + " records/s";
    }
    const int percent = std::clamp(width * 100 / kFullWidth, 0, 100);
    const int filled = percent * kBarCells / 100;
    std::fprintf(out_, "\r[%s%s] %3d %%%s   ", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kBarCells - filled), '.').c_str(), percent, rate.c_str());
    std::fflush(out_);
    barShown_ = true;
}

void ConsoleReport::unitEnded(const UnitFacts& unit, const UnitEnd& end)
{
    if (json_) {
        writeObject(resultObject(unit, end, now()));
        return;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", end.seconds);
    switch (end.result) {
    case UnitResult::Done: writeLine("Done: " + unit.model + " updated in " + seconds + " s"); break;
    case UnitResult::Failed: writeLine("Failed: " + unit.model + " after " + seconds + " s: " + end.error); break;
    case UnitResult::Interrupted: writeLine("Stopped: " + unit.model + " after " + seconds + " s: " + end.error); break;
    }
}

void ConsoleReport::unplugPrompt()
{
    if (json_) {
        writeObject({{"event", "unplug"}});
        return;
    }
    writeLine("Unplug the controller and plug in the next one");
}

void ConsoleReport::error(const std::string& text)
{
    clearBar();
    if (!outputLost()) std::fflush(out_);
    std::fputs(text.c_str(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}
