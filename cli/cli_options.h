// The command line of docsalve-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class LargeFileAnswer { Ask, Yes, No };

struct CliOptions {
    std::string root;
    std::string output;
    std::string device;            // empty: the block device mounted at root
    int partition = 0;             // of a partitioned device; 0: its first NTFS partition
    std::vector<std::string> keys; // extra PRIVATEKEYBLOB files, tried after the built-in key
    std::string jsonPath;          // empty: no JSON report
    std::optional<LargeFileAnswer> large; // unset: ask on a terminal, yes otherwise
};

// Parses argv; on a usage error returns nothing and sets `error`.
std::optional<CliOptions> ParseCliOptions(int argc, const char* const* argv, std::string& error);

extern const char* const kCliUsage;
