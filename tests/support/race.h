// SPDX-License-Identifier: BSD-3-Clause
// One thread using objects while another closes and reopens them: the user's calls must complete
// or fail with the library's exceptions, never crash or touch freed memory.
#pragma once

#include <chrono>
#include <functional>

namespace corvid2::test {

// How long each race runs; CORVID2_STRESS_SECONDS makes it longer for a sanitizer soak.
std::chrono::milliseconds stressDuration();

struct Outcome {
    long completed = 0;  // calls of the user that ran to their end
    long refused = 0;    // calls that failed with one of the library's exceptions
    long reopened = 0;   // close/open rounds of the other thread
};

// `use` runs in a loop on one thread, `reopen` on this one, for the stress duration. Only the
// library's exceptions may come out of `use`; anything else, or a crash, fails the test.
Outcome race(const std::function<void()>& use, const std::function<void()>& reopen);

}  // namespace corvid2::test
