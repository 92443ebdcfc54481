// Tests of the AES engine: published known-answer vectors, the refusal cases, buffer sharing
// and alignment, and a randomized comparison with OpenSSL's AES-CBC decryption.
#include "decrypt/aes_decryptor.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "platform/openssl_ptr.h"
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

namespace {

using platform::EvpCipherCtxPtr;

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(std::string_view text) {
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9')
            return static_cast<std::uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f')
            return static_cast<std::uint8_t>(c - 'a' + 10);
        return static_cast<std::uint8_t>(c - 'A' + 10);
    };
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>((nibble(text[i]) << 4) | nibble(text[i + 1])));
    }
    return out;
}

AesDecryptor Keyed(const Bytes& key) {
    AesDecryptor aes;
    EXPECT_EQ(aes.SetKey(key.data(), static_cast<std::uint32_t>(key.size())), 0);
    return aes;
}

// ---- Single-block known answers (FIPS-197 Appendix C) --------------------------------------

struct BlockCase {
    const char* name;
    Bytes key;
    Bytes cipher;
    Bytes plain;
};

const Bytes kFipsPlain = Hex("00112233445566778899aabbccddeeff");

const BlockCase kBlockCases[] = {
    {"AES-128 (C.1)", Hex("000102030405060708090a0b0c0d0e0f"),
     Hex("69c4e0d86a7b0430d8cdb78070b4c55a"), kFipsPlain},
    {"AES-192 (C.2)", Hex("000102030405060708090a0b0c0d0e0f1011121314151617"),
     Hex("dda97ca4864cdfe06eaf70a0ec0d7191"), kFipsPlain},
    {"AES-256 (C.3)", Hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"),
     Hex("8ea2b7ca516745bfeafc49904b496089"), kFipsPlain},
};

TEST(AesDecryptorBlock, KnownAnswersWithLengthInBytesOrBits) {
    for (const auto& c : kBlockCases) {
        for (std::uint32_t unit : {1u, 8u}) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(unit == 1 ? "length in bytes" : "length in bits");
            AesDecryptor aes;
            ASSERT_EQ(aes.SetKey(c.key.data(), static_cast<std::uint32_t>(c.key.size()) * unit), 0);
            Bytes out(16, 0xA5);
            ASSERT_EQ(aes.DecryptBlock(c.cipher.data(), out.data()), 0);
            EXPECT_EQ(out, c.plain);

            Bytes inPlace = c.cipher;
            ASSERT_EQ(aes.DecryptBlock(inPlace.data(), inPlace.data()), 0);
            EXPECT_EQ(inPlace, c.plain);
        }
    }
}

// ---- CBC known answers (SP 800-38A F.2.2, F.2.4, F.2.6) ------------------------------------

struct CbcCase {
    const char* name;
    Bytes key;
    Bytes cipher;
};

const Bytes kCbcIv = Hex("000102030405060708090a0b0c0d0e0f");
const Bytes kCbcPlain = Hex("6bc1bee22e409f96e93d7e117393172a"
                            "ae2d8a571e03ac9c9eb76fac45af8e51"
                            "30c81c46a35ce411e5fbc1191a0a52ef"
                            "f69f2445df4f9b17ad2b417be66c3710");

const CbcCase kCbcCases[] = {
    {"CBC-AES128 (F.2.2)", Hex("2b7e151628aed2a6abf7158809cf4f3c"),
     Hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
         "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7")},
    {"CBC-AES192 (F.2.4)", Hex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b"),
     Hex("4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
         "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd")},
    {"CBC-AES256 (F.2.6)", Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"),
     Hex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
         "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b")},
};

// Each way of feeding the same 64 bytes must give the same plain text and leave the chaining
// value at the last cipher block: one call, 16 + 48 bytes with the chaining value carried, and
// decryption in place.
enum class Feed { OneCall, Split16And48, InPlace };

