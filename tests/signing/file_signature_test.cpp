// The vendor's signature on a file, as the update checks it: minisign's signatures (the real tool's
// where it is installed) against the trusted keys of a Keys/ folder, and each way a file or its
// signature can be wrong.
#include "minisign_signer.h"
#include "temporary_folder.h"

#include "platform/core/utf8_path.h"
#include "signing/file_signature.h"
#include "signing/minisign_format.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;
using lumaro::test::TestSigningKey;
using Verdict = SignatureCheck::Verdict;

class FileSignature : public ::testing::Test {
public:
    void SetUp() override {
        fs::create_directories(folder / "Keys");
        lumaro::test::trustKey(keys(), vendor, "vendor");
        write(file(), "firmware 1.0.4");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string& name = "Tessaray_FW_1.0.4.bin") const { return platform::utf8String(folder / name); }
    std::string keys() const { return platform::utf8String(folder / "Keys"); }
    static void write(const std::string& path, const std::string& text) {
        std::ofstream(platform::utf8Path(path), std::ios::binary) << text;
    }

    fs::path folder = bustest::makeTemporaryFolder("signature-test-");
    TestSigningKey vendor = lumaro::test::repositoryTestKey();
};

TEST_F(FileSignature, OnlyASignatureOfATrustedKeyOverTheUnchangedFileOfThatNamePasses) {
    struct Case {
        const char* name;
        std::function<void(FileSignature&)> prepare;
        Verdict verdict;
        const char* problem;  // a part of the reason
    };
    const std::vector<Case> cases{
        {"prehashed", [](FileSignature& t) { lumaro::test::signWithMinisign(t.file(), t.vendor); }, Verdict::Signed, ""},
        {"legacy", [](FileSignature& t) { lumaro::test::signWithMinisign(t.file(), t.vendor, true); }, Verdict::Signed, ""},
        {"unsigned", [](FileSignature&) {}, Verdict::Unsigned, ""},
        {"unsigned where signatures are required",
         [](FileSignature& t) { write(t.keys() + "/require-signatures", ""); }, Verdict::Refused, "no signature"},
        {"a byte changed after signing",
         [](FileSignature& t) {
             lumaro::test::signWithMinisign(t.file(), t.vendor);
             write(t.file(), "firmware 1.0.5");
         },
         Verdict::Refused, "does not match the file"},
        {"an untrusted key",
         [](FileSignature& t) { lumaro::test::signWithMinisign(t.file(), lumaro::test::freshTestKey()); }, Verdict::Refused,
         "which is not a trusted key"},
        {"a signed file renamed to another version",
         [](FileSignature& t) {
             write(t.file("Tessaray_FW_1.0.3.bin"), "firmware 1.0.4");
             lumaro::test::signWithMinisign(t.file("Tessaray_FW_1.0.3.bin"), t.vendor);
             fs::rename(platform::utf8Path(t.file("Tessaray_FW_1.0.3.bin.minisig")), platform::utf8Path(t.file() + ".minisig"));
         },
         Verdict::Refused, "was made for another file"},
        {"a malformed signature", [](FileSignature& t) { write(t.file() + ".minisig", "untrusted comment: x\nRWQ=\n"); },
         Verdict::Refused, "is malformed"},
        {"a trusted comment changed after signing",
         [](FileSignature& t) {
             lumaro::test::signWithMinisign(t.file(), t.vendor);
             std::ifstream in(platform::utf8Path(t.file() + ".minisig"), std::ios::binary);
             std::string text{std::istreambuf_iterator<char>(in), {}};
             in.close();
             text.replace(text.find("timestamp:"), 10, "timestamp:9");
             write(t.file() + ".minisig", text);
         },
         Verdict::Refused, "trusted comment is not the one that was signed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.prepare(*this);
        const SignatureCheck check = checkFileSignature(file(), keys());
        EXPECT_EQ(check.verdict, c.verdict) << check.problem;
        EXPECT_NE(check.problem.find(c.problem), std::string::npos) << check.problem;
        if (c.verdict == Verdict::Refused) {
            EXPECT_NE(check.problem.find("signature"), std::string::npos);
        }
        if (c.verdict == Verdict::Signed) {
            EXPECT_EQ(check.keyId, keyIdText(vendor.id));
            EXPECT_NE(check.trustedComment.find("file:Tessaray_FW_1.0.4.bin"), std::string::npos);
            EXPECT_EQ(describeSignature(check).find("key " + check.keyId + ", trusted comment \"timestamp:"), 0u);
        }
    }
}

// The tests' key pair was made by minisign: its public key file reads as minisign shows its id.
TEST(MinisignFormat, PublicKeyFilesAndSignatureLinesAreReadStrictly) {
    const auto key = parseMinisignPublicKey(lumaro::test::repositoryTestKey().publicKeyText);
    ASSERT_TRUE(std::holds_alternative<MinisignPublicKey>(key));
    EXPECT_EQ(keyIdText(std::get<MinisignPublicKey>(key).keyId), "E4086F9FCA4F0324");
    for (const char* text : {"", "untrusted comment: x\n", "untrusted comment: x\nRWQkA0/Kn28I5JFLlIpJh//zR/rlZjSnnYR80BBpo8hkHNqPawTzmmA\n",
                             "comment: x\nRWQkA0/Kn28I5JFLlIpJh//zR/rlZjSnnYR80BBpo8hkHNqPawTzmmA0\n"})
        EXPECT_TRUE(std::holds_alternative<std::string>(parseMinisignPublicKey(text))) << text;
    EXPECT_TRUE(trustedCommentNamesFile("timestamp:1\tfile:a.bin\thashed", "a.bin"));
    EXPECT_FALSE(trustedCommentNamesFile("timestamp:1\tfile:a.bin.old\thashed", "a.bin"));
    EXPECT_FALSE(trustedCommentNamesFile("file:a.bin ", "a.bin"));
}

}  // namespace
