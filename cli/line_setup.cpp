#include "line_setup.h"

#include "datafiles/file_names.h"

#include "jobs/file_sha256.h"
#include "jobs/history_folder.h"
#include "jobs/image_records.h"
#include "jobs/update_history.h"
#include "jobs/update_signatures.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <filesystem>

namespace {

const QString kDevInfoName = QStringLiteral("DevInfo.DAT");

std::string pathText(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

// Files refused for their signatures leave a row where the history is kept, as a refused update of
// the window does: someone may have tried to put changed firmware on the line's controllers.
void recordRefusedFiles(const LineSetup& setup, const std::string& appFolder, const std::string& error,
                        const std::string& signatures)
{
    const std::string folder = historyFolderOf(appFolder);
    std::error_code ignored;
    if (!std::filesystem::is_directory(platform::utf8Path(folder), ignored)) return;
    HistoryEntry entry;
    entry.started = entry.ended = historyTimeNow();
    entry.job = "update";
    entry.firmwarePath = setup.firmwarePath;
    entry.firmwareSha256 = fileSha256(setup.firmwarePath).value_or("");
    entry.imagePath = setup.imagePath;
    entry.imageSha256 = fileSha256(setup.imagePath).value_or("");
    entry.result = "failed";
    entry.error = error;
    entry.programVersion = LUMARO_PROGRAM_VERSION;
    entry.computerName = QSysInfo::machineHostName().toStdString();
    entry.signatures = signatures;
    UpdateHistory(folder).append(entry);
}

}  // namespace

std::variant<LineSetup, std::string> loadLineSetup(const CommandOptions& options, const QString& appFolder)
{
    LineSetup setup;
    QFile devInfo(kDevInfoName);
    if (!devInfo.exists()) devInfo.setFileName(appFolder + kDevInfoName);
    if (!devInfo.open(QIODevice::ReadOnly))
        return "Error: DevInfo.DAT, the table of known controllers, is neither in the current folder nor in " +
               pathText(appFolder) + ": start lumaro-update where it is, or install the program again.";
    DevInfoTable table = parseDevInfo(devInfo.readAll().toStdString());
    if (!table.error.empty())
        return "Error: " + pathText(QFileInfo(devInfo).absoluteFilePath()) + " has a bad row (" +
               QString::fromLatin1(table.error).toStdString() + "): correct it or install the program again.";
    if (table.models.empty())
        return "Error: " + pathText(QFileInfo(devInfo).absoluteFilePath()) +
               " names no controller model: install the program again.";
    setup.models = std::move(table.models);

    const QString firmwareFolder = appFolder + QStringLiteral("Firmware/");
    if (options.firmwarePath.empty() || options.imagePath.empty()) {
        std::vector<std::string> names;
        for (const QString& name : QDir(firmwareFolder).entryList(QDir::Files, QDir::Unsorted))
            names.push_back(name.toStdString());
        const FirmwareFolderPick pick = pickFirmwareFiles(names);
        setup.firmwarePath = options.firmwarePath.empty() && !pick.firmware.empty()
                                 ? (firmwareFolder + QString::fromStdString(pick.firmware)).toStdString()
                                 : options.firmwarePath;
        setup.imagePath = options.imagePath.empty() && !pick.imageData.empty()
                              ? (firmwareFolder + QString::fromStdString(pick.imageData)).toStdString()
                              : options.imagePath;
    } else {
        setup.firmwarePath = options.firmwarePath;
        setup.imagePath = options.imagePath;
    }
    if (setup.firmwarePath.empty())
        return "Error: no firmware file (a name with _FW_) in " + pathText(firmwareFolder) +
               ": put it there or name it with --firmware FILE.";
    if (setup.imagePath.empty())
        return "Error: no image data file (a name with _IMG_) in " + pathText(firmwareFolder) +
               ": put it there or name it with --image FILE.";
    if (const auto problem = firmwareFileProblem(setup.firmwarePath))
        return "Error: firmware file: " + *problem + ": name a readable firmware file with --firmware FILE.";
    if (const auto problem = imageDataFileProblem(setup.imagePath))
        return "Error: image data file: " + *problem + ": name a good image data file with --image FILE.";
    const UpdateSignatures signatures =
        checkUpdateSignatures(setup.firmwarePath, setup.imagePath, keysFolderOf(appFolder.toStdString()));
    if (const auto refused = refusedSignatureLine(signatures)) {
        recordRefusedFiles(setup, appFolder.toStdString(), *refused, signaturesSummary(signatures));
        return "Error: " + refused->substr(std::string_view("Error -> ").size()) +
               ": nothing was sent to a controller; use the vendor's signed files.";
    }
    return setup;
}

