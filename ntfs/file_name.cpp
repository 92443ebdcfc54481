// File name values: copying the name out in UTF-16 or the ANSI code page.
#include "ntfs/file_name.h"

#include "platform/codepage.h"
#include "platform/le_reader.h"

#include <cwctype>
#include <string>

namespace {

constexpr std::size_t kNameLengthOffset = 0x40;
constexpr std::size_t kNamespaceOffset = 0x41;
constexpr std::size_t kNameOffset = 0x42;
// Every name length a file name value can hold (0 to 255) fits, with its zero, in this.
constexpr std::int32_t kLocalNameCapacity = 260;

} // namespace

std::optional<std::span<const std::uint8_t>> CFileName::NameBytes() const {
    const platform::LeReader reader(m_fileNameValue);
    const auto units = reader.At<std::uint8_t>(kNameLengthOffset);
    if (!units || *units == 0) {
        return std::nullopt;
    }
    return reader.Bytes(kNameOffset, std::size_t{*units} * 2);
}

std::uint8_t CFileName::GetNamespace() const {
    return platform::LeReader(m_fileNameValue).At<std::uint8_t>(kNamespaceOffset).value_or(0);
}

std::int32_t CFileName::CopyNameWide(char16_t* buffer, std::int32_t capacity) const {
    const auto bytes = NameBytes();
    if (!bytes) {
        return 0;
    }
    const auto units = static_cast<std::int32_t>(bytes->size() / 2);
    if (units + 1 > capacity) {
        return -units;
    }
    for (std::int32_t i = 0; i < units; ++i) {
        buffer[i] = static_cast<char16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
    }
    buffer[units] = 0;
    return units;
}

std::int32_t CFileName::CopyNameAnsi(char* buffer, std::int32_t capacity) const {
    const auto bytes = NameBytes();
    if (!bytes) {
        return 0;
    }
    const auto units = static_cast<std::int32_t>(bytes->size() / 2);
    if (units > capacity) {
        return -units;
    }
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    for (std::int32_t i = 0; i < units; ++i) {
        wide[i] = static_cast<char16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
    }
    const std::string ansi = platform::ActiveCodePage().FromUtf16(wide);
    if (ansi.empty() || capacity < 1 || ansi.size() > static_cast<std::size_t>(capacity - 1)) {
        return 0; // the terminating zero must fit inside the buffer too
    }
    ansi.copy(buffer, ansi.size());
    buffer[ansi.size()] = '\0';
    return static_cast<std::int32_t>(ansi.size());
}

void CFileName::BuildUpperName() {
    m_upperName.reset();
    m_nameLength = 0;
    char16_t local[kLocalNameCapacity];
    const std::int32_t units = CopyNameWide(local, kLocalNameCapacity);
    if (units <= 0) {
        return;
    }
    m_nameLength = units;
    m_upperName = std::make_unique<char16_t[]>(static_cast<std::size_t>(units) + 1);
    for (std::int32_t i = 0; i < units; ++i) {
        // Unit by unit, as the case-insensitive key of a name is defined.
        m_upperName[i] = static_cast<char16_t>(std::towupper(static_cast<wint_t>(local[i])));
    }
    m_upperName[units] = 0;
}
