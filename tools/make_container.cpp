// make-container: writes a ".WNCRY" ransom container for a document and an RSA public key, so
// that tests and the sample have containers whose key the matching private key unwraps.
//
// Layout written: "WANACRY!", keyLength 256, the AES key wrapped with RSA PKCS #1 v1.5 and stored
// least significant byte first, 4 zero bytes, originalSize, then the document zero-padded to whole
// 16-byte blocks (plus optional filler blocks) encrypted with AES-CBC under a zero IV.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/openssl_ptr.h"
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using platform::BioPtr;
using platform::EvpCipherCtxPtr;
using platform::EvpPkeyCtxPtr;
using platform::EvpPkeyPtr;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kMagic[] = "WANACRY!";
constexpr std::size_t kMagicSize = 8;
constexpr std::uint32_t kWrappedKeySize = 256; // RSA-2048
constexpr std::size_t kKeyLengthOffset = 8;
constexpr std::size_t kWrappedKeyOffset = 12;
constexpr std::size_t kOriginalSizeOffset = 272;
constexpr std::size_t kHeaderSize = 280;
constexpr std::size_t kAesBlockSize = 16;
// Documents may be hundreds of megabytes; they stream through buffers of this size.
constexpr std::size_t kChunkSize = 1 << 20;

constexpr char kUsage[] =
    "usage: make-container [--key-bytes 16|24|32] [--original-size N] [--filler-bytes K]\n"
    "                      PUBLIC.pem DOCUMENT OUTPUT.WNCRY\n"
    "  --key-bytes      AES key size: 16 (AES-128, default), 24 or 32\n"
    "  --original-size  size recorded in the header (default: the document's size)\n"
    "  --filler-bytes   extra encrypted filler after the padded document, a multiple of 16\n"
    "OUTPUT is never overwritten.\n";

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

struct Options {
    std::size_t keyBytes = 16;
    std::optional<std::uint64_t> originalSize;
    std::uint64_t fillerBytes = 0;
    std::string publicKeyPath;
    std::string documentPath;
    std::string outputPath;
};

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// The options, or nothing after printing why they are not usable.
std::optional<Options> ParseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool takesValue =
            arg == "--key-bytes" || arg == "--original-size" || arg == "--filler-bytes";
        if (takesValue) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "make-container: %s needs a value\n", argv[i]);
                return std::nullopt;
            }
            const auto value = ParseNumber(argv[++i]);
            if (!value) {
                std::fprintf(stderr, "make-container: %s: not a number: %s\n", argv[i - 1],
                             argv[i]);
                return std::nullopt;
            }
            if (arg == "--key-bytes") {
                if (*value != 16 && *value != 24 && *value != 32) {
                    std::fprintf(stderr, "make-container: --key-bytes must be 16, 24 or 32\n");
                    return std::nullopt;
                }
                options.keyBytes = static_cast<std::size_t>(*value);
            } else if (arg == "--original-size") {
                options.originalSize = *value;
            } else {
                // Only whole blocks can be CBC-encrypted; a body of odd length is made by
                // truncating a container afterwards.
                if (*value % kAesBlockSize != 0) {
                    std::fprintf(stderr,
                                 "make-container: --filler-bytes must be a multiple of 16\n");
                    return std::nullopt;
                }
                options.fillerBytes = *value;
            }
        } else if (arg.size() > 1 && arg.front() == '-') {
            std::fprintf(stderr, "make-container: unknown option %s\n", argv[i]);
            return std::nullopt;
        } else {
            positional.emplace_back(arg);
        }
    }
    if (positional.size() != 3) {
        std::fprintf(stderr, "make-container: expected 3 paths, got %zu\n", positional.size());
        return std::nullopt;
    }
    options.publicKeyPath = positional[0];
    options.documentPath = positional[1];
    options.outputPath = positional[2];
    return options;
}

void PutLe(std::span<std::uint8_t> out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::string OpenSslError() {
    const unsigned long code = ERR_get_error();
    if (code == 0) {
        return "unknown OpenSSL error";
    }
    std::array<char, 256> text{};
    ERR_error_string_n(code, text.data(), text.size());
    ERR_clear_error();
    return text.data();
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Thrown inside Run and turned into the exit status; the message goes to stderr.
struct Failure {
    std::string message;
};

EvpPkeyPtr ReadPublicKey(const std::string& path) {
    BioPtr bio(BIO_new_file(path.c_str(), "r"));
    if (!bio) {
        throw Failure{path + ": cannot open: " + OpenSslError()};
    }
    EvpPkeyPtr key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_is_a(key.get(), "RSA") != 1) {
        throw Failure{path + ": not a PEM RSA public key"};
    }
    if (EVP_PKEY_get_size(key.get()) != static_cast<int>(kWrappedKeySize)) {
        throw Failure{path + ": the header holds a 256-byte wrapped key; this key has " +
                      std::to_string(EVP_PKEY_get_bits(key.get())) + " bits, 2048 needed"};
    }
    return key;
}

// RSA PKCS #1 v1.5 encryption of `aesKey`, reversed into the least significant byte first order
// in which CryptoAPI hands cipher texts over.
std::vector<std::uint8_t> WrapKey(EVP_PKEY* publicKey, std::span<const std::uint8_t> aesKey) {
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, publicKey, nullptr));
    std::vector<std::uint8_t> wrapped(kWrappedKeySize);
    std::size_t length = wrapped.size();
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_encrypt(ctx.get(), wrapped.data(), &length, aesKey.data(), aesKey.size()) != 1 ||
        length != kWrappedKeySize) {
        throw Failure{"RSA encryption of the key failed: " + OpenSslError()};
    }
    std::reverse(wrapped.begin(), wrapped.end());
    return wrapped;
}

