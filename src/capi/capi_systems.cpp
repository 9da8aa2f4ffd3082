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
        if (!restoreStartupPath()) return CORVID2_RESULT_ERROR;
        producers().setPathMode(false);
    }
    return producers().UpdateTLProducerList();
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_UpdateSystemListFromPath(const char* path) {
    if (path == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    producers().setPathMode(true);
    if (!producers().setEnv(path)) return CORVID2_RESULT_ERROR;
    return producers().UpdateTLProducerList();
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_LoadSystemFromPath(const char* path, CORVID2_System* system) {
    if (path == nullptr || system == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    CProducerObj* producer = nullptr;
    const CORVID2_RESULT result = producers().LoadStandAloneTLProducer(path, &producer);
    if (result == CORVID2_RESULT_SUCCESS) *system = producer;
    return result;
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetNumSystems(uint32_t* count) {
    if (count == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    const auto n = static_cast<int>(producers().size());
    if (n == 0)
        traceWarning("%s; GetNumTLProducer; Number of TLProducer: %d", "base", n);
    else
        traceInfo("%s; GetNumTLProducer; Number of TLProducer: %d", "base", n);
    *count = static_cast<uint32_t>(n);
    return CORVID2_RESULT_SUCCESS;
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetSystem(uint32_t index, CORVID2_System* system) {
    if (system == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    CProducerObj* producer = producers().at(index);
    if (producer == nullptr) {
        CProducerObj* none = nullptr;
        return producers().LoadTLProducerByIndex(index, &none);  // records the invalid index
    }
    if (!producer->isProducerLoaded()) {
        CProducerObj* loaded = nullptr;
        producers().LoadTLProducerByIndex(index, &loaded);
        *system = loaded;
        return CORVID2_RESULT_SUCCESS;
    }
    *system = producer;
    return CORVID2_RESULT_SUCCESS;
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ReleaseSystem(CORVID2_System system) {
    if (system == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    auto* producer = static_cast<CProducerObj*>(system);
    const CORVID2_RESULT result = producers().UnloadTLProducer(producer);
    if (result != CORVID2_RESULT_INVALID_PARAMETER) return result;
    return producers().UnloadStandAloneTLProducer(producer);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_SetEnv(const char* path) {
    if (path == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    return producers().setEnv(path) ? CORVID2_RESULT_SUCCESS : CORVID2_RESULT_ERROR;
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetEnv(char* buffer, uint64_t* size) {
    if (size == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    return copyStringOut(platform::getEnv(CConsumerBase::kSearchPathVariable).value_or(""), buffer, size);
}

CORVID2_API int32_t CORVID2_CALL setE(const char* path) {
    if (path == nullptr) return CORVID2_RESULT_ERROR;
    return producers().setEnv(path) ? CORVID2_RESULT_SUCCESS : CORVID2_RESULT_ERROR;
}

CORVID2_API int32_t CORVID2_CALL getE(const char* name, char* buffer, uint64_t size) {
    if (buffer == nullptr) return CORVID2_RESULT_ERROR;
    const std::string value = name ? platform::getEnv(name).value_or("") : std::string();
    std::snprintf(buffer, static_cast<size_t>(size), "%s", value.c_str());
    return CORVID2_RESULT_SUCCESS;
}

}  // extern "C"
