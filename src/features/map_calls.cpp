// SPDX-License-Identifier: BSD-3-Clause
// The per-thread slots of the calls in flight on node maps, and the list through which waiters see them.
#include "features/map_calls.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace corvid2 {
namespace {

// Deep enough for any nesting the library has (a call does not call into another map); deeper
// calls fall back to the map's counter.
constexpr std::size_t kSlots = 4;

// One thread's slots. Constant-initialised (atomics and pointers start as zeros), so reading it
// needs no initialisation check; it joins the list at the thread's first call and leaves it when
// the thread ends.
struct ThreadSlots {
    std::atomic<const void*> maps[kSlots];
    std::uint32_t depth;
    bool listed;
    ThreadSlots* next;
    ThreadSlots* previous;
};

CORVID2_INITIAL_EXEC_TLS thread_local ThreadSlots slots;

// The threads that ever entered a call and still run. The mutex guards the links only; slots are
// read through their atomics.
std::mutex listMutex;
ThreadSlots* listHead = nullptr;

void unlist(ThreadSlots& own) {
    std::lock_guard<std::mutex> lock(listMutex);
    if (own.previous != nullptr) own.previous->next = own.next;
    if (own.next != nullptr) own.next->previous = own.previous;
    if (listHead == &own) listHead = own.next;
    own.listed = false;
}

// Takes the thread's slots off the list when the thread ends; made at the thread's first call.
struct ThreadExit {
    ~ThreadExit() { unlist(slots); }
};

}  // namespace

void CMapCalls::prepareThread() {
    ThreadSlots& own = slots;
    if (own.listed) return;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        own.previous = nullptr;
        own.next = listHead;
        if (listHead != nullptr) listHead->previous = &own;
        listHead = &own;
        own.listed = true;
    }
    static thread_local ThreadExit exit;
    (void)exit;
}

bool CMapCalls::enter(const void* map) {
    ThreadSlots& own = slots;
    if (own.depth == kSlots) return false;
    // Relaxed: the caller holds the registry lock that a waiter takes before it looks.
    own.maps[own.depth++].store(map, std::memory_order_relaxed);
    return true;
}

void CMapCalls::leave() {
    ThreadSlots& own = slots;
    // Release: what the call did to the map is seen by the waiter that finds the slot empty.
    own.maps[--own.depth].store(nullptr, std::memory_order_release);
}

bool CMapCalls::anyCallOn(const void* map) {
    std::lock_guard<std::mutex> lock(listMutex);
    for (const ThreadSlots* thread = listHead; thread != nullptr; thread = thread->next)
        for (const auto& slot : thread->maps)
            if (slot.load(std::memory_order_acquire) == map) return true;
    return false;
}

}  // namespace corvid2
