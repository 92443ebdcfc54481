// Table-driven AES decryption using the equivalent inverse cipher, whose rounds have the same
// shape as the forward cipher's and so reduce to four table look-ups per column.
#include "decrypt/aes_decryptor.h"

#include <bit>
#include <cstring>
#include <utility>

namespace {

// ---- Field arithmetic in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1 ----------------------------

constexpr std::uint8_t XTime(std::uint8_t a) {
    return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) != 0 ? 0x1B : 0x00));
}

constexpr std::uint8_t FieldMul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0)
            product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

// a^254 is the multiplicative inverse of a (a^255 = 1), and maps 0 to 0 as the S-box wants.
constexpr std::uint8_t FieldInverse(std::uint8_t a) {
    std::uint8_t result = 1;
    std::uint8_t power = a;
    for (unsigned exponent = 254; exponent != 0; exponent >>= 1) {
        if ((exponent & 1) != 0)
            result = FieldMul(result, power);
        power = FieldMul(power, power);
    }
    return result;
}

constexpr std::uint8_t RotateLeft8(std::uint8_t b, unsigned n) {
    return static_cast<std::uint8_t>((b << n) | (b >> (8 - n)));
}

constexpr std::uint8_t SubstituteByte(std::uint8_t a) {
    const std::uint8_t b = FieldInverse(a);
    return static_cast<std::uint8_t>(b ^ RotateLeft8(b, 1) ^ RotateLeft8(b, 2) ^ RotateLeft8(b, 3) ^
                                     RotateLeft8(b, 4) ^ 0x63);
}

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) |
           std::uint32_t{b3};
}

// ---- Tables, all computed by the compiler --------------------------------------------------
//
// Words are big-endian: byte 0 of a column sits in bits 31..24. Index [i] of each family is
// the contribution of a byte in row i of a column.

struct AesTables {
    // InvSubBytes + InvMixColumns for one byte; InvShiftRows is done by which bytes are picked.
    std::uint32_t decryptRound[4][256];
    // InvSubBytes alone, placed in byte position i, for the last round.
    std::uint32_t decryptFinal[4][256];
    // SubBytes placed in byte position i, for the key expansion.
    std::uint32_t keySub[4][256];
    // InvMixColumns for one byte, to turn encryption round keys into decryption round keys.
    std::uint32_t keyInvMix[4][256];
    std::uint8_t roundConstants[10];
};

constexpr AesTables BuildTables() {
    AesTables t{};
    std::uint8_t sbox[256] = {};
    std::uint8_t inverseSbox[256] = {};
    for (unsigned x = 0; x < 256; ++x) {
        const auto s = SubstituteByte(static_cast<std::uint8_t>(x));
        sbox[x] = s;
        inverseSbox[s] = static_cast<std::uint8_t>(x);
    }
    for (unsigned x = 0; x < 256; ++x) {
        const auto b = static_cast<std::uint8_t>(x);
        // Column of InvMixColumns' matrix for row 0: {0e, 09, 0d, 0b}; the other rows are the
        // same column rotated, which is why one rotation gives each further table.
        const std::uint32_t invMix =
            Word(FieldMul(b, 0x0E), FieldMul(b, 0x09), FieldMul(b, 0x0D), FieldMul(b, 0x0B));
        const std::uint8_t inv = inverseSbox[x];
        const std::uint32_t round = Word(FieldMul(inv, 0x0E), FieldMul(inv, 0x09),
                                         FieldMul(inv, 0x0D), FieldMul(inv, 0x0B));
        for (unsigned i = 0; i < 4; ++i) {
            t.keyInvMix[i][x] = std::rotr(invMix, static_cast<int>(8 * i));
            t.decryptRound[i][x] = std::rotr(round, static_cast<int>(8 * i));
            t.decryptFinal[i][x] = std::uint32_t{inv} << (24 - 8 * i);
            t.keySub[i][x] = std::uint32_t{sbox[x]} << (24 - 8 * i);
        }
    }
    std::uint8_t rc = 0x01;
    for (auto& constant : t.roundConstants) {
        constant = rc;
        rc = XTime(rc);
    }
    return t;
}

