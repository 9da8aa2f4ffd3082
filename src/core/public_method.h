// SPDX-License-Identifier: BSD-3-Clause
// The one shape of every public method: guard, acquire, optional write-lock check, internal call,
// result code to exception, success trace line.
//
// A method of a public class reads as its intent, for example
//
//   std::uint64_t Buffer::GetSize() {
//       std::uint64_t size = 0;
//       return callGuarded<CBufferGuard>(CORVID2_METHOD(Buffer, GetSize), kShared, this, &data_,
//           [&](BufferData& data) { return data.buffer_->getSize(size); },
//           [&](BufferData& data) { traceInfo("%s; GetSize; %llu", data.traceName_, size); return size; });
//   }
//
// Everything here is inline and the call shape is a compile-time constant at each call site, so
// the compiler reduces a call to: guard construction, one out-of-line Acquire, the operation, a
// test of its code, the success part, the guard's destructor. Failures leave through
// ThrowForCode; the guards are released during unwinding.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <utility>

#include "core/last_error.h"
#include "core/object_guard.h"
#include "core/result_codes.h"
#include "corvid2/exceptions.h"
#include "trace/trace.h"

namespace corvid2 {

// Where a public method is and what it is called, written once at the method: the qualified name
// that its exceptions carry and the class and operation that its trace and error lines start with.
struct MethodSite {
    const char* file;
    unsigned line;
    const char* name;       // "CORVID2::Device::GetID"
    const char* className;  // "Device"
    const char* label;      // "GetID"
};

// The site of method `Method` of public class `Class`: CORVID2_METHOD(Device, GetID).
#define CORVID2_METHOD(Class, Method) CORVID2_METHOD_AS(Class, Method, #Method)
// The same, for the few methods whose lines carry another operation name than the method's own.
#define CORVID2_METHOD_AS(Class, Method, label) \
    (::corvid2::MethodSite{__FILE__, __LINE__, "CORVID2::" #Class "::" #Method, #Class, label})

// Records a failure of the method as the thread's last error, with the trace line
// "<class>; <operation>; <message>", and returns `code`.
inline Result recordFailure(const MethodSite& site, Result code, const char* format, ...) CORVID2_PRINTF_FORMAT(3, 4);
inline Result recordFailure(const MethodSite& site, Result code, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    SetLastErrorV(code, site.className, site.label, format, arguments);
    va_end(arguments);
    return code;
}

// Throws the exception of `code` from the method with the text the calling thread last recorded.
[[noreturn]] inline void throwRecorded(const MethodSite& site, Result code) {
    std::string text;
    GetLastErrorText(text);
    ThrowWithText(code, site.file, site.line, site.name, text.c_str());
}

// Records a failure of the method and throws its exception.
[[noreturn]] inline void failAt(const MethodSite& site, Result code, const char* format, ...)
    CORVID2_PRINTF_FORMAT(3, 4);
[[noreturn]] inline void failAt(const MethodSite& site, Result code, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    SetLastErrorV(code, site.className, site.label, format, arguments);
    va_end(arguments);
    throwRecorded(site, code);
}

// How a method holds its wrapper: the acquisition mode and whether it refuses to run while another
// thread holds the object's write lock.
struct CallShape {
    AcquireMode mode;
    bool checkWriteLock;
};

inline constexpr CallShape kShared{AcquireMode::Shared, false};
inline constexpr CallShape kSharedChecked{AcquireMode::Shared, true};
inline constexpr CallShape kExclusive{AcquireMode::Exclusive, false};
inline constexpr CallShape kExclusiveChecked{AcquireMode::Exclusive, true};

// Turns a failed internal result into the exception of its code, thrown with the method's name.
inline void throwIfFailed(const MethodSite& site, Result code) {
    if (code != Result::Success) ThrowForCode(code, site.file, site.line, site.name);
}

// The acquired wrapper object for the length of one public method, for methods whose body is more
// than one internal call. `callGuarded` below is the short form.
template <class Guard>
class CPublicCall {
public:
    using Object = typename Guard::ObjectType;

    CPublicCall(const MethodSite& site, CallShape shape, const void* owner, Object* const* objectSlot)
        : site_(site), guard_(site.name), object_(guard_.Acquire(owner, objectSlot, shape.mode)) {
        if (shape.checkWriteLock) guard_.CheckWriteLock(object_);
    }

    Object& operator*() const { return *object_; }
    Object* operator->() const { return object_; }
    Guard& guard() { return guard_; }
    const MethodSite& site() const { return site_; }

    // Returns on 0; throws the exception of any other code with the thread's last-error text.
    void check(Result code) const { throwIfFailed(site_, code); }

private:
    MethodSite site_;
    Guard guard_;
    Object* object_;
};

// A success part that does nothing and returns nothing.
struct NoSuccessPart {
    template <class Object>
    void operator()(Object&) const {}
};

// The whole public method: `operation(object)` returns the internal result code; on success
// `onSuccess(object)` writes the trace line and gives the method's result.
template <class Guard, class Operation, class OnSuccess = NoSuccessPart>
decltype(auto) callGuarded(const MethodSite& site, CallShape shape, const void* owner,
                           typename Guard::ObjectType* const* objectSlot, Operation&& operation,
                           OnSuccess&& onSuccess = NoSuccessPart()) {
    CPublicCall<Guard> call(site, shape, owner, objectSlot);
    call.check(std::forward<Operation>(operation)(*call));
    return std::forward<OnSuccess>(onSuccess)(*call);
}

// The constructor and destructor shapes of a wrapper. The constructor registers the holder it has
// just made; the destructor unregisters it (waiting for the methods still inside), destroys it
// with `destroy(holder)`, and meets a holder that is already gone with a warning line
// "<class>; <~method>; Object invalid." instead of an exception.
template <class Guard>
void registerHolder(const MethodSite& site, const void* owner, typename Guard::ObjectType* holder) {
    Guard(site.name).Register(owner, holder);
}

template <class Guard, class Destroy>
void unregisterHolder(const MethodSite& site, const void* owner, typename Guard::ObjectType* const* holderSlot,
                      Destroy&& destroy) {
    try {
        std::forward<Destroy>(destroy)(Guard(site.name).Unregister(owner, holderSlot));
    } catch (const CORVID2::Exceptions::ObjectInvalidException&) {
        traceWarning("%s; %s; Object invalid.", site.className, site.label);
    }
}

// The internal step of a method: acquires the internal object (root kind, no owner) held in the
// wrapper's data for the length of `operation(object)`, whose result code it returns. A wrapper
// without internal object (a module not open) is the method's own case: `whenMissing()` gives the
// code then, typically after recording "... is not open." as NotInitialized.
template <class InternalGuard, class Operation, class WhenMissing>
Result withInternal(const MethodSite& site, typename InternalGuard::ObjectType* const* objectSlot,
                    Operation&& operation, WhenMissing&& whenMissing) {
    // Read outside any lock: code that sets or clears a holder's internal pointer while methods may
    // run must hold the holder exclusively (or make the pointer atomic), or this read races.
    if (*objectSlot == nullptr) return std::forward<WhenMissing>(whenMissing)();
    InternalGuard guard(site.name);
    return std::forward<Operation>(operation)(*guard.Acquire(nullptr, objectSlot, AcquireMode::Shared));
}

}  // namespace corvid2
