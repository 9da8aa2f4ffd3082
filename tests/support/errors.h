// SPDX-License-Identifier: BSD-3-Clause
// What a failure leaves behind, in a form a test can compare: the thread's last error, the library's
// public exceptions and the node wrappers' CGenAPIException.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/result_codes.h"
#include "corvid2/exceptions.h"
#include "features/genapi_node.h"

namespace corvid2::test {

// The thread's last-error text; its code goes to `code` when given.
std::string lastErrorText(Result* code = nullptr);

// "<exception type>: <description>" of the public exception `call` throws, or "no exception".
std::string exceptionText(const std::function<void()>& call);

// Description and function name of the public exception of class E that `call` throws; `caught`
// stays false when it throws none. Another class is not caught, so that it fails the test loudly.
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

// An application's pointer to an object it is about to delete, kept for calls after the delete,
// which the library must meet with its exception (it reads nothing behind such a pointer before
// its registry vouches for it). Kept as a number so that the compiler does not follow it.
template <class T>
class StalePointer {
public:
    explicit StalePointer(T* pointer) : address_(reinterpret_cast<std::uintptr_t>(pointer)) {}
    T* operator->() const { return reinterpret_cast<T*>(address_); }
    T* get() const { return reinterpret_cast<T*>(address_); }

private:
    volatile std::uintptr_t address_;
};

// The CGenAPIException `operation` raises; none when it returns.
std::optional<CGenAPIException> genAPIErrorOf(const std::function<void()>& operation);
// Its class text alone or "(none)", for engine messages whose wording is the engine's.
std::string genAPIClassOf(const std::function<void()>& operation);
// "<class>: <description>" or "no exception".
std::string genAPIErrorText(const std::function<void()>& operation);
// Checks that `operation` raises CGenAPIException with exactly these texts.
void expectGenAPIError(const std::function<void()>& operation, const std::string& message,
                       const std::string& className);

}  // namespace corvid2::test
