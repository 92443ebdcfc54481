// The RSA key-exchange provider: acquire a context, import a private key in the published
// PRIVATEKEYBLOB form, and unwrap a PKCS #1 v1.5 (type 2) encrypted message given least
// significant byte first. Backed by OpenSSL's libcrypto on Linux.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

constexpr std::uint32_t kProvRsaAes = 24;
constexpr std::uint32_t kCryptVerifyContext = 0xF0000000u;
// Size of a PRIVATEKEYBLOB of a 2048-bit key: 20 bytes of headers, modulus, two primes, two
// exponents, coefficient and private exponent.
constexpr std::size_t kPrivateKeyBlob2048Size = 1172;

class CryptKey {
public:
    virtual ~CryptKey() = default;
    // Decrypts `buffer[0, 256)` (the cipher text, least significant byte first) in place.
    // On success the message is at the start of `buffer` and `messageLength` holds its length.
    // Fails on a wrong length, on an RSA failure and on any padding that is not a valid
    // PKCS #1 v1.5 type 2 padding (no "implicit rejection" random message).
    [[nodiscard]] virtual bool Decrypt(std::span<std::uint8_t> buffer,
                                       std::uint32_t& messageLength) const = 0;
};

class CryptProvider {
public:
    virtual ~CryptProvider() = default;

    // A context of `providerType` from the named provider, or from the default provider of
    // that type when `providerName` is null; null when none can be had.
    static std::unique_ptr<CryptProvider> Acquire(const char* providerName,
                                                  std::uint32_t providerType, std::uint32_t flags);

    // Imports a PRIVATEKEYBLOB; null when the blob is not a well-formed RSA private key blob.
    [[nodiscard]] virtual std::unique_ptr<CryptKey>
    ImportKey(std::span<const std::uint8_t> blob) const = 0;
};

// Why `blob` is not a usable 2048-bit RSA PRIVATEKEYBLOB (type 7, version 2, CALG_RSA_KEYX,
// "RSA2", 2048 bits, 1172 bytes, consistent key), or the empty string when it is.
std::string CheckPrivateKeyBlob2048(std::span<const std::uint8_t> blob);

} // namespace platform
