// Parsing of docsalve-cli's arguments.
#include "cli/cli_options.h"

#include <cstdlib>
#include <string_view>

const char* const kCliUsage =
    "usage: docsalve-cli [--device PATH [--partition N]] [--key FILE]... [--json FILE]\n"
    "                    [--large ask|yes|no] ROOT OUTPUT\n"
    "\n"
    "Walks the directory tree ROOT, decrypts every .WNCRY container whose file key one of the\n"
    "private keys unwraps, looks for the deleted original of every other container on the raw\n"
    "volume, and writes what it recovers into OUTPUT (created when absent) without overwriting\n"
    "anything there.\n"
    "\n"
    "  --device PATH   the raw volume: a block device or an image of a volume or of a whole\n"
    "                  disk (default: the block device mounted at ROOT)\n"
    "  --partition N   on a disk with a partition table, use partition N (from 1) rather than\n"
    "                  the first NTFS partition\n"
    "  --key FILE      a 2048-bit RSA private key in PRIVATEKEYBLOB form, tried after the\n"
    "                  built-in key; may be repeated\n"
    "  --json FILE     write one JSON object per result into FILE when the run ends\n"
    "  --large ANSWER  answer to restoring files over 100 MB: ask, yes or no (default: ask on a\n"
    "                  terminal, yes otherwise)\n"
    "\n"
    "Exit status: 0 every container recovered (or none found), 1 some container not recovered,\n"
    "2 bad usage or ROOT cannot be walked.\n";

std::optional<CliOptions> ParseCliOptions(int argc, const char* const* argv, std::string& error) {
    CliOptions options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (arg == "--device") {
            if (!value(options.device)) {
                return std::nullopt;
            }
        } else if (arg == "--partition") {
            std::string number;
            if (!value(number)) {
                return std::nullopt;
            }
            char* end = nullptr;
            const long n = std::strtol(number.c_str(), &end, 10);
            if (number.empty() || *end != '\0' || n < 1 || n > 128) {
                error = "--partition takes a partition number from 1 to 128";
                return std::nullopt;
            }
            options.partition = static_cast<int>(n);
        } else if (arg == "--key") {
            std::string key;
            if (!value(key)) {
                return std::nullopt;
            }
            options.keys.push_back(std::move(key));
        } else if (arg == "--json") {
            if (!value(options.jsonPath)) {
                return std::nullopt;
            }
        } else if (arg == "--large") {
            std::string answer;
            if (!value(answer)) {
                return std::nullopt;
            }
            if (answer == "ask") {
                options.large = LargeFileAnswer::Ask;
            } else if (answer == "yes") {
                options.large = LargeFileAnswer::Yes;
            } else if (answer == "no") {
                options.large = LargeFileAnswer::No;
            } else {
                error = "--large takes ask, yes or no";
                return std::nullopt;
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i) {
                positional.emplace_back(argv[i]);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        } else {
            positional.emplace_back(arg);
        }
    }
    if (positional.size() != 2) {
        error = "ROOT and OUTPUT are required";
        return std::nullopt;
    }
    options.root = positional[0];
    options.output = positional[1];
    if (options.root.empty() || options.output.empty()) {
        error = "ROOT and OUTPUT must not be empty";
        return std::nullopt;
    }
    return options;
}
