// Signatures in minisign's format for the tests: the repository's test key pair (keys/, made with
// minisign, for the tests only) or a fresh key that nobody trusts. The real minisign signs where it
// is installed and the key is the repository's; elsewhere (under Wine) libsodium writes the same
// format here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace lumaro::test {

struct TestSigningKey {
    std::array<std::uint8_t, 8> id{};
    std::array<std::uint8_t, 64> secret{};  // Ed25519: seed and public key
    std::string publicKeyText;               // the .pub file's text
    std::string secretKeyFile;               // the key pair's minisign file; empty for a fresh key
};

TestSigningKey repositoryTestKey();
TestSigningKey freshTestKey();

// Writes path + ".minisig", prehashed unless legacy, with minisign's default trusted comment.
void signWithMinisign(const std::string& path, const TestSigningKey& key, bool legacy = false);

// Writes keys/<name>.pub of the key into folder.
void trustKey(const std::string& folder, const TestSigningKey& key, const std::string& name);

}  // namespace lumaro::test
