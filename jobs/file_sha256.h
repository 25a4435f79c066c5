// The SHA-256 of a file, for the update history: which firmware and image data went to a device.
#pragma once

#include <optional>
#include <string>

// The file's SHA-256 as 64 lowercase hex digits; nothing when the file cannot be read.
std::optional<std::string> fileSha256(const std::string& path);
