// SPDX-License-Identifier: BSD-3-Clause
// Loading, initialising and unloading one producer, and its system information queries.
#include "modules/producerobj.h"

#include "core/last_error.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {
constexpr char kNoTable[] = "Producer handle not valid. InitLib for TLProducer failed.";
}

CProducerObj::CProducerObj(std::filesystem::path file)
    : CGenTLModule("TLPort", nullptr, "Unknown"), path_(std::move(file)) {
    traceName_ = "ProducerObj";
    traceInfo("%s; ctor", traceName_.c_str());
}

CProducerObj::~CProducerObj() {
    if (isProducerLoaded()) unloadProducer();
    traceInfo("%s; dtor", traceName_.c_str());
}

bool CProducerObj::loadProducer() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    std::string error;
    if (!library_.load(path_, error))
        throw CProducerLoadError("boost::dll::shared_library::load() failed: " + error);
    traceHook_ = CProducerTraceHook::create(path_);
    if (traceHook_) traceHook_->registerCallback(&producerTraceCallback);
    try {
        table_ = std::make_unique<CGenTLProducer>(path_);
    } catch (...) {
        traceHook_.reset();
        library_.unload();
        throw;
    }
    const bool initialised = table_->GCInitLib() == GC_ERR_SUCCESS;
    setProducer("TLPort", table_.get());
    return initialised;
}

bool CProducerObj::unloadProducer() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    resetModule();
    bool closed = true;
    if (table_) {
        closed = table_->GCCloseLib() == GC_ERR_SUCCESS;
        closeErrorCode_ = GC_ERR_SUCCESS;
        closeErrorText_.clear();
        if (!closed) closeErrorText_ = table_->lastErrorText(&closeErrorCode_);
        table_.reset();
    }
    traceHook_.reset();
    library_.unload();
    return closed;
}

bool CProducerObj::isProducerLoaded() const {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return library_.isLoaded();
}

std::int32_t CProducerObj::getInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!table_) return SetLastError(-1001, traceName_.c_str(), "getInfo", kNoTable);
    if (size == nullptr) return SetLastError(-1009, traceName_.c_str(), "getInfo", "Invalid parameter, size is NULL");
    const bool open = tlHandle_ != nullptr;
    const GC_ERROR result = open ? table_->TLGetInfo(tlHandle_, command, type, buffer, size)
                                 : table_->GCGetInfo(command, type, buffer, size);
    if (result != GC_ERR_SUCCESS)
        return SetLastError(-1099, traceName_.c_str(), "getInfo", "%s failed: %s", open ? "TLGetInfo" : "GCGetInfo",
                            failureDetails(result).c_str());
    return 0;
}

std::int32_t CProducerObj::getInfoString(TL_INFO_CMD command, std::string& text) {
    INFO_DATATYPE type = 0;
    size_t size = 0;
    if (std::int32_t code = getInfo(command, &type, nullptr, &size); code != 0) return code;
    std::string value(size, '\0');
    if (std::int32_t code = getInfo(command, &type, value.data(), &size); code != 0) return code;
    text = value.c_str();
    return 0;
}

}  // namespace corvid2
