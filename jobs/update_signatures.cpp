#include "update_signatures.h"

std::string keysFolderOf(const std::string& appFolder) { return appFolder + "Keys/"; }

UpdateSignatures checkUpdateSignatures(const std::string& firmwarePath, const std::string& imagePath,
                                       const std::string& keysFolder) {
    return {checkFileSignature(firmwarePath, keysFolder), checkFileSignature(imagePath, keysFolder)};
}

std::string signaturesSummary(const UpdateSignatures& signatures) {
    return "firmware: " + describeSignature(signatures.firmware) + "; image data: " + describeSignature(signatures.image);
}

std::optional<std::string> refusedSignatureLine(const UpdateSignatures& signatures) {
    if (signatures.firmware.verdict == SignatureCheck::Verdict::Refused)
        return "Error -> Firmware file: " + signatures.firmware.problem;
    if (signatures.image.verdict == SignatureCheck::Verdict::Refused)
        return "Error -> Image data file: " + signatures.image.problem;
    return std::nullopt;
}
