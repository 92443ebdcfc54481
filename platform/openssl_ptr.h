// Owners for libcrypto's objects, for the RSA provider and for the tools and tests that use
// libcrypto directly (to make containers, or as an oracle).
#pragma once

#include <memory>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

namespace platform {

struct BignumFree {
    void operator()(BIGNUM* bn) const noexcept { BN_clear_free(bn); }
};
using BignumPtr = std::unique_ptr<BIGNUM, BignumFree>;

struct EvpPkeyFree {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

struct EvpPkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const noexcept { EVP_PKEY_CTX_free(ctx); }
};
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, EvpPkeyCtxFree>;

struct EvpCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
using EvpCipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, EvpCipherCtxFree>;

struct ParamBldFree {
    void operator()(OSSL_PARAM_BLD* bld) const noexcept { OSSL_PARAM_BLD_free(bld); }
};
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree>;

struct ParamFree {
    void operator()(OSSL_PARAM* params) const noexcept { OSSL_PARAM_free(params); }
};
using ParamPtr = std::unique_ptr<OSSL_PARAM[], ParamFree>;

struct BioFree {
    void operator()(BIO* bio) const noexcept { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

} // namespace platform
