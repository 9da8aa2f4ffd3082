// SPDX-License-Identifier: BSD-3-Clause
// Small helpers the guard tests share: a one-way signal between threads and exception capture.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "corvid2/exceptions.h"

namespace guards_test {

// Raised once by one thread, awaited by another; waiting yields and never times out.
class Signal {
public:
    void raise() { raised_.store(true, std::memory_order_release); }
    bool raised() const { return raised_.load(std::memory_order_acquire); }
    void wait() const {
        while (!raised()) std::this_thread::yield();
    }

private:
    std::atomic<bool> raised_{false};
};

// Description and function name of the library exception of class E thrown by `call`; empty
// texts and a failed expectation when none (or another class) is thrown.
struct Thrown {
    bool caught = false;
    std::string description, function;
};

template <class E, class Call>
Thrown thrownBy(Call&& call) {
    Thrown result;
    try {
        call();
    } catch (const E& error) {
        result.caught = true;
        result.description = error.GetErrorDescription().get();
        result.function = error.GetFunctionName().get();
    }
    return result;
}

}  // namespace guards_test
