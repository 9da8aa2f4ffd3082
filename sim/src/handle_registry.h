// SPDX-License-Identifier: BSD-3-Clause
// Validates the handles given to the producer: each is a token never reused, so a stale handle stays invalid.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "module.h"

namespace corvid2::sim {

class HandleRegistry {
public:
    void* add(const std::shared_ptr<Handleable>& object);
    void remove(void* handle);
    void clear();

    std::shared_ptr<Handleable> find(void* handle) const;

    // The object behind `handle` when it is of one of the kinds wanted; GC_ERR_INVALID_HANDLE otherwise.
    template <typename T>
    std::shared_ptr<T> get(void* handle, std::initializer_list<HandleKind> kinds) const {
        const std::shared_ptr<Handleable> object = find(handle);
        if (object)
            for (HandleKind kind : kinds)
                if (object->handleKind() == kind) return std::static_pointer_cast<T>(object);
        fail(GC_ERR_INVALID_HANDLE, "invalid handle");
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<uintptr_t, std::shared_ptr<Handleable>> objects_;
    uintptr_t next_ = 0x5100;
};

}  // namespace corvid2::sim
