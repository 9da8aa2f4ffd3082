// SPDX-License-Identifier: BSD-3-Clause
// Loading, initialising and unloading one producer, and its system information queries.
#include "modules/producerobj.h"

#include <algorithm>
#include <vector>

#include <corvid2/genapi/interfaces.h>

#include "core/last_error.h"
#include "modules/info_query.h"
#include "modules/interfaceobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {
constexpr char kNoTable[] = "Producer handle not valid. InitLib for TLProducer failed.";
}

CProducerObj::CProducerObj(std::filesystem::path file)
    : CGenTLModule("TLPort", nullptr, "Unknown"), path_(std::move(file)) {
    setTraceName("ProducerObj");
    traceInfo("%s; ctor", traceName().c_str());
}

CProducerObj::~CProducerObj() {
    if (opened_) close();
    if (isProducerLoaded()) unloadProducer();
    traceInfo("%s; dtor", traceName().c_str());
}

bool CProducerObj::loadProducer() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    std::string error;
    if (!library_.load(path_, error)) throw CProducerLoadError("boost::dll::shared_library::load() failed: " + error);
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
    if (opened_) close();
    // Whatever close left behind (a refused TLClose) belongs to a library about to go.
    destroyInterfaces();
    tlHandle_ = nullptr;
    opened_ = false;
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

Result CProducerObj::getInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!table_) return failed(Result::Error, "getInfo", kNoTable);
    if (size == nullptr) return nullArgument("getInfo", "size");
    const bool open = tlHandle_ != nullptr;
    const GC_ERROR result = open ? table_->TLGetInfo(tlHandle_, command, type, buffer, size)
                                 : table_->GCGetInfo(command, type, buffer, size);
    if (result != GC_ERR_SUCCESS) return producerFailed("getInfo", open ? "TLGetInfo" : "GCGetInfo", result);
    return Result::Success;
}

Result CProducerObj::getInfoString(TL_INFO_CMD command, std::string& text) {
    return queryInfoText(
        [&](INFO_DATATYPE* type, void* buffer, size_t* size) { return getInfo(command, type, buffer, size); }, text);
}

