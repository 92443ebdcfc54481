// CFileName: access to a file name value (name, namespace, upper-case key), shared by the file
// name attribute and the entries of a file name index.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class CFileName {
public:
    // Namespace byte values.
    static constexpr std::uint8_t kPosixNamespace = 0;
    static constexpr std::uint8_t kWin32Namespace = 1;
    static constexpr std::uint8_t kDosNamespace = 2;
    static constexpr std::uint8_t kWin32AndDosNamespace = 3;

    CFileName() = default;
    explicit CFileName(std::span<const std::uint8_t> value) : m_fileNameValue(value) {}
    virtual ~CFileName() = default;
    CFileName(const CFileName&) = delete;
    CFileName& operator=(const CFileName&) = delete;

    // Rebuilds the upper-case copy and the name length from the value.
    void BuildUpperName();

    // Copies the name and a terminating zero; 0 without a name, the negated name length when
    // `capacity` (terminating zero included) is too small.
    std::int32_t CopyNameWide(char16_t* buffer, std::int32_t capacity) const;
    // The name in the ANSI code page and a terminating zero, at most capacity - 1 bytes; 0
    // without a name or when the converted name does not fit, the negated name length when the
    // name has more UTF-16 units than `capacity`.
    std::int32_t CopyNameAnsi(char* buffer, std::int32_t capacity) const;

    [[nodiscard]] std::uint8_t GetNamespace() const;
    // Name length in UTF-16 units after BuildUpperName; 0 when there is no name.
    [[nodiscard]] std::int32_t FileNameLength() const { return m_nameLength; }
    // The zero-terminated upper-case copy, or null when the name is empty.
    [[nodiscard]] const char16_t* UpperName() const { return m_upperName.get(); }
    [[nodiscard]] std::span<const std::uint8_t> FileNameValue() const { return m_fileNameValue; }

protected:
    void SetFileNameValue(std::span<const std::uint8_t> value) { m_fileNameValue = value; }

private:
    // The name's UTF-16 bytes; nothing when there is no value, the length is 0 or the name
    // would reach past the value.
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> NameBytes() const;

    std::span<const std::uint8_t> m_fileNameValue;
    std::unique_ptr<char16_t[]> m_upperName;
    std::int32_t m_nameLength = 0;
};
