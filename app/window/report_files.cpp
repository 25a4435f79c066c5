#include "app/window/report_files.h"

#include "jobs/file_sha256.h"
#include "signing/file_signature.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <string>

namespace {

std::string megabytes(std::uint64_t bytes) { return std::to_string(bytes / (1024 * 1024)) + " MB"; }

}  // namespace

std::vector<ReportFile> describeReportFiles(const std::vector<QString>& paths, const std::vector<QString>& picked,
                                            const ReportHashLimits& limits, const std::atomic<bool>& stop,
                                            const std::string& keysFolder)
{
    std::vector<ReportFile> described;
    for (const QString& path : paths) {
        ReportFile file{QDir::toNativeSeparators(path).toStdString(), std::nullopt, {}, {}, {}};
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable()) file.size = static_cast<std::uint64_t>(info.size());
        described.push_back(std::move(file));
    }
    // The picked files first: they are what an update would send.
    std::vector<std::size_t> order(paths.size());
    for (std::size_t at = 0; at < order.size(); ++at) order[at] = at;
    std::stable_partition(order.begin(), order.end(), [&](std::size_t at) {
        return std::find(picked.begin(), picked.end(), paths[at]) != picked.end();
    });

    std::size_t hashed = 0;
    std::uint64_t read = 0;
    for (const std::size_t at : order) {
        ReportFile& file = described[at];
        if (stop) break;  // the window is gone, and the report with it
        if (!file.size) continue;
        if (*file.size > limits.fileBytes) file.notHashedBecause = "larger than " + megabytes(limits.fileBytes);
        else if (hashed == limits.files) file.notHashedBecause = "the report hashes at most " + std::to_string(limits.files) + " files";
        else if (read + *file.size > limits.bytes) file.notHashedBecause = "the report reads at most " + megabytes(limits.bytes);
        if (!file.notHashedBecause.empty()) continue;
        const std::optional<std::string> sha256 = fileSha256(paths[at].toStdString());
        ++hashed;
        read += *file.size;
        if (!sha256) {
            file.notHashedBecause = "reading failed";
            continue;
        }
        file.sha256 = *sha256;
        file.signature = describeSignature(checkFileSignature(paths[at].toStdString(), keysFolder));
    }
    return described;
}
