#include "file_signature.h"

#include "minisign_format.h"

#include "platform/core/utf8_path.h"

#include <sodium.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kMaxSignatureFileBytes = 64 * 1024;
// A legacy signature is over the whole file, which is then read at once.
constexpr std::uintmax_t kMaxLegacySignedBytes = 256ull * 1024 * 1024;

std::optional<std::string> readSmallFile(const fs::path& path, std::uintmax_t maxBytes) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > maxBytes || error) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string text(maxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad() || !in.eof()) return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The trusted keys: every *.pub of the folder that is a minisign public key.
std::vector<MinisignPublicKey> trustedKeys(const fs::path& folder) {
    std::vector<MinisignPublicKey> keys;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->path().extension() != ".pub") continue;
        const auto text = readSmallFile(entry->path(), kMaxSignatureFileBytes);
        if (!text) continue;
        const auto parsed = parseMinisignPublicKey(*text);
        if (const auto* key = std::get_if<MinisignPublicKey>(&parsed)) keys.push_back(*key);
    }
    return keys;
}

// The BLAKE2b-512 of the file, read in pieces; nothing when it cannot be read.
std::optional<std::array<unsigned char, crypto_generichash_BYTES_MAX>> fileBlake2b(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    std::vector<char> buffer(64 * 1024);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(buffer.data()),
                                  static_cast<unsigned long long>(in.gcount()));
    }
    if (in.bad()) return std::nullopt;
    std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
    crypto_generichash_final(&state, hash.data(), hash.size());
    return hash;
}

bool fileMatches(const fs::path& path, const MinisignSignature& signature, const MinisignPublicKey& key) {
    if (signature.prehashed) {
        const auto hash = fileBlake2b(path);
        return hash && crypto_sign_verify_detached(signature.signature.data(), hash->data(), hash->size(), key.key.data()) == 0;
    }
    const auto whole = readSmallFile(path, kMaxLegacySignedBytes);
    return whole && crypto_sign_verify_detached(signature.signature.data(),
                                                reinterpret_cast<const unsigned char*>(whole->data()), whole->size(),
                                                key.key.data()) == 0;
}

bool commentAsSigned(const MinisignSignature& signature, const MinisignPublicKey& key) {
    std::vector<unsigned char> signedPart(signature.signature.begin(), signature.signature.end());
    signedPart.insert(signedPart.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    return crypto_sign_verify_detached(signature.globalSignature.data(), signedPart.data(), signedPart.size(),
                                       key.key.data()) == 0;
}

SignatureCheck refused(std::string problem) { return {SignatureCheck::Verdict::Refused, {}, {}, std::move(problem)}; }

}  // namespace

SignatureCheck checkFileSignature(const std::string& path, const std::string& keysFolder) {
    if (sodium_init() < 0) return refused("signature: the cryptography library cannot start");
    const fs::path file = platform::utf8Path(path);
    const std::string name = platform::utf8String(file.filename());
    const std::string signaturePath = path + std::string(kSignatureSuffix);
    const fs::path signatureFile = platform::utf8Path(signaturePath);
    const fs::path keys = platform::utf8Path(keysFolder);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(signatureFile, error))) {
        if (!keysFolder.empty() && fs::exists(keys / kRequireSignaturesName, error))
            return refused("no signature " + name + std::string(kSignatureSuffix) +
                           " beside it, and this PC takes only signed files (" +
                           platform::utf8String((keys / kRequireSignaturesName).make_preferred()) + ")");
        return {};
    }

    const std::string what = "signature " + signaturePath;
    const auto text = readSmallFile(signatureFile, kMaxSignatureFileBytes);
    if (!text) return refused(what + " cannot be read, or is no signature file");
    const auto parsed = parseMinisignSignature(*text);
    if (const auto* why = std::get_if<std::string>(&parsed)) return refused(what + " is malformed: " + *why);
    const MinisignSignature& signature = std::get<MinisignSignature>(parsed);

    const std::vector<MinisignPublicKey> trusted = keysFolder.empty() ? std::vector<MinisignPublicKey>() : trustedKeys(keys);
    const auto key = std::find_if(trusted.begin(), trusted.end(),
                                  [&](const MinisignPublicKey& k) { return k.keyId == signature.keyId; });
    if (key == trusted.end())
        return refused(what + " was made with key " + keyIdText(signature.keyId) + ", which is not a trusted key of " +
                       platform::utf8String(fs::path(keys).make_preferred()));
    if (!commentAsSigned(signature, *key)) return refused(what + ": its trusted comment is not the one that was signed");
    if (!trustedCommentNamesFile(signature.trustedComment, name))
        return refused(what + " was made for another file (trusted comment \"" + signature.trustedComment +
                       "\"), not for " + name);
    if (!fileMatches(file, signature, *key))
        return refused(what + " does not match the file: it was changed after it was signed, or cannot be read");
    return {SignatureCheck::Verdict::Signed, keyIdText(key->keyId), signature.trustedComment, {}};
}

std::string describeSignature(const SignatureCheck& check) {
    switch (check.verdict) {
    case SignatureCheck::Verdict::Signed: {
        std::string shown = check.trustedComment;
        std::replace(shown.begin(), shown.end(), '\t', ' ');
        return "key " + check.keyId + ", trusted comment \"" + shown + "\"";
    }
    case SignatureCheck::Verdict::Unsigned: return "unsigned";
    case SignatureCheck::Verdict::Refused: return check.problem;
    }
    return check.problem;
}
