#include "image_records.h"

#include "platform/core/utf8_path.h"

#include <filesystem>
#include <system_error>

std::optional<std::string> unreadableFileProblem(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(platform::utf8Path(path), error);
    if (path.empty() || !std::filesystem::exists(status)) return "no such file: " + path;
    if (!std::filesystem::is_regular_file(status)) return "not a file: " + path;
    std::ifstream in(platform::utf8Path(path), std::ios::binary);
    char first = 0;
    in.read(&first, 1);
    if (!in.is_open() || in.bad()) return "cannot read " + path;
    return std::nullopt;
}

std::optional<std::string> firmwareFileProblem(const std::string& path) {
    if (auto problem = unreadableFileProblem(path)) return problem;
    std::error_code error;
    if (std::filesystem::file_size(platform::utf8Path(path), error) == 0 && !error) return "empty file: " + path;
    return std::nullopt;
}

std::optional<std::string> imageDataFileProblem(const std::string& path) {
    if (auto problem = unreadableFileProblem(path)) return problem;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(platform::utf8Path(path), error);
    if (error) return "cannot read " + path;
    // Sent, it would leave the controller with its images erased and one record of zeros.
    if (size == 0) return "empty file: " + path;
    if (imageRecordCount(size) > kMaxImageRecords) return tooManyRecordsProblem(path);
    return std::nullopt;
}

std::string tooManyRecordsProblem(const std::string& path) {
    return "more than " + std::to_string(kMaxImageRecords) + " records, the most the controller can take: " + path;
}

bool ImageRecordReader::next(ImageRecord& record) {
    record.fill(0);
    in_.read(reinterpret_cast<char*>(record.data()), static_cast<std::streamsize>(record.size()));
    return !in_.bad();
}
