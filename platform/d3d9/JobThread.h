// A thread that runs its owner's jobs one at a time, beside the owner: Post
// hands it a job, Wait returns once the job posted last has run. The thread
// starts at the first Post and ends with the object.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace d3d9 {

class JobThread {
public:
    JobThread() = default;
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;
    ~JobThread();

    // Waits for the job before, then starts this one.
    void Post(std::function<void()> job);
    // Returns at once when no job is running.
    void Wait();

private:
    void Run();

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::function<void()> job_;
    bool pending_ = false, stop_ = false;
};

}  // namespace d3d9