TEST(AesDecryptorCbc, KnownAnswersAcrossFeeds) {
    for (const auto& c : kCbcCases) {
        for (Feed feed : {Feed::OneCall, Feed::Split16And48, Feed::InPlace}) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(static_cast<int>(feed));
            const AesDecryptor aes = Keyed(c.key);
            Bytes chain = kCbcIv;
            Bytes out(c.cipher.size(), 0xA5);
            switch (feed) {
            case Feed::OneCall:
                ASSERT_EQ(aes.DecryptCbc(c.cipher.data(), out.data(), out.size(), chain.data()), 0);
                break;
            case Feed::Split16And48:
                ASSERT_EQ(aes.DecryptCbc(c.cipher.data(), out.data(), 16, chain.data()), 0);
                EXPECT_EQ(chain, Bytes(c.cipher.begin(), c.cipher.begin() + 16));
                ASSERT_EQ(aes.DecryptCbc(c.cipher.data() + 16, out.data() + 16, 48, chain.data()),
                          0);
                break;
            case Feed::InPlace:
                out = c.cipher;
                ASSERT_EQ(aes.DecryptCbc(out.data(), out.data(), out.size(), chain.data()), 0);
                break;
            }
            EXPECT_EQ(out, kCbcPlain);
            EXPECT_EQ(chain, Bytes(c.cipher.end() - 16, c.cipher.end()));
        }
    }
}

// ---- Refusals ------------------------------------------------------------------------------

TEST(AesDecryptorRefusal, UnacceptedKeyLengthKeepsTheContext) {
    const Bytes key(64, 0x3C);
    const BlockCase& previous = kBlockCases[0];
    for (std::uint32_t length : {0u, 1u, 15u, 17u, 20u, 33u, 64u, 127u, 129u, 160u, 512u}) {
        SCOPED_TRACE(length);
        // An unkeyed context stays unkeyed.
        AesDecryptor fresh;
        EXPECT_EQ(fresh.SetKey(key.data(), length), 1);
        Bytes out(16, 0xA5);
        EXPECT_EQ(fresh.DecryptBlock(previous.cipher.data(), out.data()), 1);
        EXPECT_EQ(out, Bytes(16, 0xA5));

        // A keyed context keeps decrypting with the key it had.
        AesDecryptor keyed = Keyed(previous.key);
        EXPECT_EQ(keyed.SetKey(key.data(), length), 1);
        ASSERT_EQ(keyed.DecryptBlock(previous.cipher.data(), out.data()), 0);
        EXPECT_EQ(out, previous.plain);
    }
}

TEST(AesDecryptorRefusal, UnkeyedContextWritesNothing) {
    const AesDecryptor aes;
    const Bytes in(32, 0x11);
    Bytes out(32, 0xA5);
    Bytes chain(16, 0x77);
    EXPECT_EQ(aes.DecryptBlock(in.data(), out.data()), 1);
    EXPECT_EQ(aes.DecryptCbc(in.data(), out.data(), in.size(), chain.data()), 1);
    EXPECT_EQ(out, Bytes(32, 0xA5));
    EXPECT_EQ(chain, Bytes(16, 0x77));
}

TEST(AesDecryptorRefusal, CbcLengthNotWholeBlocksWritesNothing) {
    const AesDecryptor aes = Keyed(kCbcCases[0].key);
    const std::size_t kLargest = 1'048'577;
    const Bytes in(kLargest, 0x5A);
    for (std::size_t length : {std::size_t{1}, std::size_t{15}, std::size_t{17}, kLargest}) {
        SCOPED_TRACE(length);
        Bytes out(kLargest, 0xA5);
        Bytes chain = kCbcIv;
        EXPECT_EQ(aes.DecryptCbc(in.data(), out.data(), length, chain.data()), 1);
        EXPECT_EQ(out, Bytes(kLargest, 0xA5));
        EXPECT_EQ(chain, kCbcIv);
    }
}

