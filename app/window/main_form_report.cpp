// The support report's side of the window: its facts gathered from the window and the platform
// layer, the text put on the clipboard and saved in Record/.
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "program_version.h"
#include "app/window/screen_texts.h"
#include "app/report/support_report.h"
#include "app/window/report_files.h"
#include "jobs/update_signatures.h"

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
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

std::string shownPath(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

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

    const QString firmwareFolder = appFolder + QStringLiteral("Firmware/");
    const QString firmware = pickedPath(HexPathShow);
    const QString imageData = pickedPath(BinPathShow);
    facts.firmwareFolder = shownPath(firmwareFolder);
    facts.pickedFirmware = firmware.isEmpty() ? std::string() : shownPath(QFileInfo(firmware).absoluteFilePath());
    facts.pickedImageData = imageData.isEmpty() ? std::string() : shownPath(QFileInfo(imageData).absoluteFilePath());

    // Read only where its name holds a plain file: the folder may be one that every user writes into.
    facts.history = history_->wholeHistory(facts.historyUnreadable);

    facts.updateLog = FWUpdate_Memo->toPlainText().toStdString();
    facts.systemLog = System_Memo->toPlainText().toStdString();
    facts.homeFolder = QDir::homePath().toStdString();
    facts.userFolderName = QDir::home().dirName().toStdString();
    return facts;
}

// Every file of the firmware folder, and the picked ones (a file picked by hand may lie elsewhere).
TMainForm::ReportFileList TMainForm::reportFileList() const
{
    ReportFileList list;
    for (const QFileInfo& entry : QDir(appFolder + QStringLiteral("Firmware/")).entryInfoList(QDir::Files, QDir::Name))
        list.paths.push_back(entry.absoluteFilePath());
    for (const QString& picked : {pickedPath(HexPathShow), pickedPath(BinPathShow)}) {
        if (picked.isEmpty()) continue;
        const QString absolute = QFileInfo(picked).absoluteFilePath();
        list.picked.push_back(absolute);
        if (std::find(list.paths.begin(), list.paths.end(), absolute) == list.paths.end()) list.paths.push_back(absolute);
    }
    return list;
}

// The facts are taken at the press; the drives are described and the files hashed on a thread of
// their own (a drive may be slow to answer), and the report is made once they are. A press meanwhile
// is the same report: it is not made twice.
void TMainForm::copySupportReport()
{
    if (reportThread_ != nullptr) return;
    const QDateTime now = QDateTime::currentDateTime();
    auto facts = std::make_shared<SupportFacts>(supportFacts(now));
    reportStop_ = false;
    reportThread_ = QThread::create([facts, files = reportFileList(), stop = &reportStop_,
                                     keys = keysFolderOf(appFolder.toStdString())] {
        for (const platform::DriveDescription& drive : platform::describeDrives())
            facts->drives.push_back({drive.drive, drive.type});
        facts->files = describeReportFiles(files.paths, files.picked, ReportHashLimits{}, *stop, keys);
    });
    reportThread_->setParent(this);
    connect(reportThread_, &QThread::finished, this, [this, facts, now] {
        reportThread_->deleteLater();
        reportThread_ = nullptr;
        CopyReportBtn->setEnabled(true);
        saveSupportReport(*facts, now);
    });
    CopyReportBtn->setEnabled(false);
    reportThread_->start();
}

void TMainForm::saveSupportReport(const SupportFacts& facts, const QDateTime& now)
{
    const QByteArray text = QByteArray::fromStdString(supportReportText(facts));
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
