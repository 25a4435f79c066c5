#include "update_job_support.h"

#include "temporary_folder.h"

#include <algorithm>
#include <fstream>

namespace lumaro::test {

std::vector<int> RecordingScreen::widths() const {
    std::vector<int> found;
    for (const std::string& change : changes())
        if (change.starts_with("progress ")) found.push_back(std::stoi(change.substr(9)));
    return found;
}

std::vector<std::string> RecordingScreen::logLines() const {
    std::vector<std::string> found;
    for (const std::string& change : changes())
        if (change.starts_with("log ")) found.push_back(change.substr(4));
    return found;
}

bool RecordingScreen::has(const std::string& change) const {
    const auto all = changes();
    return std::find(all.begin(), all.end(), change) != all.end();
}

JobFiles::JobFiles() : dir(bustest::makeTemporaryFolder("update-job-")) {
    firmware = (dir / "Tessaray_FW_1.0.4.bin").string();
    std::ofstream(firmware, std::ios::binary) << firmwareContents;
}

JobFiles::~JobFiles() { std::filesystem::remove_all(dir); }

std::string JobFiles::image(std::size_t size) const {
    const std::string path = (dir / ("image-" + std::to_string(size) + ".bin")).string();
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

}  // namespace lumaro::test
