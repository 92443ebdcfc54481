// AES decryption (128-, 192- and 256-bit keys) and CBC decryption over whole blocks, used to
// turn a container body back into its document. There is deliberately no encryption direction.
#pragma once

#include <cstddef>
#include <cstdint>

class AesDecryptor {
public:
    // Block size of AES in bytes; CBC lengths must be a multiple of it.
    static constexpr std::size_t kBlockSize = 16;

    // Expands `key` into the decryption schedule. `length` is the key size in bytes (16, 24,
    // 32) or in bits (128, 192, 256). Returns 0 on success, 1 for any other length, in which
    // case the context keeps whatever key it held before.
    int SetKey(const std::uint8_t* key, std::uint32_t length);

    // Decrypts one 16-byte block; `in16` and `out16` may be the same buffer. Returns 1 and
    // writes nothing when no key has been set.
    int DecryptBlock(const std::uint8_t* in16, std::uint8_t* out16) const;

    // CBC-decrypts `length` bytes. `chainingValue16` is the caller's 16-byte chaining value
    // (the IV at the start of a chain); on return it holds the last cipher-text block, so
    // consecutive calls over consecutive pieces equal one call over the whole. `input` and
    // `output` may be the same buffer; any alignment is accepted. Returns 1 and touches
    // neither `output` nor `chainingValue16` when `length` is not a multiple of 16 or no key
    // has been set; a length of 0 succeeds and does nothing.
    int DecryptCbc(const std::uint8_t* input, std::uint8_t* output, std::size_t length,
                   std::uint8_t* chainingValue16) const;

private:
    // The equivalent-inverse-cipher schedule, in the order decryption uses it: room for the
    // 15 round keys of AES-256 (AES-128 uses 44 words, AES-192 52).
    std::uint32_t m_roundKeys[60] = {};
    // 16 x the number of rounds (160, 192 or 224); any other value means "no key".
    std::uint8_t m_roundMarker = 0;
};
