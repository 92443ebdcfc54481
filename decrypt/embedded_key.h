// The private key that comes with the build, as a PRIVATEKEYBLOB. Which file is embedded is
// chosen when the build is configured (DOCSALVE_PRIVATE_KEY_BLOB); by default the demo key of
// keys/.
#pragma once

#include <cstdint>
#include <span>

std::span<const std::uint8_t> EmbeddedPrivateKeyBlob();
