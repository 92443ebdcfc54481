// Bounds-checked little-endian field reader over a byte span: the one place that decodes
// integers from on-disk and in-file structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>

namespace platform {

class LeReader {
public:
    explicit LeReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    // The unsigned integer of sizeof(T) bytes at `offset`, or nothing when it does not fit.
    template <class T> [[nodiscard]] std::optional<T> At(std::size_t offset) const {
        static_assert(std::is_unsigned_v<T>);
        if (offset > m_bytes.size() || sizeof(T) > m_bytes.size() - offset) {
            return std::nullopt;
        }
        T value = 0;
        for (std::size_t i = sizeof(T); i-- > 0;) {
            value = static_cast<T>((value << 8) | m_bytes[offset + i]);
        }
        return value;
    }

    // The `length` bytes at `offset`, or nothing when they do not fit.
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> Bytes(std::size_t offset,
                                                                     std::size_t length) const {
        if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
            return std::nullopt;
        }
        return m_bytes.subspan(offset, length);
    }

    [[nodiscard]] std::size_t Size() const { return m_bytes.size(); }

private:
    std::span<const std::uint8_t> m_bytes;
};

} // namespace platform
