// Tests of the RSA provider: PRIVATEKEYBLOB import and refusal, and the unwrapping of keys
// wrapped with libcrypto the way the containers' keys are (PKCS #1 v1.5, byte-reversed).
#include "platform/crypto.h"
#include "platform/le_reader.h"

#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include "platform/openssl_ptr.h"
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::BioPtr;
using platform::EvpPkeyCtxPtr;
using platform::EvpPkeyPtr;

using Bytes = std::vector<std::uint8_t>;

constexpr char kProviderName[] = "Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr std::size_t kCipherTextSize = 256;

// Offsets into a PRIVATEKEYBLOB that the damage cases aim at.
constexpr std::size_t kTypeOffset = 0;
constexpr std::size_t kVersionOffset = 1;
constexpr std::size_t kAlgIdOffset = 4;
constexpr std::size_t kMagicOffset = 8;
constexpr std::size_t kBitLengthOffset = 12;
constexpr std::size_t kModulusOffset = 20;
constexpr std::size_t kPrime1Offset = kModulusOffset + 256;
constexpr std::size_t kPrivateExponentOffset = kModulusOffset + 256 + 5 * 128;

std::string SourcePath(const char* relative) {
    return std::string(DOCSALVE_SOURCE_DIR) + "/" + relative;
}

Bytes ReadFile(const char* relative) {
    std::ifstream in(SourcePath(relative), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

EvpPkeyPtr ReadPublicKey(const char* relative) {
    BioPtr bio(BIO_new_file(SourcePath(relative).c_str(), "r"));
    if (!bio) {
        return nullptr;
    }
    return EvpPkeyPtr(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
}

Bytes RandomBytes(std::size_t size) {
    Bytes bytes(size);
    EXPECT_EQ(RAND_bytes(bytes.data(), static_cast<int>(bytes.size())), 1);
    return bytes;
}

// Encrypts `message` with the public key and `padding`, then reverses the result into the least
// significant byte first order in which the containers carry it.
Bytes Wrap(EVP_PKEY* publicKey, const Bytes& message, int padding = RSA_PKCS1_PADDING) {
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, publicKey, nullptr));
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) != 1 ||
        EVP_PKEY_encrypt(ctx.get(), nullptr, &length, message.data(), message.size()) != 1) {
        ADD_FAILURE() << "cannot set up the encryption";
        return {};
    }
    Bytes cipherText(length);
    if (EVP_PKEY_encrypt(ctx.get(), cipherText.data(), &length, message.data(), message.size()) !=
        1) {
        ADD_FAILURE() << "encryption failed";
        return {};
    }
    cipherText.resize(length);
    std::reverse(cipherText.begin(), cipherText.end());
    return cipherText;
}

class CryptoTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_demoBlob = ReadFile("keys/demo-private.keyblob");
        ASSERT_EQ(m_demoBlob.size(), platform::kPrivateKeyBlob2048Size);
        m_demoPublic = ReadPublicKey("keys/demo-public.pem");
        m_foreignPublic = ReadPublicKey("tests/data/foreign-public.pem");
        ASSERT_TRUE(m_demoPublic && m_foreignPublic);
        m_provider = platform::CryptProvider::Acquire(kProviderName, platform::kProvRsaAes,
                                                      platform::kCryptVerifyContext);
        ASSERT_TRUE(m_provider);
        m_key = m_provider->ImportKey(m_demoBlob);
        ASSERT_TRUE(m_key);
    }

    Bytes m_demoBlob;
    EvpPkeyPtr m_demoPublic;
    EvpPkeyPtr m_foreignPublic;
    std::unique_ptr<platform::CryptProvider> m_provider;
    std::unique_ptr<platform::CryptKey> m_key;
};

struct AcquireCase {
    const char* name;
    const char* providerName;
    std::uint32_t providerType;
    bool acquired;
};

const AcquireCase kAcquireCases[] = {
    {"named RSA and AES provider", kProviderName, platform::kProvRsaAes, true},
    {"default provider of the type", nullptr, platform::kProvRsaAes, true},
    {"PROV_RSA_FULL", kProviderName, 1, false},
    {"PROV_RSA_FULL default", nullptr, 1, false},
    {"other provider name", "Microsoft Base Cryptographic Provider v1.0", platform::kProvRsaAes,
     false},
    {"empty provider name", "", platform::kProvRsaAes, false},
};

TEST(CryptProviderAcquire, AcceptsOnlyTheRsaAesProvider) {
    for (const auto& c : kAcquireCases) {
        SCOPED_TRACE(c.name);
        auto provider = platform::CryptProvider::Acquire(c.providerName, c.providerType,
                                                         platform::kCryptVerifyContext);
        EXPECT_EQ(provider != nullptr, c.acquired);
    }
}

