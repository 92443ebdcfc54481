// docsalve-cli: one recovery run from the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "app/report_log.h"
#include "cli/cli_options.h"
#include "cli/cli_receiver.h"
#include "cli/terminal_message_box.h"
#include "ntfs/ntfs_volume.h"
#include "platform/crypto.h"
#include "platform/mount_table.h"
#include "platform/window.h"
#include "run/recovery_job.h"

namespace {

constexpr int kExitAllRecovered = 0;
constexpr int kExitSomeNotRecovered = 1;
constexpr int kExitUsage = 2;

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// The tree's root without trailing separators ("/" stays the file system root).
std::string NormalizeRoot(std::string root) {
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root == "/" ? std::string() : root;
}

bool WriteJson(const std::string& path, const std::vector<CliResult>& results) {
    nlohmann::json array = nlohmann::json::array();
    for (const CliResult& result : results) {
        array.push_back({{"container", result.container},
                         {"status", StatusName(result.status)},
                         {"output", result.output.empty() ? nlohmann::json(nullptr)
                                                          : nlohmann::json(result.output)}});
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    // Paths are bytes of the locale's charset: anything that is not UTF-8 is replaced rather
    // than making the whole report unwritable.
    file << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    file.close();
    return static_cast<bool>(file);
}

// Why the deleted originals cannot be looked for on `device`, or the empty string when they
// can. Told before the walk, so that a run without rights does not fail every restore in
// silence.
std::string DiskSearchProblem(const std::string& device, int partition, const std::string& root) {
    if (device.empty()) {
        return "no device holds " + root + "; name the volume or its image with --device";
    }
    if (::access(device.c_str(), R_OK) != 0) {
        const int error = errno;
        std::string text = "cannot read " + device + ": " + std::strerror(error);
        if (error == EACCES || error == EPERM) {
            text += "; reading a raw volume needs root (run with sudo), or give an image of the "
                    "volume with --device";
        }
        return text;
    }
    if (!CNTFSVolume(device, partition).IsReady()) {
        return device + (partition != 0 ? " partition " + std::to_string(partition) : "") +
               " holds no NTFS volume that can be read";
    }
    return {};
}

int Run(const CliOptions& options) {
    const std::string root = NormalizeRoot(options.root);
    struct stat rootStat {};
    if (::stat(options.root.c_str(), &rootStat) != 0 || !S_ISDIR(rootStat.st_mode) ||
        ::access(options.root.c_str(), R_OK | X_OK) != 0) {
        std::fprintf(stderr, "docsalve-cli: cannot walk %s: %s\n", options.root.c_str(),
                     errno != 0 ? std::strerror(errno) : "not a directory");
        return kExitUsage;
    }

    CliReceiver receiver(stdout, ::isatty(STDOUT_FILENO) != 0, NewReportLogPath());
    platform::MessageWindow window(
        [&receiver](std::uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam) {
            return receiver.OnMessage(message, wParam, lParam);
        });

    // The job is declared after the window so that it ends first and never sends to a window
    // that is gone.
    RecoveryJob job;
    RansomDecryptor& decryptor = job.Scanner().Decryptor();
    for (const std::string& keyPath : options.keys) {
        std::vector<std::uint8_t> blob;
        if (!ReadWholeFile(keyPath, blob)) {
            std::fprintf(stderr, "docsalve-cli: cannot read the key file %s\n", keyPath.c_str());
            return kExitUsage;
        }
        const std::string problem = platform::CheckPrivateKeyBlob2048(blob);
        if (!problem.empty() || !decryptor.AddKey(blob)) {
            std::fprintf(stderr, "docsalve-cli: %s is not a usable 2048-bit PRIVATEKEYBLOB: %s\n",
                         keyPath.c_str(), problem.empty() ? "import failed" : problem.c_str());
            return kExitUsage;
        }
    }
    if (!decryptor.KeyReady()) {
        std::fprintf(stderr, "docsalve-cli: warning: no private key is usable; no container can "
                             "be decrypted\n");
    }

    // Created only once everything else is known to be in order.
    std::error_code ec;
    std::filesystem::create_directories(options.output, ec);
    if (!std::filesystem::is_directory(options.output, ec)) {
        std::fprintf(stderr, "docsalve-cli: cannot create the output folder %s\n",
                     options.output.c_str());
        return kExitUsage;
    }

    std::string device = options.device;
    if (device.empty()) {
        if (auto mount = platform::MountContaining(options.root)) {
            device = mount->source;
        }
    }
    std::fprintf(stdout, "Walking %s into %s (volume: %s)\n", options.root.c_str(),
                 options.output.c_str(), device.empty() ? "unknown" : device.c_str());
    std::fflush(stdout);
    if (const std::string problem = DiskSearchProblem(device, options.partition, options.root);
        !problem.empty()) {
        std::fprintf(stderr,
                     "docsalve-cli: deleted originals cannot be looked for: %s. Containers that "
                     "no key opens will be reported as not recovered.\n",
                     problem.c_str());
    }

    job.SetEngineFactory([partition = options.partition] {
        auto engine = std::make_shared<CNtfsUndel>();
        engine->SetPartition(partition);
        return engine;
    });

    LargeFileAnswer large = options.large.value_or(
        ::isatty(STDIN_FILENO) != 0 ? LargeFileAnswer::Ask : LargeFileAnswer::Yes);
    platform::SetMessageBoxProvider(std::make_shared<TerminalMessageBox>(large, &receiver));

    if (!job.Start(root.empty() ? std::string(1, '/') : root, options.output, window.Handle(),
                   device)) {
        std::fprintf(stderr, "docsalve-cli: the run could not be started\n");
        return kExitUsage;
    }
    while (!receiver.Ended()) {
        window.WaitAndDispatch(std::chrono::milliseconds(200));
    }
    platform::SetMessageBoxProvider(nullptr);

    std::fprintf(stdout,
                 "Examined %llu files. Containers: %llu; files recovered: %llu; containers not "
                 "recovered: %llu.\n",
                 static_cast<unsigned long long>(receiver.ScannedCount()),
                 static_cast<unsigned long long>(receiver.InfectedCount()),
                 static_cast<unsigned long long>(receiver.RecoveredCount()),
                 static_cast<unsigned long long>(receiver.FailedCount()));

    if (!receiver.Results().empty()) {
        std::fprintf(stdout, "Report log: %s\n", receiver.ReportLogPath().c_str());
    }
    if (!options.jsonPath.empty() && !WriteJson(options.jsonPath, receiver.Results())) {
        std::fprintf(stderr, "docsalve-cli: cannot write %s\n", options.jsonPath.c_str());
    }
    return receiver.FailedCount() == 0 ? kExitAllRecovered : kExitSomeNotRecovered;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = ParseCliOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "docsalve-cli: %s\n\n%s", error.c_str(), kCliUsage);
        return kExitUsage;
    }
    try {
        return Run(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "docsalve-cli: %s\n", e.what());
        return kExitUsage;
    }
}
