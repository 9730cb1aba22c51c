#include "platform/d3d9/JobThread.h"

#include <utility>

namespace d3d9 {

JobThread::~JobThread()
{
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void JobThread::Post(std::function<void()> job)
{
    Wait();
    if (!thread_.joinable()) thread_ = std::thread(&JobThread::Run, this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
        pending_ = true;
    }
    wake_.notify_one();
}

void JobThread::Wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !pending_; });
}

void JobThread::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // A job posted before the end still runs.
        wake_.wait(lock, [this] { return pending_ || stop_; });
        if (!pending_) return;
        std::function<void()> job = std::move(job_);
        lock.unlock();
        job();
        lock.lock();
        pending_ = false;
        done_.notify_all();
    }
}

}  // namespace d3d9
