// SPDX-License-Identifier: BSD-3-Clause
// The GenTL port calls of one module: checks, locking, the description location list and error mapping.
#include "features/port_iface.h"

#include <algorithm>

#include "core/last_error.h"
#include "gentl/gentl_producer.h"

namespace corvid2 {

using namespace GenTL;

namespace {
constexpr std::int32_t kInternalError = -1001;
constexpr std::int32_t kNotInitialized = -1002;
constexpr std::int32_t kInvalidParameter = -1009;
constexpr std::int32_t kProducerError = -1099;
constexpr std::int32_t kAccessDenied = -1005;
constexpr std::int32_t kTimeout = -1011;
}  // namespace

IPortIface::IPortIface(CGenTLProducer* producer, std::string portName)
    : producer_(producer), portName_(std::move(portName)) {}

IPortIface::~IPortIface() = default;

void IPortIface::setProducer(CGenTLProducer* producer, const std::string& portName) {
    std::lock_guard<std::mutex> lock(mutex_);
    producer_ = producer;
    portName_ = portName;
}

void IPortIface::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    handle_ = nullptr;
    urls_.clear();
    portName_.clear();
}

std::int32_t IPortIface::checkUsable(const char* label, bool argumentsPresent) {
    if (producer_ == nullptr)
        return SetLastError(kInternalError, portName_.c_str(), label, "Producer handle not valid");
    if (handle_ == nullptr) return SetLastError(kNotInitialized, portName_.c_str(), label, "Port not initialized");
    if (!argumentsPresent) return SetLastError(kInvalidParameter, portName_.c_str(), label, "Invalid parameter");
    return 0;
}

std::int32_t IPortIface::recordFailure(const char* label, GC_ERROR result, std::initializer_list<std::int32_t> kept) {
    const std::int32_t code = std::find(kept.begin(), kept.end(), result) != kept.end() ? result : kProducerError;
    return SetLastError(code, portName_.c_str(), label, "%s", producer_->lastErrorText().c_str());
}

template <class Call>
std::int32_t IPortIface::call(const char* label, std::initializer_list<std::int32_t> keptCodes, bool argumentsPresent,
                              Call&& genTLCall) {
    if (const std::int32_t refused = checkUsable(label, argumentsPresent)) return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    const GC_ERROR result = genTLCall();
    return result == GC_ERR_SUCCESS ? 0 : recordFailure(label, result, keptCodes);
}

std::int32_t IPortIface::ReadPort(std::uint64_t address, void* buffer, size_t* size) {
    return call("ReadPort", {kAccessDenied}, buffer != nullptr && size != nullptr,
                [&] { return producer_->GCReadPort(handle_, address, buffer, size); });
}

std::int32_t IPortIface::WritePort(std::uint64_t address, const void* buffer, size_t* size) {
    return call("WritePort", {kAccessDenied, kTimeout}, buffer != nullptr && size != nullptr,
                [&] { return producer_->GCWritePort(handle_, address, buffer, size); });
}

std::int32_t IPortIface::GetPortInfo(PORT_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    return call("GetPortInfo", {}, type != nullptr && size != nullptr, [&] {
        size_t handed = buffer != nullptr ? *size : 0;
        const GC_ERROR result = producer_->GCGetPortInfo(handle_, command, type, buffer, &handed);
        if (result == GC_ERR_SUCCESS) *size = handed;
        return result;
    });
}

std::int32_t IPortIface::ReadPortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return call("ReadPortStacked", {kAccessDenied}, entries != nullptr && count != nullptr,
                [&] { return producer_->GCReadPortStacked(handle_, entries, count); });
}

std::int32_t IPortIface::WritePortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return call("WritePortStacked", {kAccessDenied}, entries != nullptr && count != nullptr,
                [&] { return producer_->GCWritePortStacked(handle_, entries, count); });
}

