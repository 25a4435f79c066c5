// Whether a firmware or image data file carries the vendor's signature: the minisign signature
// beside it (<file>.minisig) checked against the trusted public keys (*.pub) of the Keys/ folder
// beside the program, with libsodium. A file without a signature passes as unsigned, unless the
// Keys/ folder holds require-signatures (an administrator's or the installer's choice).
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kSignatureSuffix = ".minisig";
inline constexpr std::string_view kRequireSignaturesName = "require-signatures";

struct SignatureCheck {
    enum class Verdict { Signed, Unsigned, Refused };
    Verdict verdict = Verdict::Unsigned;
    std::string keyId;           // Signed: the trusted key that made it, as minisign shows it
    std::string trustedComment;  // Signed: as signed
    std::string problem;         // Refused: names the signature (or its absence) and says why
};

// keysFolder: UTF-8, with or without a trailing separator; a folder that is not there trusts no key.
// The signature must be made by a trusted key, match the file byte for byte, carry its trusted
// comment as signed, and name the file by its own name ("file:<name>" in the trusted comment), so
// that a signed file renamed to another version or kind is refused.
SignatureCheck checkFileSignature(const std::string& path, const std::string& keysFolder);

// What was checked, for the logs and records: "key <id>, trusted comment \"...\"" or "unsigned";
// a refused check gives its problem.
std::string describeSignature(const SignatureCheck& check);