// Static storage: the tables live in read-only data and are shared by every context.
constexpr AesTables kTables = BuildTables();

constexpr bool SboxIsPermutationWithInverse() {
    for (unsigned x = 0; x < 256; ++x) {
        const std::uint32_t s = kTables.keySub[3][x];
        if ((kTables.decryptFinal[3][s] & 0xFF) != x)
            return false;
    }
    return true;
}
static_assert(SboxIsPermutationWithInverse(), "S-box and inverse S-box disagree");
static_assert(kTables.keySub[3][0x00] == 0x63 && kTables.keySub[3][0x53] == 0xED,
              "S-box generation is wrong");
static_assert(kTables.roundConstants[8] == 0x1B && kTables.roundConstants[9] == 0x36,
              "round constants are wrong");

// ---- Byte order helpers (no casts of the caller's buffers: any alignment works) ------------

[[gnu::always_inline]] inline std::uint32_t LoadBe(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

[[gnu::always_inline]] inline void StoreBe(std::uint8_t* p, std::uint32_t w) {
    p[0] = static_cast<std::uint8_t>(w >> 24);
    p[1] = static_cast<std::uint8_t>(w >> 16);
    p[2] = static_cast<std::uint8_t>(w >> 8);
    p[3] = static_cast<std::uint8_t>(w);
}

inline std::uint32_t B0(std::uint32_t w) {
    return w >> 24;
}
inline std::uint32_t B1(std::uint32_t w) {
    return (w >> 16) & 0xFF;
}
inline std::uint32_t B2(std::uint32_t w) {
    return (w >> 8) & 0xFF;
}
inline std::uint32_t B3(std::uint32_t w) {
    return w & 0xFF;
}

struct Block {
    std::uint32_t w0, w1, w2, w3;
};

// One full round of the equivalent inverse cipher. Output column c takes row r from input
// column c - r (InvShiftRows).
[[gnu::always_inline]] inline Block InverseRound(const Block& s, const std::uint32_t* rk) {
    const auto& td = kTables.decryptRound;
    return {td[0][B0(s.w0)] ^ td[1][B1(s.w3)] ^ td[2][B2(s.w2)] ^ td[3][B3(s.w1)] ^ rk[0],
            td[0][B0(s.w1)] ^ td[1][B1(s.w0)] ^ td[2][B2(s.w3)] ^ td[3][B3(s.w2)] ^ rk[1],
            td[0][B0(s.w2)] ^ td[1][B1(s.w1)] ^ td[2][B2(s.w0)] ^ td[3][B3(s.w3)] ^ rk[2],
            td[0][B0(s.w3)] ^ td[1][B1(s.w2)] ^ td[2][B2(s.w1)] ^ td[3][B3(s.w0)] ^ rk[3]};
}

[[gnu::always_inline]] inline Block FinalRound(const Block& s, const std::uint32_t* rk) {
    const auto& tf = kTables.decryptFinal;
    return {tf[0][B0(s.w0)] ^ tf[1][B1(s.w3)] ^ tf[2][B2(s.w2)] ^ tf[3][B3(s.w1)] ^ rk[0],
            tf[0][B0(s.w1)] ^ tf[1][B1(s.w0)] ^ tf[2][B2(s.w3)] ^ tf[3][B3(s.w2)] ^ rk[1],
            tf[0][B0(s.w2)] ^ tf[1][B1(s.w1)] ^ tf[2][B2(s.w0)] ^ tf[3][B3(s.w3)] ^ rk[2],
            tf[0][B0(s.w3)] ^ tf[1][B1(s.w2)] ^ tf[2][B2(s.w1)] ^ tf[3][B3(s.w0)] ^ rk[3]};
}

// The full rounds are expanded at compile time (a fold over the round numbers), so each key
// size gets straight-line code with constant round-key offsets. The helpers are forced inline:
// a call per round costs more than the round, and the size heuristics at -O2 keep them out
// of line otherwise.
template <std::size_t... Round>
[[gnu::always_inline]] inline Block InverseRounds(Block s, const std::uint32_t* rk,
                                                  std::index_sequence<Round...>) {
    ((s = InverseRound(s, rk + 4 * (Round + 1))), ...);
    return s;
}

template <int Rounds>
[[gnu::always_inline]] inline Block DecryptWords(const Block& c, const std::uint32_t* rk) {
    Block s{c.w0 ^ rk[0], c.w1 ^ rk[1], c.w2 ^ rk[2], c.w3 ^ rk[3]};
    s = InverseRounds(s, rk, std::make_index_sequence<Rounds - 1>{});
    return FinalRound(s, rk + 4 * Rounds);
}

[[gnu::always_inline]] inline Block LoadBlock(const std::uint8_t* p) {
    return {LoadBe(p), LoadBe(p + 4), LoadBe(p + 8), LoadBe(p + 12)};
}

[[gnu::always_inline]] inline void StoreBlock(std::uint8_t* p, const Block& b) {
    StoreBe(p, b.w0);
    StoreBe(p + 4, b.w1);
    StoreBe(p + 8, b.w2);
    StoreBe(p + 12, b.w3);
}

// Two independent blocks advanced round by round together, for CBC decryption.
struct BlockPair {
    Block a, b;
};

template <std::size_t... Round>
[[gnu::always_inline]] inline BlockPair InverseRoundsPair(BlockPair s, const std::uint32_t* rk,
                                                          std::index_sequence<Round...>) {
    ((s = {InverseRound(s.a, rk + 4 * (Round + 1)), InverseRound(s.b, rk + 4 * (Round + 1))}), ...);
    return s;
}

template <int Rounds>
[[gnu::always_inline]] inline BlockPair DecryptPair(const BlockPair& c, const std::uint32_t* rk) {
    BlockPair s{{c.a.w0 ^ rk[0], c.a.w1 ^ rk[1], c.a.w2 ^ rk[2], c.a.w3 ^ rk[3]},
                {c.b.w0 ^ rk[0], c.b.w1 ^ rk[1], c.b.w2 ^ rk[2], c.b.w3 ^ rk[3]}};
    s = InverseRoundsPair(s, rk, std::make_index_sequence<Rounds - 1>{});
    return {FinalRound(s.a, rk + 4 * Rounds), FinalRound(s.b, rk + 4 * Rounds)};
}

[[gnu::always_inline]] inline Block Xor(const Block& x, const Block& y) {
    return {x.w0 ^ y.w0, x.w1 ^ y.w1, x.w2 ^ y.w2, x.w3 ^ y.w3};
}

template <int Rounds>
void DecryptCbcBlocks(const std::uint32_t* rk, const std::uint8_t* input, std::uint8_t* output,
                      std::size_t blocks, std::uint8_t* chainingValue16) {
    constexpr std::size_t kBlock = AesDecryptor::kBlockSize;
    Block chain = LoadBlock(chainingValue16);
    std::size_t i = 0;
    // CBC decryption has no dependency between blocks, so two are decrypted side by side to
    // keep more table look-ups in flight.
    for (; i + 2 <= blocks; i += 2) {
        // Both cipher blocks are read before anything is written, so in-place decryption still
        // sees the cipher text it needs for the chaining values.
        const BlockPair cipher{LoadBlock(input + i * kBlock), LoadBlock(input + (i + 1) * kBlock)};
        const BlockPair plain = DecryptPair<Rounds>(cipher, rk);
        StoreBlock(output + i * kBlock, Xor(plain.a, chain));
        StoreBlock(output + (i + 1) * kBlock, Xor(plain.b, cipher.a));
        chain = cipher.b;
    }
    if (i < blocks) {
        const Block cipher = LoadBlock(input + i * kBlock);
        StoreBlock(output + i * kBlock, Xor(DecryptWords<Rounds>(cipher, rk), chain));
        chain = cipher;
    }
    StoreBlock(chainingValue16, chain);
}

inline std::uint32_t SubWord(std::uint32_t w) {
    const auto& ts = kTables.keySub;
    return ts[0][B0(w)] ^ ts[1][B1(w)] ^ ts[2][B2(w)] ^ ts[3][B3(w)];
}

inline std::uint32_t InvMixColumn(std::uint32_t w) {
    const auto& tm = kTables.keyInvMix;
    return tm[0][B0(w)] ^ tm[1][B1(w)] ^ tm[2][B2(w)] ^ tm[3][B3(w)];
}

constexpr std::uint8_t kMarker128 = 160;
constexpr std::uint8_t kMarker192 = 192;
constexpr std::uint8_t kMarker256 = 224;

} // namespace

