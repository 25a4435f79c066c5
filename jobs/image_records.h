// Reading the image data file in 54-byte records. Each read clears the record first, so a short
// last record is padded with zeros; the end of the file is known only after a read has met it, so
// a file of s bytes gives s / 54 + 1 records (an exact multiple of 54 ends in an all-zero record).
// Also the checks that keep files that cannot be right from reaching the controller.
#pragma once

#include "link/controller_frame.h"
#include "platform/core/utf8_path.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

using ImageRecord = std::array<std::uint8_t, IMAGE_RECORD_SIZE>;

// The controller numbers the records with 16 bits: more would overwrite the first ones.
inline constexpr std::uintmax_t kMaxImageRecords = 65535;

// The records a file of fileSize bytes gives.
constexpr std::uintmax_t imageRecordCount(std::uintmax_t fileSize) { return fileSize / IMAGE_RECORD_SIZE + 1; }

// Why a file cannot serve as the firmware or image data file (missing, a folder, unreadable);
// nothing when it can be read.
std::optional<std::string> unreadableFileProblem(const std::string& path);

// The same, and an empty firmware file: copied, it would leave the controller without firmware.
std::optional<std::string> firmwareFileProblem(const std::string& path);

// The same, and an empty image data file or one of more than kMaxImageRecords records.
std::optional<std::string> imageDataFileProblem(const std::string& path);
std::string tooManyRecordsProblem(const std::string& path);

class ImageRecordReader {
public:
    explicit ImageRecordReader(const std::string& path) : in_(platform::utf8Path(path), std::ios::binary) {}

    bool isOpen() const { return in_.is_open(); }
    // True once a read has met the end of the file.
    bool atEnd() const { return in_.eof(); }
    // Clears record and reads up to 54 bytes into it; false when the system reports a read error.
    bool next(ImageRecord& record);

private:
    std::ifstream in_;
};
