#include "jobs/stranded_files.h"

#include "jobs/file_sha256.h"
#include "jobs/image_records.h"
#include "platform/core/utf8_path.h"
#include "platform/files/resolved_path.h"

#include <filesystem>

namespace {

// path becomes the file itself when it is one of firmwareFolder's and has the recorded SHA-256.
std::optional<std::string> ownFileProblem(const std::string& firmwareFolder, const std::string& what, std::string& path,
                                          const std::string& sha256) {
    const std::optional<std::string> folder = platform::resolvedPath(firmwareFolder);
    const std::optional<std::string> file = platform::resolvedPath(path);
    if (!file) return what + " " + path + " is gone";
    if (!folder || platform::utf8Path(*file).parent_path() != platform::utf8Path(*folder))
        return what + " " + path + " is not one of the program's own files in " + firmwareFolder;
    // Hashed only once it is known to be a plain file: a pipe would hold the reading up.
    if (const auto problem = firmwareFileProblem(*file)) return what + ": " + *problem;
    if (fileSha256(*file) != sha256) return what + " " + path + " has changed since the update began";
    path = *file;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> strandedFilesProblem(const std::string& appFolder, HistoryEntry& entry) {
    const std::string firmwareFolder = appFolder + "Firmware/";
    if (auto problem = ownFileProblem(firmwareFolder, "the firmware file", entry.firmwarePath, entry.firmwareSha256))
        return problem;
    if (entry.imagePath.empty()) return std::nullopt;
    return ownFileProblem(firmwareFolder, "the image data file", entry.imagePath, entry.imageSha256);
}
