// The RSA key-exchange provider on libcrypto: PRIVATEKEYBLOB import and PKCS #1 v1.5 unwrapping
// of cipher texts given least significant byte first.
#include "platform/crypto.h"

#include "platform/le_reader.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>
#include <openssl/rsa.h>

#include "platform/openssl_ptr.h"
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {
namespace {

using platform::BignumPtr;
using platform::EvpPkeyCtxPtr;
using platform::EvpPkeyPtr;
using platform::ParamBldPtr;
using platform::ParamPtr;

constexpr char kEnhancedRsaAesProvider[] = "Microsoft Enhanced RSA and AES Cryptographic Provider";

// BLOBHEADER followed by RSAPUBKEY; the key components follow at kComponentsOffset.
constexpr std::size_t kBlobTypeOffset = 0;    // u8 bType
constexpr std::size_t kBlobVersionOffset = 1; // u8 bVersion (u16 reserved at 2 is not examined)
constexpr std::size_t kAlgIdOffset = 4;       // u32 aiKeyAlg
constexpr std::size_t kRsaMagicOffset = 8;    // u32 magic
constexpr std::size_t kBitLengthOffset = 12;  // u32 bitlen
constexpr std::size_t kPubExpOffset = 16;     // u32 pubexp
constexpr std::size_t kComponentsOffset = 20;

constexpr std::uint8_t kPrivateKeyBlobType = 7;
constexpr std::uint8_t kBlobVersion = 2;
constexpr std::uint32_t kCalgRsaKeyx = 0xA400;
constexpr std::uint32_t kCalgRsaSign = 0x2400;
constexpr std::uint32_t kRsa2Magic = 0x32415352; // "RSA2" read little-endian
constexpr std::uint32_t kExpectedBits = 2048;

// libcrypto's own bounds for an RSA modulus; a header outside them cannot describe a usable key
// and must not make us size anything after it.
constexpr std::uint32_t kMinBitLength = 512;
constexpr std::uint32_t kMaxBitLength = 16384;

// Spelled out because libcrypto 3.0's headers predate the name; later versions turn implicit
// rejection on by default, which would make a wrong key "succeed" with a random message.
constexpr char kImplicitRejectionParam[] = "rsa_pkcs1_implicit_rejection";

// Private key material in ordinary buffers is wiped before the memory goes back.
class SecureBytes {
public:
    explicit SecureBytes(std::size_t size) : m_bytes(size) {}
    ~SecureBytes() { OPENSSL_cleanse(m_bytes.data(), m_bytes.size()); }
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;
    std::uint8_t* Data() { return m_bytes.data(); }
    std::size_t Size() const { return m_bytes.size(); }

private:
    std::vector<std::uint8_t> m_bytes;
};

std::string Hex(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

// Size of the whole blob for a key of `bitLength` bits: headers, modulus and private exponent of
// bitLength/8 bytes, two primes, two CRT exponents and the coefficient of bitLength/16 bytes.
std::size_t BlobSizeFor(std::uint32_t bitLength) {
    return kComponentsOffset + 2 * (bitLength / 8) + 5 * (bitLength / 16);
}

struct KeyBlobFields {
    std::uint32_t algId = 0;
    std::uint32_t bitLength = 0;
    std::uint32_t publicExponent = 0;
    std::span<const std::uint8_t> modulus;
    std::span<const std::uint8_t> prime1;
    std::span<const std::uint8_t> prime2;
    std::span<const std::uint8_t> exponent1;
    std::span<const std::uint8_t> exponent2;
    std::span<const std::uint8_t> coefficient;
    std::span<const std::uint8_t> privateExponent;
};

// Why `blob` is not a well-formed RSA PRIVATEKEYBLOB (of `requiredBits` bits when that is not 0),
// or the empty string with `fields` filled in.
std::string ReadKeyBlob(std::span<const std::uint8_t> blob, std::uint32_t requiredBits,
                        KeyBlobFields& fields) {
    const LeReader reader(blob);
    const auto type = reader.At<std::uint8_t>(kBlobTypeOffset);
    const auto version = reader.At<std::uint8_t>(kBlobVersionOffset);
    const auto algId = reader.At<std::uint32_t>(kAlgIdOffset);
    const auto magic = reader.At<std::uint32_t>(kRsaMagicOffset);
    const auto bitLength = reader.At<std::uint32_t>(kBitLengthOffset);
    const auto publicExponent = reader.At<std::uint32_t>(kPubExpOffset);
    if (!type || !version || !algId || !magic || !bitLength || !publicExponent) {
        return std::to_string(blob.size()) + " bytes; too short for a PRIVATEKEYBLOB header (" +
               std::to_string(kComponentsOffset) + " bytes)";
    }
    if (*type != kPrivateKeyBlobType) {
        return "not a PRIVATEKEYBLOB (type " + std::to_string(*type) + ", expected " +
               std::to_string(kPrivateKeyBlobType) + ")";
    }
    if (*version != kBlobVersion) {
        return "unsupported PRIVATEKEYBLOB version " + std::to_string(*version) + " (expected " +
               std::to_string(kBlobVersion) + ")";
    }
    if (*algId != kCalgRsaKeyx && *algId != kCalgRsaSign) {
        return "algorithm " + Hex(*algId) + " is not an RSA key (expected " + Hex(kCalgRsaKeyx) +
               ", CALG_RSA_KEYX)";
    }
    if (*magic != kRsa2Magic) {
        return "no \"RSA2\" magic (found " + Hex(*magic) + "): not an RSA private key";
    }
    if (*bitLength % 16 != 0 || *bitLength < kMinBitLength || *bitLength > kMaxBitLength) {
        return "bit length " + std::to_string(*bitLength) + " is not a multiple of 16 between " +
               std::to_string(kMinBitLength) + " and " + std::to_string(kMaxBitLength);
    }
    if (requiredBits != 0 && *bitLength != requiredBits) {
        return "key is " + std::to_string(*bitLength) + " bits; " + std::to_string(requiredBits) +
               " expected";
    }
    const std::size_t wantSize = BlobSizeFor(*bitLength);
    if (blob.size() != wantSize) {
        return std::to_string(blob.size()) + " bytes; a " + std::to_string(*bitLength) +
               "-bit PRIVATEKEYBLOB has " + std::to_string(wantSize);
    }

    const std::size_t fullLength = *bitLength / 8;
    const std::size_t halfLength = *bitLength / 16;
    std::size_t offset = kComponentsOffset;
    // The size check above guarantees every component fits; Bytes() checks again regardless.
    auto next = [&](std::size_t length) {
        const auto bytes = reader.Bytes(offset, length);
        offset += length;
        return bytes.value_or(std::span<const std::uint8_t>{});
    };
    fields.algId = *algId;
    fields.bitLength = *bitLength;
    fields.publicExponent = *publicExponent;
    fields.modulus = next(fullLength);
    fields.prime1 = next(halfLength);
    fields.prime2 = next(halfLength);
    fields.exponent1 = next(halfLength);
    fields.exponent2 = next(halfLength);
    fields.coefficient = next(halfLength);
    fields.privateExponent = next(fullLength);
    return {};
}

BignumPtr LittleEndianBignum(std::span<const std::uint8_t> bytes) {
    return BignumPtr(BN_lebin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

// Builds the key from the blob's components and checks that they belong together; on failure
// the reason is left in `reason` and null returned.
EvpPkeyPtr BuildRsaKey(const KeyBlobFields& fields, std::string& reason) {
    reason = "the key could not be built";
    BignumPtr n = LittleEndianBignum(fields.modulus);
    BignumPtr e(BN_new());
    BignumPtr d = LittleEndianBignum(fields.privateExponent);
    BignumPtr p = LittleEndianBignum(fields.prime1);
    BignumPtr q = LittleEndianBignum(fields.prime2);
    BignumPtr dmp1 = LittleEndianBignum(fields.exponent1);
    BignumPtr dmq1 = LittleEndianBignum(fields.exponent2);
    BignumPtr iqmp = LittleEndianBignum(fields.coefficient);
    if (!n || !e || !d || !p || !q || !dmp1 || !dmq1 || !iqmp ||
        BN_set_word(e.get(), fields.publicExponent) != 1) {
        return nullptr;
    }
    // Cipher texts are exactly bitLength/8 bytes, so the modulus must fill its field; a short
    // modulus would also make every later size check lie.
    if (static_cast<std::uint32_t>(BN_num_bits(n.get())) != fields.bitLength) {
        reason = "the modulus has " + std::to_string(BN_num_bits(n.get())) +
                 " bits; the header says " + std::to_string(fields.bitLength);
        return nullptr;
    }

    ParamBldPtr builder(OSSL_PARAM_BLD_new());
    if (!builder || OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_D, d.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, p.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, q.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, dmp1.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, dmq1.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, iqmp.get()) != 1) {
        return nullptr;
    }
    ParamPtr params(OSSL_PARAM_BLD_to_param(builder.get()));
    EvpPkeyCtxPtr fromData(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!params || !fromData || EVP_PKEY_fromdata_init(fromData.get()) != 1 ||
        EVP_PKEY_fromdata(fromData.get(), &raw, EVP_PKEY_KEYPAIR, params.get()) != 1) {
        EVP_PKEY_free(raw);
        return nullptr;
    }
    EvpPkeyPtr key(raw);

    // A damaged blob still builds a key; only the full check (primes, n = p*q, d*e = 1, the CRT
    // values) tells, and a key that fails it would decrypt nothing or garbage.
    EvpPkeyCtxPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!check || EVP_PKEY_check(check.get()) != 1) {
        reason = "the key's components are inconsistent";
        return nullptr;
    }
    reason.clear();
    return key;
}

// Parses and builds in one go; leaves libcrypto's error queue empty either way, since a refused
// blob is an ordinary outcome and must not leave errors for unrelated later calls to find.
EvpPkeyPtr ImportRsaKey(std::span<const std::uint8_t> blob, std::uint32_t requiredBits,
                        std::string& reason) {
    KeyBlobFields fields;
    reason = ReadKeyBlob(blob, requiredBits, fields);
    if (!reason.empty()) {
        return nullptr;
    }
    EvpPkeyPtr key = BuildRsaKey(fields, reason);
    ERR_clear_error();
    if (key && requiredBits != 0 && fields.algId != kCalgRsaKeyx) {
        reason = "a signature key (" + Hex(fields.algId) +
                 ", CALG_RSA_SIGN); a key-exchange key (" + Hex(kCalgRsaKeyx) +
                 ", CALG_RSA_KEYX) expected";
        return nullptr;
    }
    return key;
}

// Sets implicit rejection off. Libraries that know the parameter (3.2 and later) must accept it;
// older ones never had implicit rejection, so there a refusal of the unknown name is harmless.
bool DisableImplicitRejection(EVP_PKEY_CTX* ctx) {
    unsigned int off = 0;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_uint(kImplicitRejectionParam, &off),
                           OSSL_PARAM_construct_end()};
    if (EVP_PKEY_CTX_set_params(ctx, params) == 1) {
        return true;
    }
    ERR_clear_error();
    const OSSL_PARAM* settable = EVP_PKEY_CTX_settable_params(ctx);
    return settable == nullptr ||
           OSSL_PARAM_locate_const(settable, kImplicitRejectionParam) == nullptr;
}

class RsaCryptKey final : public CryptKey {
public:
    explicit RsaCryptKey(EvpPkeyPtr key) : m_key(std::move(key)) {}

    bool Decrypt(std::span<std::uint8_t> buffer, std::uint32_t& messageLength) const override {
        const bool ok = DecryptInPlace(buffer, messageLength);
        ERR_clear_error();
        return ok;
    }

private:
    bool DecryptInPlace(std::span<std::uint8_t> buffer, std::uint32_t& messageLength) const {
        const int keySize = EVP_PKEY_get_size(m_key.get());
        if (keySize <= 0 || buffer.size() != static_cast<std::size_t>(keySize)) {
            return false;
        }
        // CryptoAPI hands the cipher text over least significant byte first; PKCS #1 wants the
        // big-endian octet string.
        SecureBytes cipherText(buffer.size());
        std::reverse_copy(buffer.begin(), buffer.end(), cipherText.Data());

        EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, m_key.get(), nullptr));
        if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
            EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
            !DisableImplicitRejection(ctx.get())) {
            return false;
        }
        SecureBytes message(buffer.size());
        std::size_t length = message.Size();
        if (EVP_PKEY_decrypt(ctx.get(), message.Data(), &length, cipherText.Data(),
                             cipherText.Size()) != 1 ||
            length > buffer.size()) {
            return false;
        }
        std::copy_n(message.Data(), length, buffer.begin());
        messageLength = static_cast<std::uint32_t>(length);
        return true;
    }

    EvpPkeyPtr m_key;
};

