// SPDX-License-Identifier: BSD-3-Clause
// DeviceBufferNotification: the client sets, the publication and the two waits.
#include "addons/device_buffer_notification.h"

#include "trace/trace.h"

namespace corvid2 {

void DeviceBufferNotification::Enter(std::uint32_t clients) {
    traceInfo("%s; Enter; %u;", kTraceName, clients);
    if (clients == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A client that comes in while a buffer is out must not count towards it: the delivering
        // thread waits only for those that were active when it published.
        if (published_.state != 0)
            pending_ |= clients;
        else
            active_ |= clients;
    }
    changed_.notify_all();
}

void DeviceBufferNotification::Leave(std::uint32_t clients) {
    traceInfo("%s; Leave; %u;", kTraceName, clients);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        active_ &= ~clients;
        // Else a client that entered during a publication and gave up before the next one would
        // come back as active with nobody behind it.
        pending_ &= ~clients;
    }
    changed_.notify_all();
    {
        std::lock_guard<std::mutex> lock(takenMutex_);
        taken_ |= clients;
    }
    takenChanged_.notify_all();
}

std::uint32_t DeviceBufferNotification::Publish(void* buffer, std::uint32_t state, bool onlyIfWaited) {
    traceInfo("%s; NotifyState; %u", kTraceName, state);
    std::uint32_t active = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (onlyIfWaited && active_ == 0) return 0;
        {
            // Cleared before the buffer is visible, so that no client can leave it unseen.
            std::lock_guard<std::mutex> takenLock(takenMutex_);
            taken_ = 0;
        }
        published_.buffer = buffer;
        published_.state = state;
        published_.sequence = ++sequence_;
        active = active_;
    }
    changed_.notify_all();
    return active;
}

bool DeviceBufferNotification::Wait(std::uint32_t clients, std::uint32_t requiredState, BufferNotice* notice,
                                    std::atomic<bool>* abort) {
    traceInfo("%s; Wait; %u %u;", kTraceName, clients, requiredState);
    if (notice != nullptr) *notice = BufferNotice{};
    if (notice == nullptr || abort == nullptr) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    // Pending clients count as entered: they wait for the buffer after the one that is out.
    if ((clients & (active_ | pending_)) == 0) return false;
    changed_.wait(lock, [&] {
        return abort->load(std::memory_order_acquire) || ((clients & active_) != 0 && published_.state != 0 &&
                                                          (published_.state & requiredState) == requiredState);
    });
    if (abort->load(std::memory_order_acquire)) {
        lock.unlock();
        traceInfo("%s; Wait; abort;", kTraceName);
        return false;
    }
    *notice = published_;
    lock.unlock();
    traceInfo("%s; Wait; done;", kTraceName);
    return true;
}

void DeviceBufferNotification::Cancel(std::atomic<bool>* abort) {
    traceInfo("%s; Cancel;", kTraceName);
    {
        // Under the lock, so that a waiter between its test and its sleep cannot miss the flag.
        std::lock_guard<std::mutex> lock(mutex_);
        if (abort != nullptr) abort->store(true, std::memory_order_release);
    }
    changed_.notify_all();
}

void DeviceBufferNotification::FilledBuffer(void* buffer) {
    traceInfo("%s; FilledBuffer; called;", kTraceName);
    const std::uint32_t active = Publish(buffer, kStateFilled, true);
    if (active == 0) {
        traceInfo("%s; FilledBuffer; no waiting thread;", kTraceName);
        return;
    }
    {
        std::unique_lock<std::mutex> lock(takenMutex_);
        // A client may leave without having been active at publishing; it does not count.
        takenChanged_.wait(lock, [&] { return (taken_ & active) == active; });
    }
    traceInfo("%s; FilledBuffer; all done;", kTraceName);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        published_.buffer = nullptr;
        published_.state = 0;
        active_ |= pending_;
        pending_ = 0;
    }
    changed_.notify_all();
    traceInfo("%s; FilledBuffer; done;", kTraceName);
}

std::uint32_t DeviceBufferNotification::ActiveClients() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_;
}

std::uint32_t DeviceBufferNotification::PendingClients() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

}  // namespace corvid2
