// SPDX-License-Identifier: BSD-3-Clause
// Flat C functions of the producer search and the system list.
#include "corvid2_genicam_c.h"

#include <cstdio>
#include <string>

#include "capi/capi_string.h"
#include "core/last_error.h"
#include "modules/consumer_base.h"
#include "modules/producerobj.h"
#include "platform/platform.h"
#include "trace/trace.h"

using namespace corvid2;

namespace {

CProducerList& producers() { return CConsumerBase::instance().producers(); }

// Leaves path mode, putting back the search path the process started with.
bool restoreStartupPath() {
    auto& context = CConsumerBase::instance();
    if (context.hadStartupSearchPath()) return producers().setEnv(context.startupSearchPath().c_str());
    return platform::unsetEnv(CConsumerBase::kSearchPathVariable) ||
           !platform::getEnv(CConsumerBase::kSearchPathVariable);
}

}  // namespace

extern "C" {

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_UpdateSystemList(void) {
    if (producers().pathMode()) {
        if (!restoreStartupPath()) return toCode(Result::Error);
        producers().setPathMode(false);
    }
    return toCode(producers().UpdateTLProducerList());
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_UpdateSystemListFromPath(const char* path) {
    if (path == nullptr) return toCode(Result::InvalidParameter);
    producers().setPathMode(true);
    if (!producers().setEnv(path)) return toCode(Result::Error);
    return toCode(producers().UpdateTLProducerList());
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_LoadSystemFromPath(const char* path, CORVID2_System* system) {
    if (path == nullptr || system == nullptr) return toCode(Result::InvalidParameter);
    CProducerObj* producer = nullptr;
    const Result result = producers().LoadStandAloneTLProducer(path, &producer);
    if (result == Result::Success) *system = producer;
    return toCode(result);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetNumSystems(uint32_t* count) {
    if (count == nullptr) return toCode(Result::InvalidParameter);
    const auto n = static_cast<int>(producers().size());
    if (n == 0)
        traceWarning("%s; GetNumTLProducer; Number of TLProducer: %d", "base", n);
    else
        traceInfo("%s; GetNumTLProducer; Number of TLProducer: %d", "base", n);
    *count = static_cast<uint32_t>(n);
    return toCode(Result::Success);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetSystem(uint32_t index, CORVID2_System* system) {
    if (system == nullptr) return toCode(Result::InvalidParameter);
    CProducerObj* producer = producers().at(index);
    if (producer == nullptr) {
        CProducerObj* none = nullptr;
        return toCode(producers().LoadTLProducerByIndex(index, &none));  // records the invalid index
    }
    if (!producer->isProducerLoaded()) {
        CProducerObj* loaded = nullptr;
        producers().LoadTLProducerByIndex(index, &loaded);
        *system = loaded;
        return toCode(Result::Success);
    }
    *system = producer;
    return toCode(Result::Success);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ReleaseSystem(CORVID2_System system) {
    if (system == nullptr) return toCode(Result::InvalidParameter);
    auto* producer = static_cast<CProducerObj*>(system);
    const Result result = producers().UnloadTLProducer(producer);
    if (result != Result::InvalidParameter) return toCode(result);
    return toCode(producers().UnloadStandAloneTLProducer(producer));
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_SetEnv(const char* path) {
    if (path == nullptr) return toCode(Result::InvalidParameter);
    return producers().setEnv(path) ? toCode(Result::Success) : toCode(Result::Error);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetEnv(char* buffer, uint64_t* size) {
    if (size == nullptr) return toCode(Result::InvalidParameter);
    return copyStringOut(platform::getEnv(CConsumerBase::kSearchPathVariable).value_or(""), buffer, size);
}

CORVID2_API int32_t CORVID2_CALL setE(const char* path) {
    if (path == nullptr) return toCode(Result::Error);
    return producers().setEnv(path) ? toCode(Result::Success) : toCode(Result::Error);
}

CORVID2_API int32_t CORVID2_CALL getE(const char* name, char* buffer, uint64_t size) {
    if (buffer == nullptr) return toCode(Result::Error);
    const std::string value = name ? platform::getEnv(name).value_or("") : std::string();
    std::snprintf(buffer, static_cast<size_t>(size), "%s", value.c_str());
    return toCode(Result::Success);
}

}  // extern "C"
