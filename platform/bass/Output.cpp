#include "platform/bass/Output.h"

#include "platform/host/Host.h"
#include "platform/win32/Log.h"

#include <chrono>

namespace bass {

std::shared_ptr<Output> OpenOutput(Mixer& mixer, int device)
{
    if (host::IsVirtual()) return OpenVirtualOutput(mixer);
    if (device != 0) {
        if (auto sdl = OpenSdlOutput(mixer)) return sdl;
        LogPrintf("[bass] no sound device could be opened; playing silently in real time\n");
    }
    return OpenSilentOutput(mixer);
}

void LiveOutput::Begin()
{
    std::lock_guard<std::mutex> lock(mixer_.mutex);
    // The thread keeps this object alive: a sync callback may close the library from it.
    worker_ = std::thread([self = shared_from_this()] { self->Run(); });
}

void LiveOutput::Run()
{
    std::unique_lock<std::mutex> lock(mixer_.mutex);
    while (!quit_) {
        wake_.wait_for(lock, std::chrono::milliseconds(2));
        if (quit_) break;
        Tick();
        mixer_.SettleEnds(mixer_.Heard());
        if (mixer_.due.empty()) continue;
        std::vector<Fire> fires;
        fires.swap(mixer_.due);
        lock.unlock();
        CallDue(fires);
        lock.lock();
    }
}

void LiveOutput::Close()
{
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mixer_.mutex);
        quit_ = true;
        worker = std::move(worker_);
    }
    wake_.notify_all();
    if (!worker.joinable()) return;
    // A sync callback may free the library from the worker itself.
    if (worker.get_id() == std::this_thread::get_id()) worker.detach();
    else worker.join();
}

}  // namespace bass