TEST(AesDecryptorCbc, ZeroLengthSucceedsAndChangesNothing) {
    const AesDecryptor aes = Keyed(kCbcCases[0].key);
    const Bytes in(16, 0x5A);
    Bytes out(16, 0xA5);
    Bytes chain = kCbcIv;
    EXPECT_EQ(aes.DecryptCbc(in.data(), out.data(), 0, chain.data()), 0);
    EXPECT_EQ(out, Bytes(16, 0xA5));
    EXPECT_EQ(chain, kCbcIv);
}

// ---- Alignment -----------------------------------------------------------------------------

TEST(AesDecryptorCbc, AnyAlignmentGivesTheSameResult) {
    const auto& c = kCbcCases[2];
    const AesDecryptor aes = Keyed(c.key);
    for (std::size_t inOffset = 0; inOffset < 8; ++inOffset) {
        for (std::size_t outOffset = 0; outOffset < 8; ++outOffset) {
            SCOPED_TRACE(inOffset * 100 + outOffset);
            Bytes in(inOffset + c.cipher.size());
            std::memcpy(in.data() + inOffset, c.cipher.data(), c.cipher.size());
            Bytes out(outOffset + c.cipher.size());
            // The chaining value is misaligned too.
            Bytes chain(1 + 16);
            std::memcpy(chain.data() + 1, kCbcIv.data(), 16);
            ASSERT_EQ(aes.DecryptCbc(in.data() + inOffset, out.data() + outOffset, c.cipher.size(),
                                     chain.data() + 1),
                      0);
            EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(outOffset), out.end()),
                      kCbcPlain);
        }
    }
}

// ---- Cross-check with OpenSSL --------------------------------------------------------------

Bytes OpenSslCbcDecrypt(const Bytes& key, const Bytes& iv, const Bytes& cipher) {
    const EVP_CIPHER* type = key.size() == 16   ? EVP_aes_128_cbc()
                             : key.size() == 24 ? EVP_aes_192_cbc()
                                                : EVP_aes_256_cbc();
    EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    Bytes plain(cipher.size() + 16);
    int written = 0;
    int finalWritten = 0;
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), type, nullptr, key.data(), iv.data()) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_DecryptUpdate(ctx.get(), plain.data(), &written, cipher.data(),
                          static_cast<int>(cipher.size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), plain.data() + written, &finalWritten) != 1) {
        ADD_FAILURE() << "OpenSSL decryption failed";
        return {};
    }
    plain.resize(static_cast<std::size_t>(written + finalWritten));
    return plain;
}

TEST(AesDecryptorCbc, MatchesOpenSslOnRandomData) {
    std::mt19937 rng(20240517);
    auto randomBytes = [&rng](std::size_t n) {
        Bytes b(n);
        for (auto& byte : b)
            byte = static_cast<std::uint8_t>(rng());
        return b;
    };
    for (std::size_t keyLength : {16u, 24u, 32u}) {
        for (std::size_t size : {16u, 48u, 4096u, 65'536u + 16u, 1'048'576u}) {
            SCOPED_TRACE(keyLength * 10'000'000 + size);
            const Bytes key = randomBytes(keyLength);
            const Bytes iv = randomBytes(16);
            const Bytes cipher = randomBytes(size);
            const Bytes want = OpenSslCbcDecrypt(key, iv, cipher);
            const AesDecryptor aes = Keyed(key);

            Bytes out(size);
            Bytes chain = iv;
            ASSERT_EQ(aes.DecryptCbc(cipher.data(), out.data(), size, chain.data()), 0);
            EXPECT_EQ(out, want);

            // The same chain fed in uneven whole-block pieces, in place.
            Bytes pieces = cipher;
            chain = iv;
            std::size_t done = 0;
            while (done < size) {
                const std::size_t piece = std::min<std::size_t>(size - done, 16 * (1 + rng() % 97));
                ASSERT_EQ(
                    aes.DecryptCbc(pieces.data() + done, pieces.data() + done, piece, chain.data()),
                    0);
                done += piece;
            }
            EXPECT_EQ(pieces, want);
            EXPECT_EQ(chain, Bytes(cipher.end() - 16, cipher.end()));
        }
    }
}

} // namespace
