#pragma once
// The thread on which the desktop program's analyses run, so that the GUI
// thread goes on serving its windows meanwhile. Jobs run one at a time, in
// the order they were posted. The GUI thread waits for what a job makes in
// WaitServingEvents, which handles the window system's events while it
// waits; a job calls WakeGuiThread whenever it has changed what the waiting
// thread looks at.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CAnalysisWorker {
public:
    CAnalysisWorker();
    // Jobs not begun are dropped; the one running is waited for, so its
    // owner asks it to stop first.
    ~CAnalysisWorker();
    CAnalysisWorker(const CAnalysisWorker&) = delete;
    CAnalysisWorker& operator=(const CAnalysisWorker&) = delete;

    void Post(std::function<void()> job);

    // On the GUI thread: handles events, sleeping while there are none,
    // until ready() holds.
    static void WaitServingEvents(const std::function<bool()>& ready);
    // Any thread: makes a GUI thread sleeping in WaitServingEvents look
    // again.
    static void WakeGuiThread();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};
