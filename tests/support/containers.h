// Containers for tests, made by tools/make-container with the demo or the foreign public key.
#pragma once

#include <string>
#include <vector>

#include "tests/support/subprocess.h"

namespace testsupport {

inline std::string DemoPublicKey() {
    return std::string(DOCSALVE_SOURCE_DIR) + "/keys/demo-public.pem";
}
inline std::string ForeignPublicKey() {
    return std::string(DOCSALVE_SOURCE_DIR) + "/tests/data/foreign-public.pem";
}
inline std::string ForeignPrivateKeyBlob() {
    return std::string(DOCSALVE_SOURCE_DIR) + "/tests/data/foreign-private.keyblob";
}

struct ContainerOptions {
    int keyBytes = 16;
    long long originalSize = -1; // -1: the document's size
    int fillerBytes = 0;
};

// Writes a container for `document` at `output`; true when the tool succeeded.
inline bool MakeContainer(const std::string& publicKey, const std::string& document,
                          const std::string& output, const ContainerOptions& options = {}) {
    std::vector<std::string> args = {"--key-bytes", std::to_string(options.keyBytes)};
    if (options.originalSize >= 0) {
        args.insert(args.end(), {"--original-size", std::to_string(options.originalSize)});
    }
    if (options.fillerBytes > 0) {
        args.insert(args.end(), {"--filler-bytes", std::to_string(options.fillerBytes)});
    }
    args.insert(args.end(), {publicKey, document, output});
    return RunProgram(MAKE_CONTAINER_PATH, args) == 0;
}

} // namespace testsupport
