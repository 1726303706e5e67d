#include "app/analysis_worker.h"

#include <pthread.h>

#include <QCoreApplication>
#include <QEventLoop>

CAnalysisWorker::CAnalysisWorker() : thread_([this] { Run(); })
{
    pthread_setname_np(thread_.native_handle(), "vantrel-worker");
}

CAnalysisWorker::~CAnalysisWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    posted_.notify_one();
    thread_.join();
}

void CAnalysisWorker::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    posted_.notify_one();
}

void CAnalysisWorker::Run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            posted_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void CAnalysisWorker::WaitServingEvents(const std::function<bool()>& ready)
{
    // A wake posted after ready() turned true is an event like any other, so
    // the sleep below always ends once it has.
    while (!ready())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void CAnalysisWorker::WakeGuiThread()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection);
}
