// Decryption of ransom containers: the 280-byte header with the RSA-wrapped file key, then
// the document encrypted with AES-CBC under that key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/crypto.h"

// Layout of the container header.
namespace container {
constexpr std::size_t kMagicOffset = 0;
constexpr char kMagic[8] = {'W', 'A', 'N', 'A', 'C', 'R', 'Y', '!'};
constexpr std::size_t kKeyLengthOffset = 8;
constexpr std::size_t kWrappedKeyOffset = 12;
constexpr std::uint32_t kWrappedKeyLength = 256;
constexpr std::size_t kOriginalSizeOffset = 272;
constexpr std::size_t kHeaderSize = 280;
} // namespace container

class RansomDecryptor {
public:
    // Acquires the RSA provider and imports the key that comes with the build.
    RansomDecryptor();
    ~RansomDecryptor();
    RansomDecryptor(const RansomDecryptor&) = delete;
    RansomDecryptor& operator=(const RansomDecryptor&) = delete;

    // Adds a private key (a PRIVATEKEYBLOB) tried after the embedded one. False when the
    // provider is unavailable or the blob is not a usable key.
    bool AddKey(std::span<const std::uint8_t> blob);

    // True when at least one key can unwrap file keys.
    [[nodiscard]] bool KeyReady() const { return !m_keys.empty(); }

    // Decrypts the container into the output folder under the document's own name (numbered
    // when taken) and returns the path written, or the empty string when nothing was decrypted.
    std::string DecryptContainer(const std::string& containerPath,
                                 const std::string& outputFolder) const;

private:
    bool UnwrapFileKey(std::span<const std::uint8_t> wrappedKey,
                       std::vector<std::uint8_t>& fileKey) const;

    std::unique_ptr<platform::CryptProvider> m_provider;
    std::vector<std::unique_ptr<platform::CryptKey>> m_keys;
};

// The document's name taken from a container path: what lies between the path's last
// separator and the '.' before its last "WNCRY"; empty when the path has no such shape.
std::string DocumentNameFromContainerPath(const std::string& containerPath);