const EVP_CIPHER* CbcCipher(std::size_t keyBytes) {
    switch (keyBytes) {
    case 24:
        return EVP_aes_192_cbc();
    case 32:
        return EVP_aes_256_cbc();
    default:
        return EVP_aes_128_cbc();
    }
}

class BodyEncryptor {
public:
    BodyEncryptor(std::span<const std::uint8_t> key, int outFd)
        : m_ctx(EVP_CIPHER_CTX_new()), m_out(kChunkSize + kAesBlockSize), m_outFd(outFd) {
        const std::array<std::uint8_t, kAesBlockSize> zeroIv{};
        if (!m_ctx ||
            EVP_EncryptInit_ex(m_ctx.get(), CbcCipher(key.size()), nullptr, key.data(),
                               zeroIv.data()) != 1 ||
            EVP_CIPHER_CTX_set_padding(m_ctx.get(), 0) != 1) {
            throw Failure{"AES set-up failed: " + OpenSslError()};
        }
    }

    // Encrypts and writes up to kChunkSize bytes; the chain runs on across calls.
    void Feed(std::span<const std::uint8_t> plain) {
        int length = 0;
        if (EVP_EncryptUpdate(m_ctx.get(), m_out.data(), &length, plain.data(),
                              static_cast<int>(plain.size())) != 1) {
            throw Failure{"AES encryption failed: " + OpenSslError()};
        }
        Write(static_cast<std::size_t>(length));
    }

    void Finish() {
        int length = 0;
        if (EVP_EncryptFinal_ex(m_ctx.get(), m_out.data(), &length) != 1) {
            throw Failure{"AES encryption did not end on a block boundary: " + OpenSslError()};
        }
        Write(static_cast<std::size_t>(length));
    }

private:
    void Write(std::size_t length) {
        if (!WriteAll(m_outFd, m_out.data(), length)) {
            throw Failure{std::string("write failed: ") + std::strerror(errno)};
        }
    }

    EvpCipherCtxPtr m_ctx;
    std::vector<std::uint8_t> m_out;
    int m_outFd;
};

void WriteContainer(const Options& options, int outFd) {
    EvpPkeyPtr publicKey = ReadPublicKey(options.publicKeyPath);

    FileDescriptor document(::open(options.documentPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!document || ::fstat(document.Get(), &info) != 0) {
        throw Failure{options.documentPath + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        throw Failure{options.documentPath + ": not a regular file"};
    }
    const auto documentSize = static_cast<std::uint64_t>(info.st_size);

    std::vector<std::uint8_t> aesKey(options.keyBytes);
    if (RAND_bytes(aesKey.data(), static_cast<int>(aesKey.size())) != 1) {
        throw Failure{"no random bytes for the key: " + OpenSslError()};
    }

    std::array<std::uint8_t, kHeaderSize> header{};
    std::copy_n(kMagic, kMagicSize, header.begin());
    PutLe(std::span(header).subspan(kKeyLengthOffset), kWrappedKeySize, 4);
    const auto wrapped = WrapKey(publicKey.get(), aesKey);
    std::copy(wrapped.begin(), wrapped.end(), header.begin() + kWrappedKeyOffset);
    PutLe(std::span(header).subspan(kOriginalSizeOffset),
          options.originalSize.value_or(documentSize), 8);
    if (!WriteAll(outFd, header.data(), header.size())) {
        throw Failure{std::string("write failed: ") + std::strerror(errno)};
    }

    BodyEncryptor encryptor(aesKey, outFd);
    std::vector<std::uint8_t> chunk(kChunkSize);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(document.Get(), chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Failure{options.documentPath + ": read failed: " + std::strerror(errno)};
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        encryptor.Feed(std::span(chunk.data(), static_cast<std::size_t>(got)));
    }
    // Zero padding up to the block boundary, then the optional filler blocks.
    const std::size_t padding = (kAesBlockSize - total % kAesBlockSize) % kAesBlockSize;
    const std::array<std::uint8_t, kAesBlockSize> zeros{};
    encryptor.Feed(std::span(zeros.data(), padding));
    for (std::uint64_t left = options.fillerBytes; left > 0;) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkSize));
        if (RAND_bytes(chunk.data(), static_cast<int>(size)) != 1) {
            throw Failure{"no random bytes for the filler: " + OpenSslError()};
        }
        encryptor.Feed(std::span(chunk.data(), size));
        left -= size;
    }
    encryptor.Finish();
    std::fill(aesKey.begin(), aesKey.end(), std::uint8_t{0});
}

int Run(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
    }
    const auto options = ParseArguments(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    // O_EXCL: an existing file, whatever it is, stays untouched.
    FileDescriptor output(
        ::open(options->outputPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!output) {
        std::fprintf(stderr, "make-container: %s: %s\n", options->outputPath.c_str(),
                     std::strerror(errno));
        return kExitFailure;
    }
    try {
        WriteContainer(*options, output.Get());
        if (::fsync(output.Get()) != 0 && errno != EINVAL) {
            throw Failure{std::string("sync failed: ") + std::strerror(errno)};
        }
    } catch (const Failure& failure) {
        // The file is ours (O_EXCL), so a half-written container is not left behind.
        ::unlink(options->outputPath.c_str());
        std::fprintf(stderr, "make-container: %s\n", failure.message.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-container: %s\n", e.what());
        return kExitFailure;
    }
}
