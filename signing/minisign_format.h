// The text of minisign's signature files (.minisig) and public key files (.pub), as the standard
// minisign tool writes them: parsing only, no files and no cryptography. Anything else, in any
// line, is refused with the reason.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

using MinisignKeyId = std::array<std::uint8_t, 8>;

struct MinisignPublicKey {
    MinisignKeyId keyId{};
    std::array<std::uint8_t, 32> key{};  // Ed25519
};

struct MinisignSignature {
    bool prehashed = false;  // "ED": the signature is over the file's BLAKE2b-512; "Ed" (legacy): over the file
    MinisignKeyId keyId{};
    std::array<std::uint8_t, 64> signature{};
    std::string trustedComment;  // as signed, without "trusted comment: "
    std::array<std::uint8_t, 64> globalSignature{};  // over signature and trusted comment
};

// Either the parsed file or why it is no such file.
std::variant<MinisignSignature, std::string> parseMinisignSignature(std::string_view text);
std::variant<MinisignPublicKey, std::string> parseMinisignPublicKey(std::string_view text);

// The key id as minisign shows it: 16 hexadecimal digits of the little-endian number.
std::string keyIdText(const MinisignKeyId& id);

// Whether the trusted comment's tab-separated fields hold "file:<fileName>".
bool trustedCommentNamesFile(std::string_view comment, std::string_view fileName);