TEST_F(CryptoTest, DemoBlobIsAValid2048BitKey) {
    EXPECT_EQ(platform::CheckPrivateKeyBlob2048(m_demoBlob), "");
}

TEST_F(CryptoTest, UnwrapsKeysOfEveryAesSize) {
    for (std::size_t size : {16u, 24u, 32u}) {
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE("key of " + std::to_string(size) + " bytes, round " +
                         std::to_string(round));
            const Bytes aesKey = RandomBytes(size);
            Bytes buffer = Wrap(m_demoPublic.get(), aesKey);
            ASSERT_EQ(buffer.size(), kCipherTextSize);
            std::uint32_t messageLength = 0;
            ASSERT_TRUE(m_key->Decrypt(buffer, messageLength));
            ASSERT_EQ(messageLength, size);
            EXPECT_TRUE(std::equal(aesKey.begin(), aesKey.end(), buffer.begin()));
        }
    }
}

TEST_F(CryptoTest, SecondImportOfOneBlobWorksAlone) {
    // Two imports of one blob must both work: nothing in the first import may be consumed.
    auto second = m_provider->ImportKey(m_demoBlob);
    ASSERT_TRUE(second);
    const Bytes aesKey = RandomBytes(16);
    Bytes buffer = Wrap(m_demoPublic.get(), aesKey);
    std::uint32_t messageLength = 0;
    m_key.reset();
    ASSERT_TRUE(second->Decrypt(buffer, messageLength));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + messageLength), aesKey);
}

TEST_F(CryptoTest, KeyWrappedForAnotherKeyPairFails) {
    // With implicit rejection a wrong key would "decrypt" to a random message of plausible
    // length, so one lucky round proves nothing: every one of many must fail.
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes buffer = Wrap(m_foreignPublic.get(), RandomBytes(16));
        ASSERT_EQ(buffer.size(), kCipherTextSize);
        std::uint32_t messageLength = 0;
        EXPECT_FALSE(m_key->Decrypt(buffer, messageLength));
    }
}

TEST_F(CryptoTest, CipherTextInTheWrongByteOrderFails) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes buffer = Wrap(m_demoPublic.get(), RandomBytes(16));
        std::reverse(buffer.begin(), buffer.end());
        std::uint32_t messageLength = 0;
        EXPECT_FALSE(m_key->Decrypt(buffer, messageLength));
    }
}

struct PaddingCase {
    const char* name;
    // The full 256-byte encoded message before RSA, built from random filler.
    Bytes (*encode)();
};

Bytes EncodeWithPrefix(std::uint8_t first, std::uint8_t second, bool separator) {
    Bytes em(kCipherTextSize);
    for (auto& byte : em) {
        while (byte == 0) {
            RAND_bytes(&byte, 1);
        }
    }
    em[0] = first;
    em[1] = second;
    if (separator) {
        em[kCipherTextSize - 17] = 0; // a 16-byte message after the zero
    }
    return em;
}

const PaddingCase kBadPaddingCases[] = {
    {"block type 1 (signature padding)", [] { return EncodeWithPrefix(0x00, 0x01, true); }},
    {"block type 2 without the zero separator", [] { return EncodeWithPrefix(0x00, 0x02, false); }},
    {"leading byte not zero", [] { return EncodeWithPrefix(0x01, 0x02, true); }},
    {"zero separator inside the first eight padding bytes",
     [] {
         Bytes em = EncodeWithPrefix(0x00, 0x02, false);
         em[5] = 0;
         return em;
     }},
};

TEST_F(CryptoTest, InvalidPaddingFails) {
    for (const auto& c : kBadPaddingCases) {
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round));
            Bytes buffer = Wrap(m_demoPublic.get(), c.encode(), RSA_NO_PADDING);
            ASSERT_EQ(buffer.size(), kCipherTextSize);
            std::uint32_t messageLength = 0;
            EXPECT_FALSE(m_key->Decrypt(buffer, messageLength));
        }
    }
}

TEST_F(CryptoTest, ValidHandMadePaddingDecrypts) {
    // Counterpart of the bad cases: the same construction with a correct padding must work, so
    // the failures above come from the padding and not from the construction.
    Bytes em = EncodeWithPrefix(0x00, 0x02, true);
    const Bytes message(em.end() - 16, em.end());
    Bytes buffer = Wrap(m_demoPublic.get(), em, RSA_NO_PADDING);
    std::uint32_t messageLength = 0;
    ASSERT_TRUE(m_key->Decrypt(buffer, messageLength));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + messageLength), message);
}

TEST_F(CryptoTest, WrongBufferLengthFails) {
    const Bytes good = Wrap(m_demoPublic.get(), RandomBytes(16));
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{255}, std::size_t{257}, std::size_t{512}}) {
        SCOPED_TRACE("buffer of " + std::to_string(size) + " bytes");
        Bytes buffer(size);
        std::copy_n(good.begin(), std::min(size, good.size()), buffer.begin());
        std::uint32_t messageLength = 0;
        EXPECT_FALSE(m_key->Decrypt(buffer, messageLength));
    }
}

