// Output file naming.
#include "run/output_naming.h"

#include "platform/codepage.h"

std::string JoinOutputPath(const std::string& folder, const std::string& name) {
    const auto& codePage = platform::ActiveCodePage();
    std::size_t lastSeparator = codePage.FindLast(folder, platform::kPathSeparator);
    if (folder.empty() || lastSeparator == folder.size() - 1) {
        return folder + name;
    }
    return folder + platform::kPathSeparator + name;
}

platform::File CreateUniqueFile(std::string& path, int limit) {
    platform::CreateNewResult result = platform::CreateNewResult::Failed;
    platform::File file = platform::File::CreateNew(path, &result);
    if (file.IsOpen() || result != platform::CreateNewResult::NameExists) {
        return file;
    }

    // The number goes before the extension of the file name; a '.' in a folder name does not
    // count, and a name without '.' gets the number at its end.
    const auto& codePage = platform::ActiveCodePage();
    std::size_t nameStart = codePage.FindLast(path, platform::kPathSeparator);
    nameStart = nameStart == platform::AnsiCodePage::npos ? 0 : nameStart + 1;
    std::size_t dot = codePage.FindLast(std::string_view(path).substr(nameStart), '.');
    std::size_t split = dot == platform::AnsiCodePage::npos ? path.size() : nameStart + dot;
    const std::string stem = path.substr(0, split);
    const std::string extension = path.substr(split);

    for (int n = 1; n <= limit; ++n) {
        std::string candidate = stem + "(" + std::to_string(n) + ")" + extension;
        file = platform::File::CreateNew(candidate);
        if (file.IsOpen()) {
            path = std::move(candidate);
            return file;
        }
    }
    return platform::File();
}