int AesDecryptor::SetKey(const std::uint8_t* key, std::uint32_t length) {
    std::uint32_t keyWords = 0;
    switch (length) {
    case 16:
    case 128:
        keyWords = 4;
        break;
    case 24:
    case 192:
        keyWords = 6;
        break;
    case 32:
    case 256:
        keyWords = 8;
        break;
    default:
        return 1;
    }
    if (key == nullptr)
        return 1;

    const std::uint32_t rounds = keyWords + 6;
    const std::uint32_t totalWords = 4 * (rounds + 1);

    // Forward key expansion.
    std::uint32_t forward[60] = {};
    for (std::uint32_t i = 0; i < keyWords; ++i)
        forward[i] = LoadBe(key + 4 * i);
    for (std::uint32_t i = keyWords; i < totalWords; ++i) {
        std::uint32_t temp = forward[i - 1];
        if (i % keyWords == 0) {
            temp = SubWord(std::rotl(temp, 8)) ^
                   (std::uint32_t{kTables.roundConstants[i / keyWords - 1]} << 24);
        } else if (keyWords > 6 && i % keyWords == 4) {
            temp = SubWord(temp);
        }
        forward[i] = forward[i - keyWords] ^ temp;
    }

    // Equivalent inverse cipher: round keys in reverse order, InvMixColumns applied to all
    // but the first and last, so that decryption rounds mirror encryption rounds.
    std::uint32_t schedule[60] = {};
    for (std::uint32_t round = 0; round <= rounds; ++round) {
        for (std::uint32_t j = 0; j < 4; ++j) {
            const std::uint32_t w = forward[4 * (rounds - round) + j];
            schedule[4 * round + j] = (round == 0 || round == rounds) ? w : InvMixColumn(w);
        }
    }

    std::memcpy(m_roundKeys, schedule, sizeof(m_roundKeys));
    m_roundMarker = static_cast<std::uint8_t>(16 * rounds);
    return 0;
}

