// One recovery run at a time for its window: a scan thread that looks for deleted file records
// on the volume, and a walk thread that recovers every container of the directory tree.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "run/infected_file_scanner.h"
#include "undelete/ntfs_undel.h"

class RecoveryJob {
public:
    using EngineFactory = std::function<std::shared_ptr<CNtfsUndel>()>;

    RecoveryJob();
    // Asks every scan still running to stop and the walk to end, makes the window unreachable
    // for the walk thread, and waits for both threads: nothing they use is destroyed under them.
    ~RecoveryJob();
    RecoveryJob(const RecoveryJob&) = delete;
    RecoveryJob& operator=(const RecoveryJob&) = delete;

    // Starts a run over the tree at `rootPath` with `rawDevice` as the volume whose deleted
    // records are looked for. False when `rootPath` is empty or a run is still going.
    bool Start(const std::string& rootPath, const std::string& folder,
               platform::WindowHandle window, const std::string& rawDevice);

    // True from Start until the walk is over, just before WM_SCAN_END is sent: from then on
    // the walk thread touches nothing of the job, so its handler may start the next run.
    [[nodiscard]] bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // Tests and tools replace the engine that each run creates.
    void SetEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }

    InfectedFileScanner& Scanner() { return scanner; }

    std::string root;
    std::string outputFolder;
    std::string device;
    platform::WindowHandle notifyWindow;
    InfectedFileScanner scanner;
    std::shared_ptr<CNtfsUndel> engine;

private:
    static void ScanThreadProc(std::shared_ptr<CNtfsUndel> runEngine, std::string runDevice);
    void WalkThreadProc(platform::WindowHandle window, std::shared_ptr<std::atomic<bool>> returned);
    void JoinFinishedThreads(bool waitForAll);

    // A scan outlives its run when no container needed it; it is joined once it has ended,
    // and at the latest when the job is destroyed.
    struct ScanThread {
        std::shared_ptr<CNtfsUndel> engine;
        std::thread thread;
    };

    // A walk thread is over once it has returned from its last send.
    struct WalkThread {
        platform::WindowHandle window;
        std::shared_ptr<std::atomic<bool>> returned;
        std::thread thread;
    };

    std::vector<WalkThread> m_walkThreads;
    std::vector<ScanThread> m_scanThreads;
    std::atomic<bool> m_running{false};
    EngineFactory m_engineFactory;
};
