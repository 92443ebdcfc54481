// Start and end of a recovery run, and the bodies of its two threads.
#include "run/recovery_job.h"

#include "run/messages.h"

RecoveryJob::RecoveryJob() : m_engineFactory([] { return std::make_shared<CNtfsUndel>(); }) {}

RecoveryJob::~RecoveryJob() {
    scanner.RequestStop();
    for (ScanThread& scan : m_scanThreads) {
        scan.engine->stopRequested.store(1, std::memory_order_relaxed);
    }
    // A walk thread may be waiting in a send to a window of this very thread: the window is
    // going away with its owner, so every send to it fails from now on.
    for (WalkThread& walk : m_walkThreads) {
        if (!walk.returned->load(std::memory_order_acquire)) {
            platform::DestroyWindow(walk.window);
        }
    }
    JoinFinishedThreads(true);
}

void RecoveryJob::JoinFinishedThreads(bool waitForAll) {
    std::erase_if(m_walkThreads, [waitForAll](WalkThread& walk) {
        if (!waitForAll && !walk.returned->load(std::memory_order_acquire)) {
            return false;
        }
        walk.thread.join();
        return true;
    });
    std::erase_if(m_scanThreads, [waitForAll](ScanThread& scan) {
        if (!waitForAll && scan.engine->progress.load(std::memory_order_acquire) != -1) {
            return false;
        }
        scan.thread.join();
        return true;
    });
}

bool RecoveryJob::Start(const std::string& rootPath, const std::string& folder,
                        platform::WindowHandle window, const std::string& rawDevice) {
    // A second start would change the job's fields under the threads of the first run.
    if (rootPath.empty() || IsRunning()) {
        return false;
    }
    JoinFinishedThreads(false);

    root = rootPath;
    notifyWindow = std::move(window);
    outputFolder = folder;
    device = rawDevice;
    engine = m_engineFactory();

    m_running.store(true, std::memory_order_release);
    if (engine) {
        m_scanThreads.push_back({engine, std::thread(ScanThreadProc, engine, device)});
    }
    auto returned = std::make_shared<std::atomic<bool>>(false);
    m_walkThreads.push_back(
        {notifyWindow, returned,
         std::thread(&RecoveryJob::WalkThreadProc, this, notifyWindow, returned)});
    return true;
}

void RecoveryJob::ScanThreadProc(std::shared_ptr<CNtfsUndel> runEngine, std::string runDevice) {
    runEngine->ScanVolume(runDevice);
}

void RecoveryJob::WalkThreadProc(platform::WindowHandle window,
                                 std::shared_ptr<std::atomic<bool>> returned) {
    platform::SendMessageA(window, WM_SCAN_BEGIN, 0, 0);
    scanner.Prepare(window, outputFolder, engine);
    scanner.Walk(root);
    scanner.engine.reset();
    // Nothing of the job is touched after this store.
    m_running.store(false, std::memory_order_release);
    platform::SendMessageA(window, WM_SCAN_END, 0, 0);
    returned->store(true, std::memory_order_release);
}
