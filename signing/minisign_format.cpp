#include "minisign_format.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr std::size_t kSignatureBytes = 2 + 8 + 64;
constexpr std::size_t kPublicKeyBytes = 2 + 8 + 32;
// minisign's own limit for a comment line; longer text is no file it wrote.
constexpr std::size_t kMaxLine = 8192;

// The lines, each without its LF or CR LF; nothing where a line is too long.
std::optional<std::vector<std::string_view>> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.size() > kMaxLine) return std::nullopt;
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Base64 of exactly size bytes, with its padding and nothing around it.
std::optional<std::vector<std::uint8_t>> decodeExactly(std::string_view text, std::size_t size) {
    std::vector<std::uint8_t> bytes(size + 1);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != size)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

}  // namespace

std::variant<MinisignSignature, std::string> parseMinisignSignature(std::string_view text) {
    const auto lines = linesOf(text);
    if (!lines) return "a line is longer than a signature file has";
    if (lines->size() < 4 || std::any_of(lines->begin() + 4, lines->end(), [](std::string_view l) { return !l.empty(); }))
        return "not the four lines of a minisign signature";
    const std::vector<std::string_view>& l = *lines;
    if (!l[0].starts_with(kUntrusted)) return "the first line is not an untrusted comment";
    const auto signature = decodeExactly(l[1], kSignatureBytes);
    if (!signature) return "the second line is not a minisign signature";
    if (!l[2].starts_with(kTrusted)) return "the third line is not a trusted comment";
    const auto global = decodeExactly(l[3], 64);
    if (!global) return "the fourth line is not a minisign signature";

    MinisignSignature parsed;
    const std::string_view algorithm(reinterpret_cast<const char*>(signature->data()), 2);
    if (algorithm != "ED" && algorithm != "Ed") return "an unknown signature algorithm";
    parsed.prehashed = algorithm == "ED";
    std::copy_n(signature->begin() + 2, 8, parsed.keyId.begin());
    std::copy_n(signature->begin() + 10, 64, parsed.signature.begin());
    parsed.trustedComment = std::string(l[2].substr(kTrusted.size()));
    std::copy_n(global->begin(), 64, parsed.globalSignature.begin());
    return parsed;
}

std::variant<MinisignPublicKey, std::string> parseMinisignPublicKey(std::string_view text) {
    const auto lines = linesOf(text);
    if (!lines) return "a line is longer than a public key file has";
    if (lines->size() < 2 || std::any_of(lines->begin() + 2, lines->end(), [](std::string_view l) { return !l.empty(); }))
        return "not the two lines of a minisign public key";
    if (!(*lines)[0].starts_with(kUntrusted)) return "the first line is not an untrusted comment";
    const auto key = decodeExactly((*lines)[1], kPublicKeyBytes);
    if (!key) return "the second line is not a minisign public key";
    if ((*key)[0] != 'E' || (*key)[1] != 'd') return "an unknown key algorithm";
    MinisignPublicKey parsed;
    std::copy_n(key->begin() + 2, 8, parsed.keyId.begin());
    std::copy_n(key->begin() + 10, 32, parsed.key.begin());
    return parsed;
}

std::string keyIdText(const MinisignKeyId& id) {
    std::string text;
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", *byte);
        text += digits;
    }
    return text;
}

bool trustedCommentNamesFile(std::string_view comment, std::string_view fileName) {
    while (true) {
        const std::size_t tab = comment.find('\t');
        const std::string_view field = comment.substr(0, tab);
        if (field.starts_with("file:") && field.substr(5) == fileName) return true;
        if (tab == std::string_view::npos) return false;
        comment.remove_prefix(tab + 1);
    }
}
