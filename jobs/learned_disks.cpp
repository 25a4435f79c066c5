#include "learned_disks.h"

#include "platform/core/usb_port.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <map>

namespace {

// One line a model: its vidPid, a tab, the disk's kind.
QString storePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Lumaro/update-disks.txt");
}

std::map<std::string, std::string> readStore(const QString& path) {
    std::map<std::string, std::string> learned;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return learned;
    while (!file.atEnd()) {
        const std::string line = file.readLine(4096).trimmed().toStdString();
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0 && tab + 1 < line.size()) learned[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return learned;
}

}  // namespace

std::string learnedUpdateDiskModel(const std::string& vidPid) {
    const auto learned = readStore(storePath());
    const auto found = learned.find(vidPid);
    return found == learned.end() ? std::string() : found->second;
}

void learnUpdateDiskModel(const std::string& vidPid, const std::string& diskIdentity) {
    const std::string kind = platform::usbModelIdentity(diskIdentity);
    const QString path = storePath();
    if (vidPid.empty() || kind.empty() || path.isEmpty() || vidPid.find_first_of("\t\r\n") != std::string::npos ||
        kind.find_first_of("\t\r\n") != std::string::npos)
        return;
    auto learned = readStore(path);
    if (learned[vidPid] == kind) return;
    learned[vidPid] = kind;
    // The user's own folder, for the user alone.
    QDir().mkpath(QFileInfo(path).path());
    QFile::setPermissions(QFileInfo(path).path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    for (const auto& [model, disk] : learned) file.write(QByteArray::fromStdString(model + '\t' + disk + '\n'));
    file.commit();
}

DiskExpectation strandedDiskExpectation(const HistoryEntry& entry, std::optional<DriveFacts> confirmed) {
    return {entry.port, entry.diskIdentity, learnedUpdateDiskModel(entry.vidPid), std::move(confirmed)};
}
