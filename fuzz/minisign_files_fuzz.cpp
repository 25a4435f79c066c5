// minisign's signature (.minisig) and public key (.pub) files: what lies beside a firmware file or
// in Keys/ may be anything. The first byte chooses the parser; the rest is the file.
#include "signing/minisign_format.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        const auto key = parseMinisignPublicKey(text);
        if (const auto* parsed = std::get_if<MinisignPublicKey>(&key); parsed && keyIdText(parsed->keyId).size() != 16)
            __builtin_trap();
        return 0;
    }
    const auto signature = parseMinisignSignature(text);
    if (const auto* parsed = std::get_if<MinisignSignature>(&signature)) {
        // The trusted comment is one line of the file, as signed.
        if (parsed->trustedComment.find('\n') != std::string::npos || parsed->trustedComment.size() > 8192 ||
            text.find(parsed->trustedComment) == std::string_view::npos)
            __builtin_trap();
        trustedCommentNamesFile(parsed->trustedComment, "Tessaray_FW_1.0.4.bin");
    }
    return 0;
}
