#include "update_job_support.h"

#include "temporary_folder.h"

#include "platform/core/utf8_path.h"

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

// Named as users' folders often are, with letters outside ASCII and a blank: the paths reach the
// system whole only as UTF-16 on Windows.
JobFiles::JobFiles() : dir(bustest::makeTemporaryFolder("update-job-") / u8"Zoë Müller") {
    std::filesystem::create_directory(dir);
    firmware = platform::utf8String(dir / "Tessaray_FW_1.0.4.bin");
    std::ofstream(platform::utf8Path(firmware), std::ios::binary) << firmwareContents;
}

JobFiles::~JobFiles() { std::filesystem::remove_all(dir.parent_path()); }

std::string JobFiles::image(std::size_t size) const {
    const std::filesystem::path path = dir / ("image-" + std::to_string(size) + ".bin");
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(path, std::ios::binary) << bytes;
    return platform::utf8String(path);
}

}  // namespace lumaro::test
