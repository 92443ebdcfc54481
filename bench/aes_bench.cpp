// CBC decryption throughput of the AES engine over the 1 MB chunks a container body is read
// in, beside OpenSSL's AES-CBC decryption as a yardstick (set OPENSSL_ia32cap to compare with
// its portable C path instead of AES-NI).
#include "decrypt/aes_decryptor.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "platform/openssl_ptr.h"
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

using platform::EvpCipherCtxPtr;

constexpr std::size_t kChunkSize = 1'048'576;

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

void BM_AesDecryptorCbc(benchmark::State& state) {
    const auto keyLength = static_cast<std::uint32_t>(state.range(0));
    const auto key = RandomBytes(keyLength, 1);
    const auto input = RandomBytes(kChunkSize, 2);
    std::vector<std::uint8_t> output(kChunkSize);
    std::vector<std::uint8_t> chain(16, 0);
    AesDecryptor aes;
    if (aes.SetKey(key.data(), keyLength) != 0) {
        state.SkipWithError("SetKey refused");
        return;
    }
    for (auto _ : state) {
        if (aes.DecryptCbc(input.data(), output.data(), kChunkSize, chain.data()) != 0) {
            state.SkipWithError("DecryptCbc refused");
            break;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kChunkSize));
}

void BM_OpenSslCbc(benchmark::State& state) {
    const auto keyLength = static_cast<std::uint32_t>(state.range(0));
    const auto key = RandomBytes(keyLength, 1);
    const auto input = RandomBytes(kChunkSize, 2);
    std::vector<std::uint8_t> output(kChunkSize + 16);
    const std::uint8_t iv[16] = {};
    const EVP_CIPHER* type = keyLength == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
    EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), type, nullptr, key.data(), iv) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        state.SkipWithError("OpenSSL set-up failed");
        return;
    }
    for (auto _ : state) {
        int written = 0;
        // The context carries the chain on between updates, as our chaining value does.
        if (EVP_DecryptUpdate(ctx.get(), output.data(), &written, input.data(),
                              static_cast<int>(kChunkSize)) != 1) {
            state.SkipWithError("EVP_DecryptUpdate failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kChunkSize));
}

} // namespace

BENCHMARK(BM_AesDecryptorCbc)->Arg(16)->Arg(32)->ArgName("keyBytes");
BENCHMARK(BM_OpenSslCbc)->Arg(16)->Arg(32)->ArgName("keyBytes");

BENCHMARK_MAIN();
