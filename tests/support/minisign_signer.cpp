#include "minisign_signer.h"

#include "platform/core/utf8_path.h"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace lumaro::test {
namespace {

std::string readText(const std::string& path) {
    std::ifstream in(platform::utf8Path(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string secondLine(const std::string& text) {
    const std::size_t start = text.find('\n') + 1;
    return text.substr(start, text.find('\n', start) - start);
}

std::vector<std::uint8_t> fromBase64(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.size());
    std::size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        throw std::runtime_error("no base64: " + text);
    bytes.resize(length);
    return bytes;
}

std::string toBase64(const std::vector<std::uint8_t>& bytes) {
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1);
    return text;
}

bool minisignInstalled() { return std::system("minisign -v >/dev/null 2>&1") == 0; }

std::vector<std::uint8_t> detached(const std::vector<std::uint8_t>& message, const TestSigningKey& key) {
    std::vector<std::uint8_t> signature(crypto_sign_BYTES);
    crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(), key.secret.data());
    return signature;
}

}  // namespace

TestSigningKey repositoryTestKey() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium does not start");
    TestSigningKey key;
    key.secretKeyFile = std::string(LUMARO_TEST_KEYS_DIR) + "/lumaro-test.key";
    key.publicKeyText = readText(std::string(LUMARO_TEST_KEYS_DIR) + "/lumaro-test.pub");
    // An unencrypted secret key file: algorithms (6), salt (32), limits (16), then key id and key.
    const std::vector<std::uint8_t> stored = fromBase64(secondLine(readText(key.secretKeyFile)));
    std::copy_n(stored.begin() + 54, 8, key.id.begin());
    std::copy_n(stored.begin() + 62, 64, key.secret.begin());
    return key;
}

TestSigningKey freshTestKey() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium does not start");
    TestSigningKey key;
    std::array<std::uint8_t, 32> publicKey{};
    crypto_sign_keypair(publicKey.data(), key.secret.data());
    randombytes_buf(key.id.data(), key.id.size());
    std::vector<std::uint8_t> stored(2 + key.id.size() + publicKey.size());
    stored[0] = 'E';
    stored[1] = 'd';
    std::copy(publicKey.begin(), publicKey.end(), std::copy(key.id.begin(), key.id.end(), stored.begin() + 2));
    key.publicKeyText = "untrusted comment: minisign public key\n" + toBase64(stored) + "\n";
    return key;
}

void signWithMinisign(const std::string& path, const TestSigningKey& key, bool legacy) {
    if (!key.secretKeyFile.empty() && minisignInstalled()) {
        const std::string command = "minisign -S -q " + std::string(legacy ? "-l " : "") + "-s '" + key.secretKeyFile +
                                    "' -m '" + path + "' </dev/null >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("minisign failed: " + command);
        return;
    }
    const std::string contents = readText(path);
    std::vector<std::uint8_t> message(contents.begin(), contents.end());
    if (!legacy) {
        std::vector<std::uint8_t> hash(crypto_generichash_BYTES_MAX);
        crypto_generichash(hash.data(), hash.size(), message.data(), message.size(), nullptr, 0);
        message = hash;
    }
    const std::vector<std::uint8_t> made = detached(message, key);
    std::vector<std::uint8_t> signature(2 + key.id.size() + made.size());
    signature[0] = 'E';
    signature[1] = legacy ? 'd' : 'D';
    std::copy(made.begin(), made.end(), std::copy(key.id.begin(), key.id.end(), signature.begin() + 2));
    const std::string name = platform::utf8String(platform::utf8Path(path).filename());
    const std::string comment = "timestamp:" + std::to_string(std::time(nullptr)) + "\tfile:" + name + (legacy ? "" : "\thashed");
    std::vector<std::uint8_t> global(made);
    global.insert(global.end(), comment.begin(), comment.end());
    std::ofstream(platform::utf8Path(path + ".minisig"), std::ios::binary)
        << "untrusted comment: signature from minisign secret key\n" << toBase64(signature) << "\ntrusted comment: "
        << comment << '\n' << toBase64(detached(global, key)) << '\n';
}

void trustKey(const std::string& folder, const TestSigningKey& key, const std::string& name) {
    std::ofstream(platform::utf8Path(folder + "/" + name + ".pub"), std::ios::binary) << key.publicKeyText;
}

}  // namespace lumaro::test