struct BadBlobCase {
    const char* name;
    Bytes (*make)(Bytes demo);
    // What the CLI's refusal says.
    const char* reason;
    // Whether the blob is a well-formed RSA key all the same (just not the kind the program
    // carries), which the provider imports like CryptoAPI would.
    bool importable;
};

const BadBlobCase kBadBlobCases[] = {
    {"empty", [](Bytes) { return Bytes{}; },
     "0 bytes; too short for a PRIVATEKEYBLOB header (20 bytes)", false},
    {"truncated by one byte",
     [](Bytes b) {
         b.pop_back();
         return b;
     },
     "1171 bytes; a 2048-bit PRIVATEKEYBLOB has 1172", false},
    {"one byte too long",
     [](Bytes b) {
         b.push_back(0);
         return b;
     },
     "1173 bytes; a 2048-bit PRIVATEKEYBLOB has 1172", false},
    {"public key blob type",
     [](Bytes b) {
         b[kTypeOffset] = 6;
         return b;
     },
     "not a PRIVATEKEYBLOB (type 6, expected 7)", false},
    {"version 3",
     [](Bytes b) {
         b[kVersionOffset] = 3;
         return b;
     },
     "unsupported PRIVATEKEYBLOB version 3 (expected 2)", false},
    {"AES algorithm id",
     [](Bytes b) {
         b[kAlgIdOffset] = 0x10;
         b[kAlgIdOffset + 1] = 0x66;
         return b;
     },
     "algorithm 0x6610 is not an RSA key (expected 0xA400, CALG_RSA_KEYX)", false},
    {"public key magic RSA1",
     [](Bytes b) {
         b[kMagicOffset + 3] = '1';
         return b;
     },
     "no \"RSA2\" magic (found 0x31415352): not an RSA private key", false},
    {"bit length not a multiple of 16",
     [](Bytes b) {
         b[kBitLengthOffset] = 0x08;
         return b;
     },
     "bit length 2056 is not a multiple of 16 between 512 and 16384", false},
    {"1024-bit key", [](Bytes) { return ReadFile("tests/data/rsa1024-private.keyblob"); },
     "key is 1024 bits; 2048 expected", true},
    {"signature key",
     [](Bytes b) {
         b[kAlgIdOffset + 1] = 0x24;
         return b;
     },
     "a signature key (0x2400, CALG_RSA_SIGN); a key-exchange key (0xA400, CALG_RSA_KEYX) "
     "expected",
     true},
    {"corrupted prime",
     [](Bytes b) {
         b[kPrime1Offset + 17] ^= 0x40;
         return b;
     },
     "the key's components are inconsistent", false},
    {"corrupted private exponent",
     [](Bytes b) {
         b[kPrivateExponentOffset + 3] ^= 0x01;
         return b;
     },
     "the key's components are inconsistent", false},
    {"modulus shorter than its field",
     [](Bytes b) {
         b[kPrime1Offset - 1] = 0x01; // most significant byte of the modulus
         return b;
     },
     "the modulus has 2041 bits; the header says 2048", false},
};

TEST_F(CryptoTest, BadBlobsAreRefusedWithTheirReason) {
    for (const auto& c : kBadBlobCases) {
        SCOPED_TRACE(c.name);
        const Bytes blob = c.make(m_demoBlob);
        EXPECT_EQ(platform::CheckPrivateKeyBlob2048(blob), c.reason);
        EXPECT_EQ(m_provider->ImportKey(blob) != nullptr, c.importable);
    }
}

TEST_F(CryptoTest, ForeignBlobImportsButCannotUnwrapDemoKeys) {
    const Bytes foreignBlob = ReadFile("tests/data/foreign-private.keyblob");
    EXPECT_EQ(platform::CheckPrivateKeyBlob2048(foreignBlob), "");
    auto foreignKey = m_provider->ImportKey(foreignBlob);
    ASSERT_TRUE(foreignKey);
    Bytes buffer = Wrap(m_demoPublic.get(), RandomBytes(32));
    std::uint32_t messageLength = 0;
    EXPECT_FALSE(foreignKey->Decrypt(buffer, messageLength));
}

TEST_F(CryptoTest, EveryTruncationIsRefused) {
    // Walks every prefix of the blob, so that a component read past a short blob shows under
    // the address sanitizer.
    for (std::size_t size = 0; size < m_demoBlob.size(); ++size) {
        const std::span<const std::uint8_t> prefix(m_demoBlob.data(), size);
        ASSERT_FALSE(m_provider->ImportKey(prefix)) << size << " bytes";
        ASSERT_NE(platform::CheckPrivateKeyBlob2048(prefix), "") << size << " bytes";
    }
}