class RsaAesProvider final : public CryptProvider {
public:
    std::unique_ptr<CryptKey> ImportKey(std::span<const std::uint8_t> blob) const override {
        std::string reason;
        EvpPkeyPtr key = ImportRsaKey(blob, 0, reason);
        if (!key) {
            return nullptr;
        }
        return std::make_unique<RsaCryptKey>(std::move(key));
    }
};

} // namespace

std::unique_ptr<CryptProvider> CryptProvider::Acquire(const char* providerName,
                                                      std::uint32_t providerType,
                                                      std::uint32_t /*flags*/) {
    // There are no key containers here, so the flags (CRYPT_VERIFYCONTEXT in practice) have
    // nothing to select.
    if (providerType != kProvRsaAes) {
        return nullptr;
    }
    if (providerName != nullptr && std::strcmp(providerName, kEnhancedRsaAesProvider) != 0) {
        return nullptr;
    }
    // The context is only worth having if libcrypto can actually do RSA (a configuration
    // without the default provider cannot).
    EvpPkeyCtxPtr probe(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    ERR_clear_error();
    if (!probe) {
        return nullptr;
    }
    return std::make_unique<RsaAesProvider>();
}

std::string CheckPrivateKeyBlob2048(std::span<const std::uint8_t> blob) {
    std::string reason;
    EvpPkeyPtr key = ImportRsaKey(blob, kExpectedBits, reason);
    return key ? std::string() : reason;
}

} // namespace platform