std::int32_t IPortIface::getPortInfoText(PORT_INFO_CMD command, std::string& text) {
    INFO_DATATYPE type = 0;
    size_t size = 0;
    if (const std::int32_t code = GetPortInfo(command, &type, nullptr, &size)) return code;
    std::vector<char> buffer(size + 1, '\0');
    if (const std::int32_t code = GetPortInfo(command, &type, buffer.data(), &size)) return code;
    text = buffer.data();
    return 0;
}

// ---- description locations ------------------------------------------------------------------

namespace {
// Two-step text query: size first, then a zero-filled buffer of that size.
template <class Query>
GC_ERROR readText(Query&& query, std::string& text) {
    size_t size = 0;
    GC_ERROR result = query(nullptr, &size);
    if (result != GC_ERR_SUCCESS) return result;
    std::vector<char> buffer(size + 1, '\0');
    result = query(buffer.data(), &size);
    if (result == GC_ERR_SUCCESS) text.assign(buffer.data(), std::min(size, buffer.size() - 1));
    return result;
}
}  // namespace

// Producers of GenTL 1.1 and later list every location; older ones hand one block of consecutive
// zero-terminated texts through GCGetPortURL, which is read up to its size or an empty text.
std::int32_t IPortIface::createURLList() {
    if (!urls_.empty()) return 0;
    std::vector<std::string> urls;
    std::uint32_t count = 0;
    GC_ERROR result = producer_->GCGetNumPortURLs(handle_, &count);
    if (result == GC_ERR_SUCCESS) {
        for (std::uint32_t index = 0; index < count && result == GC_ERR_SUCCESS; ++index) {
            std::string url;
            result = readText(
                [&](char* buffer, size_t* size) {
                    INFO_DATATYPE type = 0;
                    return producer_->GCGetPortURLInfo(handle_, index, URL_INFO_URL, &type, buffer, size);
                },
                url);
            urls.push_back(url.c_str());
        }
    } else if (result == GC_ERR_NOT_IMPLEMENTED) {
        std::string block;
        result =
            readText([&](char* buffer, size_t* size) { return producer_->GCGetPortURL(handle_, buffer, size); }, block);
        for (size_t start = 0; result == GC_ERR_SUCCESS && start < block.size();) {
            const size_t end = std::min(block.find('\0', start), block.size());
            if (end == start) break;
            urls.push_back(block.substr(start, end - start));
            start = end + 1;
        }
    }
    if (result != GC_ERR_SUCCESS) return recordFailure("createURLList", result, {});
    urls_ = std::move(urls);
    return 0;
}

std::int32_t IPortIface::GetNumPortURLs(std::uint32_t* count) {
    if (const std::int32_t refused = checkUsable("GetNumPortURLs", count != nullptr)) return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const std::int32_t code = createURLList()) return code;
    *count = static_cast<std::uint32_t>(urls_.size());
    return 0;
}

std::int32_t IPortIface::GetPortURL(std::uint32_t index, std::string* url) {
    if (const std::int32_t refused = checkUsable("GetPortURL", url != nullptr)) return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const std::int32_t code = createURLList()) return code;
    if (index >= urls_.size())
        return SetLastError(kInvalidParameter, portName_.c_str(), "GetPortURL", "Invalid index %u", index);
    *url = urls_[index];
    return 0;
}

std::int32_t IPortIface::GetPortURLInfo(std::uint32_t index, URL_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                        size_t* size) {
    static constexpr char kLabel[] = "GetPortURLInfo";
    if (const std::int32_t refused = checkUsable(kLabel, type != nullptr && size != nullptr)) return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const std::int32_t code = createURLList()) return code;
    if (index >= urls_.size())
        return SetLastError(kInvalidParameter, portName_.c_str(), kLabel, "Invalid index %u", index);
    size_t handed = buffer != nullptr ? *size : 0;
    const GC_ERROR result = producer_->GCGetPortURLInfo(handle_, index, command, type, buffer, &handed);
    if (result != GC_ERR_SUCCESS) return recordFailure(kLabel, result, {});
    *size = handed;
    return 0;
}

}  // namespace corvid2