namespace {

// An integer feature of the map, or 0 when the map lacks it or cannot read it.
std::uint32_t integerFeature(genapi::INodeMap* map, const char* name) {
    if (map == nullptr) return 0;
    try {
        genapi::CIntegerPtr feature = map->GetNode(name);
        if (!feature || !genapi::IsReadable(feature)) return 0;
        return static_cast<std::uint32_t>(feature->GetValue());
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

Result CProducerObj::open() {
    static constexpr char kOperation[] = "open";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!table_) return failed(Result::Error, kOperation, kNoTable);
    if (opened_) {
        traceWarning("%s; open; Already opened", traceName().c_str());
        return Result::Success;
    }
    if (tlHandle_ != nullptr) return failed(Result::ResourceInUse, kOperation, "Already initialized");
    if (const GC_ERROR result = table_->TLOpen(&tlHandle_); result != GC_ERR_SUCCESS) {
        tlHandle_ = nullptr;
        return producerFailed(kOperation, "TLOpen", result);
    }
    if (const GC_ERROR code = initPort(tlHandle_); code != GC_ERR_SUCCESS)
        traceWarning("%s; open; Port interface not initialized %d. Maybe the access to GenICam nodes not possible.",
                     traceName().c_str(), code);
    if (const Result code = initializeNodeInterface(); code != Result::Success) {
        failed(code, kOperation, "Node interface not initialized %d", toCode(code));
        // Undone, so that the next open starts from the beginning once the cause is fixed.
        releaseNodeMap();
        if (const GC_ERROR result = table_->TLClose(tlHandle_); result != GC_ERR_SUCCESS)
            traceWarning("%s; open; TLClose after the failed open returned %s", traceName().c_str(),
                         failureDetails(result).c_str());
        tlHandle_ = nullptr;
        return code;
    }
    opened_ = true;

    std::string text;
    if (getInfoString(TL_INFO_DISPLAYNAME, text) == Result::Success)
        setTraceName(text);
    else
        traceWarning("%s; open; No display name for trace output. Display name will set to 'ProducerObj'",
                     traceName().c_str());
    if (getInfoString(TL_INFO_VENDOR, text) == Result::Success)
        setVendor(text);
    else
        traceWarning("%s; open; Producer doesn't support vendor information.", traceName().c_str());
    genTLVersionMajor_ = integerFeature(nodeMap(), "GenTLVersionMajor");
    genTLVersionMinor_ = integerFeature(nodeMap(), "GenTLVersionMinor");
    traceInfo("%s; open", traceName().c_str());
    return Result::Success;
}

void CProducerObj::destroyInterfaces() {
    // Taken out first, so that a destructor calling back into the system finds a consistent set.
    auto interfaces = std::move(interfaces_);
    interfaces_.clear();
}

Result CProducerObj::close() {
    static constexpr char kOperation[] = "close";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!table_) return failed(Result::Error, kOperation, kNoTable);
    if (!opened_) {
        traceWarning("%s; close; Producer not opened", traceName().c_str());
        return Result::Success;
    }
    destroyInterfaces();
    if (!destroyedByContext_) {
        if (const GC_ERROR result = table_->TLClose(tlHandle_); result != GC_ERR_SUCCESS)
            return producerFailed(kOperation, "TLClose", result);
    }
    releaseNodeMap();
    tlHandle_ = nullptr;
    opened_ = false;
    return Result::Success;
}

Result CProducerObj::checkOpenTransportLayer(const char* operation) {
    if (!table_) return failed(Result::Error, operation, kNoTable);
    if (tlHandle_ == nullptr) {
        failed(Result::ResourceInUse, operation, "Producer not initialized");
        return Result::NotInitialized;
    }
    return Result::Success;
}

Result CProducerObj::GetNumInterfaces(std::uint32_t* count) {
    static constexpr char kOperation[] = "GetNumInterfaces";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (const Result code = checkOpenTransportLayer(kOperation); code != Result::Success) return code;
    if (count == nullptr) return nullArgument(kOperation, "iNumIfaces");
    if (const GC_ERROR result = table_->TLGetNumInterfaces(tlHandle_, count); result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "TLGetNumInterfaces", result);
    traceInfo("%s; GetNumInterfaces; %d interfaces available", traceName().c_str(), static_cast<int>(*count));
    return Result::Success;
}

Result CProducerObj::getInterfaceID(std::uint32_t index, std::string* id) {
    static constexpr char kOperation[] = "getInterfaceID";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (const Result code = checkOpenTransportLayer(kOperation); code != Result::Success) return code;
    if (id == nullptr) return nullArgument(kOperation, "IfaceID");
    TextStep step = TextStep::None;
    const GC_ERROR result = readGenTLText(
        [&](char* buffer, size_t* size) { return table_->TLGetInterfaceID(tlHandle_, index, buffer, size); }, *id,
        step);
    if (result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, step == TextStep::Size ? "TLGetInterfaceID (size)" : "TLGetInterfaceID",
                              result);
    traceInfo("%s; getInterfaceID; %s", traceName().c_str(), id->c_str());
    return Result::Success;
}

Result CProducerObj::getInterfaceInfo(const char* id, INTERFACE_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                      size_t* size) {
    static constexpr char kOperation[] = "getInterfaceInfo";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (const Result code = checkOpenTransportLayer(kOperation); code != Result::Success) return code;
    if (size == nullptr) return nullArgument(kOperation, "iSize");
    if (const GC_ERROR result = table_->TLGetInterfaceInfo(tlHandle_, id, command, type, buffer, size);
        result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "TLGetInterfaceInfo", result);
    return Result::Success;
}

Result CProducerObj::getInterfaceInfoString(const std::string& id, INTERFACE_INFO_CMD command, std::string& text) {
    return queryInfoText([&](INFO_DATATYPE* type, void* buffer,
                             size_t* size) { return getInterfaceInfo(id.c_str(), command, type, buffer, size); },
                         text);
}

Result CProducerObj::getInterface(const std::string& id, CInterfaceObj** iface) {
    static constexpr char kOperation[] = "getInterface";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (iface == nullptr) return nullArgument(kOperation, "phIface");
    for (const auto& candidate : interfaces_) {
        if (candidate->id() == id) {
            *iface = candidate.get();
            return Result::Success;
        }
    }
    *iface = nullptr;
    return failed(Result::Error, kOperation, " %s not found!", id.c_str());
}

std::size_t CProducerObj::interfaceCount() const {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return interfaces_.size();
}

Result CProducerObj::updateInterfaceList(bool* changed, std::uint64_t timeout) {
    static constexpr char kOperation[] = "UpdateInterfaceList";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (const Result code = checkOpenTransportLayer(kOperation); code != Result::Success) return code;
    if (changed == nullptr) return nullArgument(kOperation, "bChanged");
    bool8_t producerChanged = 0;
    if (const GC_ERROR result = table_->TLUpdateInterfaceList(tlHandle_, &producerChanged, timeout);
        result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "TLUpdateInterfaceList", result);
    *changed = producerChanged != 0;
    traceInfo("%s; UpdateInterfaceList; List changed %s", traceName().c_str(), *changed ? "true" : "false");

    std::uint32_t count = 0;
    if (const GC_ERROR result = table_->TLGetNumInterfaces(tlHandle_, &count); result != GC_ERR_SUCCESS)
        return producerFailed("GetNumInterfaces", "TLGetNumInterfaces", result);
    std::vector<std::string> ids(count);
    for (std::uint32_t index = 0; index < count; ++index)
        if (const Result code = getInterfaceID(index, &ids[index]); code != Result::Success) return code;

    for (auto it = interfaces_.begin(); it != interfaces_.end();) {
        const CInterfaceObj& known = **it;
        if (std::find(ids.begin(), ids.end(), known.id()) != ids.end()) {
            ++it;
        } else if (!known.isOpen()) {
            it = interfaces_.erase(it);
            *changed = true;
        } else {
            failed(Result::Success, "updateInterfaceList", "missing open interface %s", known.id().c_str());
            ++it;
        }
    }
    for (const std::string& id : ids) {
        const bool known = std::any_of(interfaces_.begin(), interfaces_.end(),
                                       [&id](const std::unique_ptr<CInterfaceObj>& i) { return i->id() == id; });
        if (known) continue;
        interfaces_.insert(std::make_unique<CInterfaceObj>(this, table_.get(), tlHandle_, id, vendor()));
        *changed = true;
    }
    return Result::Success;
}

}  // namespace corvid2
