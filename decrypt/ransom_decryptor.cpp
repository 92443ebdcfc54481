// Container decryption: unwrap the file key, then stream the body through AES-CBC into a new
// file of the output folder.
#include "decrypt/ransom_decryptor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "decrypt/aes_decryptor.h"
#include "decrypt/embedded_key.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/le_reader.h"
#include "run/output_naming.h"

namespace {

constexpr const char* kProviderName = "Microsoft Enhanced RSA and AES Cryptographic Provider";
// The body streams through two buffers of this size, so memory use does not grow with the
// document.
constexpr std::uint32_t kBodyChunkSize = 1u << 20;

std::unique_ptr<platform::CryptProvider> AcquireProvider() {
    auto provider = platform::CryptProvider::Acquire(kProviderName, platform::kProvRsaAes,
                                                     platform::kCryptVerifyContext);
    if (!provider) {
        provider = platform::CryptProvider::Acquire(nullptr, platform::kProvRsaAes,
                                                    platform::kCryptVerifyContext);
    }
    return provider;
}

} // namespace

RansomDecryptor::RansomDecryptor() : m_provider(AcquireProvider()) {
    AddKey(EmbeddedPrivateKeyBlob());
}

RansomDecryptor::~RansomDecryptor() = default;

bool RansomDecryptor::AddKey(std::span<const std::uint8_t> blob) {
    if (!m_provider) {
        return false;
    }
    auto key = m_provider->ImportKey(blob);
    if (!key) {
        return false;
    }
    m_keys.push_back(std::move(key));
    return true;
}

bool RansomDecryptor::UnwrapFileKey(std::span<const std::uint8_t> wrappedKey,
                                    std::vector<std::uint8_t>& fileKey) const {
    for (const auto& key : m_keys) {
        // Each attempt works on a fresh copy: a failed decryption may leave the buffer changed.
        std::array<std::uint8_t, container::kWrappedKeyLength> buffer{};
        std::copy(wrappedKey.begin(), wrappedKey.end(), buffer.begin());
        std::uint32_t length = 0;
        if (key->Decrypt(buffer, length) && length <= buffer.size()) {
            fileKey.assign(buffer.begin(), buffer.begin() + length);
            return true;
        }
    }
    return false;
}

std::string DocumentNameFromContainerPath(const std::string& containerPath) {
    const auto& codePage = platform::ActiveCodePage();
    std::size_t marker = codePage.FindLast(containerPath, "WNCRY");
    if (marker == platform::AnsiCodePage::npos || marker == 0) {
        return {};
    }
    // Cut before the character that precedes the marker: the '.' of ".WNCRY".
    const std::string cut = containerPath.substr(0, marker - 1);
    std::size_t separator = codePage.FindLast(cut, platform::kPathSeparator);
    if (separator == platform::AnsiCodePage::npos) {
        return {};
    }
    return cut.substr(separator + 1);
}

std::string RansomDecryptor::DecryptContainer(const std::string& containerPath,
                                              const std::string& outputFolder) const {
    if (m_keys.empty()) {
        return {};
    }
    platform::File source = platform::File::OpenForReading(containerPath);
    if (!source.IsOpen()) {
        return {};
    }

    // A short header is not an error in itself: the missing bytes stay zero and fail the checks.
    std::array<std::uint8_t, container::kHeaderSize> header{};
    std::uint32_t headerRead = 0;
    if (!source.Read(header.data(), header.size(), headerRead)) {
        return {};
    }
    if (std::memcmp(header.data() + container::kMagicOffset, container::kMagic,
                    sizeof container::kMagic) != 0) {
        return {};
    }
    const platform::LeReader fields(header);
    if (fields.At<std::uint32_t>(container::kKeyLengthOffset) != container::kWrappedKeyLength) {
        return {};
    }
    const std::uint64_t originalSize = *fields.At<std::uint64_t>(container::kOriginalSizeOffset);

    std::vector<std::uint8_t> fileKey;
    if (!UnwrapFileKey(*fields.Bytes(container::kWrappedKeyOffset, container::kWrappedKeyLength),
                       fileKey)) {
        return {};
    }
    AesDecryptor aes;
    if (aes.SetKey(fileKey.data(), static_cast<std::uint32_t>(fileKey.size())) != 0) {
        return {};
    }

    std::unique_ptr<std::uint8_t[]> cipherText(new (std::nothrow) std::uint8_t[kBodyChunkSize]);
    std::unique_ptr<std::uint8_t[]> plainText(new (std::nothrow) std::uint8_t[kBodyChunkSize]);
    if (!cipherText || !plainText) {
        return {};
    }

    // A document needs a name: a container called just ".WNCRY" is left to the disk restore.
    const std::string name = DocumentNameFromContainerPath(containerPath);
    if (name.empty()) {
        return {};
    }
    std::string outputPath = JoinOutputPath(outputFolder, name);
    platform::File output = CreateUniqueFile(outputPath, kDecryptedNameLimit);
    if (!output.IsOpen()) {
        return {};
    }

    std::uint8_t chainingValue[16] = {};
    std::uint64_t bodyRead = 0;
    while (bodyRead != originalSize) {
        std::uint32_t got = 0;
        if (!source.Read(cipherText.get(), kBodyChunkSize, got) || got == 0) {
            break; // a read failure ends the body; the size is still set below
        }
        bodyRead += got;
        // A final piece that is not a whole block is refused by the cipher; the bytes that
        // stand for it are then zeros rather than leftovers of the previous chunk.
        std::uint32_t whole = got & ~std::uint32_t{15};
        aes.DecryptCbc(cipherText.get(), plainText.get(), whole, chainingValue);
        std::memset(plainText.get() + whole, 0, got - whole);
        if (!output.Write(plainText.get(), got)) {
            return {}; // the partial file stays: its name is taken and it may still help
        }
    }

    if (!output.Seek(originalSize) || !output.SetEndOfFile() || !output.Close()) {
        return {};
    }
    return outputPath;
}
