#include "QuorlAudio/models/FileDigest.hpp"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>

namespace quorl {
namespace {

constexpr std::size_t blockBytes = 1 << 20;

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

std::string hexadecimal(const unsigned char* bytes, unsigned int count) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int index = 0; index < count; ++index) {
        text.push_back(digits[bytes[index] >> 4]);
        text.push_back(digits[bytes[index] & 0x0F]);
    }
    return text;
}

} // namespace

std::optional<std::string> sha256OfFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    const DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!stream || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    const auto block = std::make_unique<char[]>(blockBytes);
    while (stream) {
        stream.read(block.get(), static_cast<std::streamsize>(blockBytes));
        const auto count = static_cast<std::size_t>(stream.gcount());
        if (count > 0 && EVP_DigestUpdate(context.get(), block.get(), count) != 1) {
            return std::nullopt;
        }
    }
    if (stream.bad()) {
        return std::nullopt;
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
        return std::nullopt;
    }
    return hexadecimal(digest.data(), length);
}

} // namespace quorl
