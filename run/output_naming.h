// Names in the output folder: joining the folder with a file name, and creating a new file
// under the first free name (report.docx, then report(1).docx, ...) so that nothing there is
// ever overwritten.
#pragma once

#include <string>

#include "platform/file.h"

// Limits of numbered names: decrypted containers try report(1) to report(29), files restored
// from the disk report(1) to report(49).
constexpr int kDecryptedNameLimit = 29;
constexpr int kRestoredNameLimit = 49;

// The folder and the name with exactly one separator between them (none added when the folder
// is empty or already ends with one).
std::string JoinOutputPath(const std::string& folder, const std::string& name);

// A new file at `path`, or at the first free numbered name up to `limit`; `path` is then
// replaced by the name created. A closed File when nothing could be created: at once when the
// first attempt fails for another reason than an existing name.
platform::File CreateUniqueFile(std::string& path, int limit);
