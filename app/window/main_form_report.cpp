// The support report's side of the window: its facts gathered from the window and the platform
// layer, the text put on the clipboard and saved in Record/.
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "program_version.h"
#include "app/window/screen_texts.h"
#include "app/report/support_report.h"

#include "jobs/file_sha256.h"
#include "platform/drives/drives.h"
#include "platform/hid/hid.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSysInfo>

namespace {

// Firmware and image data files are a few megabytes; anything much larger that lies in the folder
// is listed without its SHA-256, so that a report never keeps the window waiting.
constexpr qint64 kLargestHashedFile = 64 * 1024 * 1024;

std::string shownPath(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

ReportFile describeFile(const QString& path)
{
    ReportFile described{shownPath(path), std::nullopt, {}, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return described;
    described.size = static_cast<std::uint64_t>(file.size());
    if (file.size() > kLargestHashedFile) {
        described.notHashedBecause = "larger than 64 MB";
        return described;
    }
    file.close();
    const std::optional<std::string> sha256 = fileSha256(path.toStdString());
    if (!sha256) {
        described.notHashedBecause = "reading failed";
        return described;
    }
    described.sha256 = *sha256;
    return described;
}

// The path a path label of the engineering page holds; empty when it holds none.
QString pickedPath(const QLabel* label)
{
    QString text = label->text();
    while (!text.isEmpty() && text.back().unicode() <= ' ') text.chop(1);
    return text == kNoFileSelected ? QString() : text;
}

// "2026-12-09 08:15:00 UTC+01:00"
std::string localTimeText(const QDateTime& moment)
{
    const int offsetMinutes = moment.offsetFromUtc() / 60;
    const int absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return QStringLiteral("%1 UTC%2%3:%4")
        .arg(moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), offsetMinutes < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(absolute / 60, 2, 10, QLatin1Char('0'))
        .arg(absolute % 60, 2, 10, QLatin1Char('0'))
        .toStdString();
}

}  // namespace

void TMainForm::connectSupportReport()
{
    connect(CopyReportBtn, &QPushButton::clicked, this, &TMainForm::copySupportReport);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this);
    shortcut->setObjectName("CopyReportShortcut");
    connect(shortcut, &QShortcut::activated, this, &TMainForm::copySupportReport);
}

SupportFacts TMainForm::supportFacts(const QDateTime& now) const
{
    SupportFacts facts;
    facts.createdAt = localTimeText(now);
    facts.computerName = QSysInfo::machineHostName().toStdString();
    facts.programVersion = kProgramVersion;
    facts.programBuild = kProgramBuild;
    facts.programFolder = shownPath(appFolder);
    facts.qtVersion = qVersion();
    facts.osName = QSysInfo::prettyProductName().toStdString();
    facts.kernel = (QSysInfo::kernelType() + ' ' + QSysInfo::kernelVersion()).toStdString();
    facts.cpuArchitecture = QSysInfo::currentCpuArchitecture().toStdString();
    facts.buildArchitecture = QSysInfo::buildCpuArchitecture().toStdString();
    facts.models = DeviceModelTable;

    platform::OsError listError = platform::kOk;
    for (const platform::HidInterfaceInfo& interface : platform::listHidInterfaces(&listError))
        facts.hidInterfaces.push_back({interface.hardwareId, interface.path});
    if (listError != platform::kOk) facts.hidListError = platform::describe(listError);
    for (const platform::DriveDescription& drive : platform::describeDrives())
        facts.drives.push_back({drive.drive, drive.type});

    const QString firmwareFolder = appFolder + QStringLiteral("Firmware/");
    const QString firmware = pickedPath(HexPathShow);
    const QString imageData = pickedPath(BinPathShow);
    facts.firmwareFolder = shownPath(firmwareFolder);
    facts.pickedFirmware = firmware.isEmpty() ? std::string() : shownPath(QFileInfo(firmware).absoluteFilePath());
    facts.pickedImageData = imageData.isEmpty() ? std::string() : shownPath(QFileInfo(imageData).absoluteFilePath());
    QStringList files;
    for (const QFileInfo& entry : QDir(firmwareFolder).entryInfoList(QDir::Files, QDir::Name))
        files.append(entry.absoluteFilePath());
    // A file picked by hand may lie elsewhere.
    for (const QString& picked : {firmware, imageData}) {
        const QString absolute = QFileInfo(picked).absoluteFilePath();
        if (!picked.isEmpty() && !files.contains(absolute)) files.append(absolute);
    }
    for (const QString& file : files) facts.files.push_back(describeFile(file));

    QFile history(appFolder + QStringLiteral("Record/UpdateHistory.csv"));
    if (history.open(QIODevice::ReadOnly))
        facts.history = history.readAll().toStdString();
    else if (history.exists())
        facts.historyUnreadable = history.errorString().toStdString();

    facts.updateLog = FWUpdate_Memo->toPlainText().toStdString();
    facts.systemLog = System_Memo->toPlainText().toStdString();
    facts.homeFolder = QDir::homePath().toStdString();
    facts.userFolderName = QDir::home().dirName().toStdString();
    return facts;
}

void TMainForm::copySupportReport()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray text = QByteArray::fromStdString(supportReportText(supportFacts(now)));
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text));

    const QString folder = appFolder + QStringLiteral("Record/");
    QDir().mkpath(folder);
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // A second report within the same second gets a name of its own instead of replacing the first.
    QFile file;
    for (int sequence = 1; !file.isOpen() && sequence <= 99; ++sequence) {
        file.setFileName(folder + QStringLiteral("Report-") + stamp +
                         (sequence > 1 ? QStringLiteral("-%1").arg(sequence) : QString()) + QStringLiteral(".txt"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !file.exists()) break;
    }
    const bool created = file.isOpen();
    const bool saved = created && file.write(text) == text.size() && file.flush();
    const QString shownName = QDir::toNativeSeparators(file.fileName());
    const QString reason = file.errorString();
    file.close();
    if (saved) {
        showInformation(QStringLiteral("Copy Report"),
                        QStringLiteral("The report is on the clipboard and saved as %1.").arg(shownName));
        return;
    }
    // A report cut short is no report: it goes, and the user is told why.
    if (created) file.remove();
    showInformation(QStringLiteral("Copy Report"),
                    QStringLiteral("The report is on the clipboard, but it could not be saved as %1: %2").arg(shownName, reason));
}
