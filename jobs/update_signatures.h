// The vendor's signatures on an update's two files, checked before the controller is touched, and
// what was checked, as the update log, the history and lumaro-update's start event tell it.
#pragma once

#include "signing/file_signature.h"

#include <optional>
#include <string>

struct UpdateSignatures {
    SignatureCheck firmware;
    SignatureCheck image;
};

// The trusted keys' folder beside the program; appFolder ends with a separator.
std::string keysFolderOf(const std::string& appFolder);

UpdateSignatures checkUpdateSignatures(const std::string& firmwarePath, const std::string& imagePath,
                                       const std::string& keysFolder);

// "firmware: key 5CFB7B6C17C5B0D4, trusted comment \"...\"; image data: unsigned"
std::string signaturesSummary(const UpdateSignatures& signatures);

// The error line of the first refused file, as the update log shows it ("Error -> Firmware file: ...");
// nothing when both files may go to the controller.
std::optional<std::string> refusedSignatureLine(const UpdateSignatures& signatures);
