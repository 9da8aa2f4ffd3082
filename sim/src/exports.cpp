// SPDX-License-Identifier: BSD-3-Clause
// The exported C functions: each is one guarded call of its implementation, which maps any failure to its
// GenTL code, records the thread's last error and lets injected faults take effect.
#include <new>
#include <string>
#include <string_view>

#include "gentl_api.h"
#include "producer.h"

namespace corvid2::sim {
namespace {

template <typename Body>
GC_ERROR guarded(const char* name, Body&& body) noexcept {
    Producer& producer = Producer::instance();
    try {
        // The last error must stay readable after a failed GCInitLib, so GCGetLastError needs no init.
        if (std::string_view(name) != "GCInitLib" && std::string_view(name) != "GCGetLastError") {
            producer.requireInitialized();
            const GC_ERROR injected = producer.faults.take(name);
            if (injected != GC_ERR_SUCCESS) fail(injected, std::string("injected fault in ") + name);
        }
        body();
        return GC_ERR_SUCCESS;
    } catch (const SimError& error) {
        setLastError(error.code(), error.what());
        producer.trace(1, std::string(name) + "; " + error.what());
        return error.code();
    } catch (const std::bad_alloc&) {
        setLastError(GC_ERR_OUT_OF_MEMORY, "out of memory");
        return GC_ERR_OUT_OF_MEMORY;
    } catch (const std::exception& error) {
        setLastError(GC_ERR_ERROR, error.what());
        return GC_ERR_ERROR;
    } catch (...) {
        setLastError(GC_ERR_ERROR, "unexpected failure");
        return GC_ERR_ERROR;
    }
}

}  // namespace
}  // namespace corvid2::sim

// Loader-test variants leave single functions out: a build defines CORVID2_SIM_OMIT_<name> as "~,1", which the
// probe below turns into hidden visibility for exactly that function.
#define CORVID2_SIM_SECOND(a, b, ...) b
#define CORVID2_SIM_PROBE(...) CORVID2_SIM_SECOND(__VA_ARGS__, 0, 0)
#define CORVID2_SIM_IS_OMITTED(name) CORVID2_SIM_PROBE(CORVID2_SIM_OMIT_##name)
#define CORVID2_SIM_CAT_(a, b) a##b
#define CORVID2_SIM_CAT(a, b) CORVID2_SIM_CAT_(a, b)
#define CORVID2_SIM_VISIBILITY_0 __attribute__((visibility("default")))
#define CORVID2_SIM_VISIBILITY_1 __attribute__((visibility("hidden")))
#define CORVID2_SIM_VISIBILITY(name) CORVID2_SIM_CAT(CORVID2_SIM_VISIBILITY_, CORVID2_SIM_IS_OMITTED(name))

#define CORVID2_SIM_EXPORT(name, since_major, since_minor, params, args)            \
    CORVID2_SIM_VISIBILITY(name) GC_ERROR GC_CALLTYPE name params {                 \
        return corvid2::sim::guarded(#name, [&] { corvid2::sim::api::name args; }); \
    }

namespace GenTL {
GENTL_FUNCTION_LIST(CORVID2_SIM_EXPORT)
}  // namespace GenTL