// Containers written by make-container must unwrap with the provider: the tool and the provider
// agree on the header layout, the byte order of the wrapped key and the CBC body.
struct ContainerCase {
    const char* name;
    std::size_t keyBytes;
    std::size_t documentSize;
    const char* extraOptions;
    std::uint64_t wantOriginalSize;
    std::size_t wantBodySize;
};

const ContainerCase kContainerCases[] = {
    {"AES-128, whole blocks", 16, 4096, "", 4096, 4096},
    {"AES-192, partial last block", 24, 1000, "", 1000, 1008},
    {"AES-256, more than one chunk", 32, 3000001, "", 3000001, 3000016},
    {"empty document", 16, 0, "", 0, 0},
    {"recorded size and filler", 16, 1000, "--original-size 4096 --filler-bytes 32", 4096, 1040},
};

const EVP_CIPHER* CbcCipher(std::size_t keyBytes) {
    return keyBytes == 16   ? EVP_aes_128_cbc()
           : keyBytes == 24 ? EVP_aes_192_cbc()
                            : EVP_aes_256_cbc();
}

Bytes DecryptCbc(const Bytes& key, std::span<const std::uint8_t> body) {
    struct CtxFree {
        void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    const std::uint8_t zeroIv[16] = {};
    Bytes plain(body.size() + 16);
    int length = 0;
    int finalLength = 0;
    if (!ctx ||
        EVP_DecryptInit_ex(ctx.get(), CbcCipher(key.size()), nullptr, key.data(), zeroIv) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_DecryptUpdate(ctx.get(), plain.data(), &length, body.data(),
                          static_cast<int>(body.size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), plain.data() + length, &finalLength) != 1) {
        ADD_FAILURE() << "AES-CBC decryption failed";
        return {};
    }
    plain.resize(static_cast<std::size_t>(length + finalLength));
    return plain;
}

TEST_F(CryptoTest, UnwrapsContainersWrittenByMakeContainer) {
    const std::filesystem::path tool = MAKE_CONTAINER_PATH;
    if (!std::filesystem::exists(tool)) {
        GTEST_SKIP() << "make-container is not built";
    }
    const std::filesystem::path dir =
        std::filesystem::path(testing::TempDir()) / "crypto_test_containers";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const auto& c : kContainerCases) {
        SCOPED_TRACE(c.name);
        const Bytes document = RandomBytes(c.documentSize);
        const auto documentPath = dir / "document.bin";
        const auto containerPath = dir / "document.bin.WNCRY";
        std::filesystem::remove(containerPath);
        {
            std::ofstream out(documentPath, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(document.data()),
                      static_cast<std::streamsize>(document.size()));
        }
        const std::string command = tool.string() + " --key-bytes " + std::to_string(c.keyBytes) +
                                    " " + c.extraOptions + " " +
                                    SourcePath("keys/demo-public.pem") + " " +
                                    documentPath.string() + " " + containerPath.string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        std::ifstream in(containerPath, std::ios::binary);
        const Bytes container((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
        const platform::LeReader reader(container);
        ASSERT_EQ(container.size(), 280 + c.wantBodySize);
        EXPECT_EQ(std::string(container.begin(), container.begin() + 8), "WANACRY!");
        EXPECT_EQ(reader.At<std::uint32_t>(8), 256u);
        EXPECT_EQ(reader.At<std::uint64_t>(272), c.wantOriginalSize);

        Bytes wrapped(container.begin() + 12, container.begin() + 268);
        std::uint32_t messageLength = 0;
        ASSERT_TRUE(m_key->Decrypt(wrapped, messageLength));
        ASSERT_EQ(messageLength, c.keyBytes);
        const Bytes aesKey(wrapped.begin(), wrapped.begin() + messageLength);
        const Bytes plain = DecryptCbc(aesKey, std::span(container).subspan(280));
        ASSERT_GE(plain.size(), document.size());
        EXPECT_TRUE(std::equal(document.begin(), document.end(), plain.begin()));
        // The padding up to the block boundary is zeros; filler beyond it is arbitrary.
        const std::size_t padded = (document.size() + 15) / 16 * 16;
        EXPECT_TRUE(std::all_of(plain.begin() + static_cast<std::ptrdiff_t>(document.size()),
                                plain.begin() + static_cast<std::ptrdiff_t>(padded),
                                [](std::uint8_t b) { return b == 0; }));

        // The tool never overwrites: a second run on the same output fails and leaves it intact.
        EXPECT_NE(std::system((command + " 2>/dev/null").c_str()), 0);
        EXPECT_EQ(std::filesystem::file_size(containerPath), container.size());
    }
    std::filesystem::remove_all(dir);
}

} // namespace