int AesDecryptor::DecryptBlock(const std::uint8_t* in16, std::uint8_t* out16) const {
    switch (m_roundMarker) {
    case kMarker128:
        StoreBlock(out16, DecryptWords<10>(LoadBlock(in16), m_roundKeys));
        return 0;
    case kMarker192:
        StoreBlock(out16, DecryptWords<12>(LoadBlock(in16), m_roundKeys));
        return 0;
    case kMarker256:
        StoreBlock(out16, DecryptWords<14>(LoadBlock(in16), m_roundKeys));
        return 0;
    default:
        return 1;
    }
}

int AesDecryptor::DecryptCbc(const std::uint8_t* input, std::uint8_t* output, std::size_t length,
                             std::uint8_t* chainingValue16) const {
    if (length % kBlockSize != 0)
        return 1;
    const std::size_t blocks = length / kBlockSize;
    if (blocks == 0)
        return 0;
    // An unkeyed context refuses quietly rather than producing garbage plain text.
    switch (m_roundMarker) {
    case kMarker128:
        DecryptCbcBlocks<10>(m_roundKeys, input, output, blocks, chainingValue16);
        return 0;
    case kMarker192:
        DecryptCbcBlocks<12>(m_roundKeys, input, output, blocks, chainingValue16);
        return 0;
    case kMarker256:
        DecryptCbcBlocks<14>(m_roundKeys, input, output, blocks, chainingValue16);
        return 0;
    default:
        return 1;
    }
}
