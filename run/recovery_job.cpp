// Start and end of a recovery run, and the bodies of its two threads.
#include "run/recovery_job.h"

#include "run/messages.h"

RecoveryJob::RecoveryJob() : m_engineFactory([] { return std::make_shared<CNtfsUndel>(); }) {}

RecoveryJob::~RecoveryJob() {
    scanner.RequestStop();
    for (ScanThread& scan : m_scanThreads) {
        scan.engine->stopRequested.store(1, std::memory_order_relaxed);
    }
    // The walk thread may be waiting in a send to a window of this very thread: the window is
    // going away with its owner, so let every send fail from now on.
    if (m_walkThread.joinable() && IsRunning()) {
        platform::DestroyWindow(notifyWindow);
    }
    if (m_walkThread.joinable()) {
        m_walkThread.join();
    }
    JoinFinishedScans(true);
}

void RecoveryJob::JoinFinishedScans(bool waitForAll) {
    for (auto it = m_scanThreads.begin(); it != m_scanThreads.end();) {
        if (waitForAll || it->engine->progress.load(std::memory_order_acquire) == -1) {
            it->thread.join();
            it = m_scanThreads.erase(it);
        } else {
            ++it;
        }
    }
}

bool RecoveryJob::Start(const std::string& rootPath, const std::string& folder,
                        platform::WindowHandle window, const std::string& rawDevice) {
    // A second start would change the job's fields under the threads of the first run.
    if (rootPath.empty() || IsRunning()) {
        return false;
    }
    if (m_walkThread.joinable()) {
        m_walkThread.join(); // it has sent WM_SCAN_END: only its return is left
    }
    JoinFinishedScans(false);

    root = rootPath;
    notifyWindow = std::move(window);
    outputFolder = folder;
    device = rawDevice;
    engine = m_engineFactory();

    m_running.store(true, std::memory_order_release);
    if (engine) {
        m_scanThreads.push_back({engine, std::thread(ScanThreadProc, engine, device)});
    }
    m_walkThread = std::thread(&RecoveryJob::WalkThreadProc, this);
    return true;
}

void RecoveryJob::ScanThreadProc(std::shared_ptr<CNtfsUndel> runEngine, std::string runDevice) {
    runEngine->ScanVolume(runDevice);
}

void RecoveryJob::WalkThreadProc() {
    const platform::WindowHandle window = notifyWindow;
    platform::SendMessageA(window, WM_SCAN_BEGIN, 0, 0);
    scanner.Prepare(window, outputFolder, engine);
    scanner.Walk(root);
    scanner.engine.reset();
    platform::SendMessageA(window, WM_SCAN_END, 0, 0);
    m_running.store(false, std::memory_order_release);
}
