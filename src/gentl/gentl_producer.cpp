// SPDX-License-Identifier: BSD-3-Clause
// Binding of one producer file: resolution of its table and of its optional trace hook.
#include "gentl/gentl_producer.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "gentl/gentl_errors.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

const char* const CGenTLProducer::kFunctionNames[kFunctionCount] = {
    // mandatory
    "GCGetInfo", "GCGetLastError", "GCInitLib", "GCCloseLib", "GCReadPort", "GCWritePort", "GCGetPortURL",
    "GCGetPortInfo", "GCRegisterEvent", "GCUnregisterEvent", "EventGetData", "EventGetDataInfo", "EventGetInfo",
    "EventFlush", "EventKill", "TLOpen", "TLClose", "TLGetInfo", "TLGetNumInterfaces", "TLGetInterfaceID",
    "TLGetInterfaceInfo", "TLOpenInterface", "TLUpdateInterfaceList", "IFClose", "IFGetInfo", "IFGetNumDevices",
    "IFGetDeviceID", "IFUpdateDeviceList", "IFGetDeviceInfo", "IFOpenDevice", "DevGetPort", "DevGetNumDataStreams",
    "DevGetDataStreamID", "DevOpenDataStream", "DevGetInfo", "DevClose", "DSAnnounceBuffer", "DSAllocAndAnnounceBuffer",
    "DSFlushQueue", "DSStartAcquisition", "DSStopAcquisition", "DSGetInfo", "DSGetBufferID", "DSClose",
    "DSRevokeBuffer", "DSQueueBuffer", "DSGetBufferInfo", "GCGetNumPortURLs", "GCGetPortURLInfo", "GCReadPortStacked",
    "GCWritePortStacked", "DSGetBufferChunkData",
    // optional
    "IFGetParentTL", "DevGetParentIF", "DSGetParentDev", "DSGetNumBufferParts", "DSGetBufferPartInfo",
    "DSAnnounceCompositeBuffer", "DSGetBufferInfoStacked", "DSGetBufferPartInfoStacked", "DSGetNumFlows",
    "DSGetFlowInfo", "DSGetNumBufferSegments", "DSGetBufferSegmentInfo"};

namespace {

// Where each named entry of the table lives, so that resolution can follow the order above.
struct Slot {
    const char* name;
    void** pointer;
};

}  // namespace

CGenTLProducer::CGenTLProducer(const std::filesystem::path& file) {
    std::string error;
    if (!library_.load(file, error)) throw CProducerLoadError("boost::dll::shared_library::load() failed: " + error);

    const Slot slots[] = {
#define CORVID2_SLOT(name, since_major, since_minor, params, args) {#name, reinterpret_cast<void**>(&table_.name)},
        GENTL_FUNCTION_LIST(CORVID2_SLOT)
#undef CORVID2_SLOT
    };
    auto slotOf = [&slots](const char* name) -> void** {
        for (const Slot& s : slots)
            if (std::strcmp(s.name, name) == 0) return s.pointer;
        return nullptr;
    };

    for (int row = 0; row < kFunctionCount; ++row) {
        void* address = library_.symbol(kFunctionNames[row]);
        if (address == nullptr && row < kMandatoryCount) {
            table_ = Table{};
            library_.unload();
            throw CProducerLoadError(std::string("boost::dll::shared_library::get() failed: ") + kFunctionNames[row] +
                                     ": undefined symbol");
        }
        *slotOf(kFunctionNames[row]) = address;
    }
}

CGenTLProducer::~CGenTLProducer() = default;

#define CORVID2_DEFINE_FORWARDER(name, since_major, since_minor, params, args) \
    GC_ERROR CGenTLProducer::name params { return table_.name != nullptr ? table_.name args : GC_ERR_NOT_IMPLEMENTED; }
GENTL_FUNCTION_LIST(CORVID2_DEFINE_FORWARDER)
#undef CORVID2_DEFINE_FORWARDER

bool CGenTLProducer::exports(const char* name) const { return name != nullptr && library_.symbol(name) != nullptr; }

std::string CGenTLProducer::lastErrorText(GC_ERROR* lastCode) {
    GC_ERROR code = GC_ERR_SUCCESS;
    size_t size = 0;
    GCGetLastError(&code, nullptr, &size);
    if (lastCode != nullptr) *lastCode = code;
    if (size == 0) return std::string();
    std::vector<char> text(size + 1, '\0');
    GCGetLastError(&code, text.data(), &size);
    if (lastCode != nullptr) *lastCode = code;
    return GenTLErrorName(code) + " " + text.data();
}

const char* const CProducerTraceHook::kFunctionNames[kFunctionCount] = {"QXTLTraceEnable",
                                                                        "QXTLTraceActivateOutputToFile",
                                                                        "QXTLTraceActivateOutputToDebugger",
                                                                        "QXTLTraceActivateMaskError",
                                                                        "QXTLTraceActivateMaskWarning",
                                                                        "QXTLTraceActivateMaskInformation",
                                                                        "QXTLTraceActivateOutputOptionTimestamp",
                                                                        "QXTLTraceActivateOutputOptionTimestampDiff",
                                                                        "QXTLTraceActivateOutputOptionThreadId",
                                                                        "QXTLTraceActivateOutputOptionPrefix",
                                                                        "QXTLTraceRegisterCallback"};

std::unique_ptr<CProducerTraceHook> CProducerTraceHook::create(const std::filesystem::path& file) {
    std::unique_ptr<CProducerTraceHook> hook(new CProducerTraceHook());
    std::string error;
    if (!hook->library_.load(file, error)) return nullptr;
    for (int i = 0; i < kFunctionCount; ++i) {
        hook->functions_[i] = hook->library_.symbol(kFunctionNames[i]);
        if (hook->functions_[i] == nullptr) return nullptr;
    }
    return hook;
}

void CProducerTraceHook::registerCallback(TraceCallback callback) {
    using RegisterFn = void (*)(TraceCallback);
    reinterpret_cast<RegisterFn>(functions_[kFunctionCount - 1])(callback);
}

void producerTraceCallback(const char* prefix, std::int32_t channel, std::int32_t level, std::uint32_t traceLevelBits,
                           const char* format, ...) {
    auto& trace = CLibraryTrace::instance().trace();
    const auto levelBits = static_cast<std::uint64_t>(static_cast<std::uint32_t>(level));
    if (format == nullptr || !trace.wouldTrace(levelBits)) return;
    va_list args;
    va_start(args, format);
    trace.vtrace(prefix, static_cast<std::uint32_t>(channel), levelBits, traceLevelBits, format, args);
    va_end(args);
}

}  // namespace corvid2
