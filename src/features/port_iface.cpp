// SPDX-License-Identifier: BSD-3-Clause
// The GenTL port calls of one module: checks, locking, the description location list and error mapping.
#include "features/port_iface.h"

#include <algorithm>

#include "core/last_error.h"
#include "gentl/gentl_producer.h"

namespace corvid2 {

using namespace GenTL;

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

Result IPortIface::checkUsable(const char* label, bool argumentsPresent) {
    if (producer_ == nullptr) return SetLastError(Result::Error, portName_.c_str(), label, "Producer handle not valid");
    if (handle_ == nullptr)
        return SetLastError(Result::NotInitialized, portName_.c_str(), label, "Port not initialized");
    if (!argumentsPresent) return SetLastError(Result::InvalidParameter, portName_.c_str(), label, "Invalid parameter");
    return Result::Success;
}

Result IPortIface::recordFailure(const char* label, GC_ERROR result, std::initializer_list<Result> kept) {
    // The results kept share their numbers with GenTL's error values of the same meaning.
    const Result same = fromCode(result);
    const Result code = std::find(kept.begin(), kept.end(), same) != kept.end() ? same : Result::LowLevelError;
    return SetLastError(code, portName_.c_str(), label, "%s", producer_->lastErrorText().c_str());
}

template <class Call>
Result IPortIface::call(const char* label, std::initializer_list<Result> keptCodes, bool argumentsPresent,
                        Call&& genTLCall) {
    if (const Result refused = checkUsable(label, argumentsPresent); refused != Result::Success) return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    const GC_ERROR result = genTLCall();
    return result == GC_ERR_SUCCESS ? Result::Success : recordFailure(label, result, keptCodes);
}

Result IPortIface::ReadPort(std::uint64_t address, void* buffer, size_t* size) {
    return call("ReadPort", {Result::AccessDenied}, buffer != nullptr && size != nullptr,
                [&] { return producer_->GCReadPort(handle_, address, buffer, size); });
}

Result IPortIface::WritePort(std::uint64_t address, const void* buffer, size_t* size) {
    return call("WritePort", {Result::AccessDenied, Result::Timeout}, buffer != nullptr && size != nullptr,
                [&] { return producer_->GCWritePort(handle_, address, buffer, size); });
}

Result IPortIface::GetPortInfo(PORT_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    return call("GetPortInfo", {}, type != nullptr && size != nullptr, [&] {
        size_t handed = buffer != nullptr ? *size : 0;
        const GC_ERROR result = producer_->GCGetPortInfo(handle_, command, type, buffer, &handed);
        if (result == GC_ERR_SUCCESS) *size = handed;
        return result;
    });
}

Result IPortIface::ReadPortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return call("ReadPortStacked", {Result::AccessDenied}, entries != nullptr && count != nullptr,
                [&] { return producer_->GCReadPortStacked(handle_, entries, count); });
}

Result IPortIface::WritePortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return call("WritePortStacked", {Result::AccessDenied}, entries != nullptr && count != nullptr,
                [&] { return producer_->GCWritePortStacked(handle_, entries, count); });
}

Result IPortIface::getPortInfoText(PORT_INFO_CMD command, std::string& text) {
    INFO_DATATYPE type = 0;
    size_t size = 0;
    if (const Result code = GetPortInfo(command, &type, nullptr, &size); code != Result::Success) return code;
    std::vector<char> buffer(size + 1, '\0');
    if (const Result code = GetPortInfo(command, &type, buffer.data(), &size); code != Result::Success) return code;
    text = buffer.data();
    return Result::Success;
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

// The locations come from GCGetPortURL: one block of consecutive zero-terminated texts, read up to
// its size or an empty text. A producer that answers GC_ERR_NOT_IMPLEMENTED there (GenTL 1.1 and
// later let it list its locations one by one instead) is asked through GCGetNumPortURLs and
// GCGetPortURLInfo.
Result IPortIface::createURLList() {
    if (!urls_.empty()) return Result::Success;
    std::vector<std::string> urls;
    std::string block;
    GC_ERROR result =
        readText([&](char* buffer, size_t* size) { return producer_->GCGetPortURL(handle_, buffer, size); }, block);
    if (result == GC_ERR_SUCCESS) {
        for (size_t start = 0; start < block.size();) {
            const size_t end = std::min(block.find('\0', start), block.size());
            if (end == start) break;
            urls.push_back(block.substr(start, end - start));
            start = end + 1;
        }
    } else if (result == GC_ERR_NOT_IMPLEMENTED) {
        std::uint32_t count = 0;
        result = producer_->GCGetNumPortURLs(handle_, &count);
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
    }
    if (result != GC_ERR_SUCCESS) return recordFailure("createURLList", result, {});
    urls_ = std::move(urls);
    return Result::Success;
}

Result IPortIface::GetNumPortURLs(std::uint32_t* count) {
    if (const Result refused = checkUsable("GetNumPortURLs", count != nullptr); refused != Result::Success)
        return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const Result code = createURLList(); code != Result::Success) return code;
    *count = static_cast<std::uint32_t>(urls_.size());
    return Result::Success;
}

Result IPortIface::GetPortURL(std::uint32_t index, std::string* url) {
    if (const Result refused = checkUsable("GetPortURL", url != nullptr); refused != Result::Success) return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const Result code = createURLList(); code != Result::Success) return code;
    if (index >= urls_.size())
        return SetLastError(Result::InvalidParameter, portName_.c_str(), "GetPortURL", "Invalid index %u", index);
    *url = urls_[index];
    return Result::Success;
}

Result IPortIface::GetPortURLInfo(std::uint32_t index, URL_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                  size_t* size) {
    static constexpr char kLabel[] = "GetPortURLInfo";
    if (const Result refused = checkUsable(kLabel, type != nullptr && size != nullptr); refused != Result::Success)
        return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const Result code = createURLList(); code != Result::Success) return code;
    if (index >= urls_.size())
        return SetLastError(Result::InvalidParameter, portName_.c_str(), kLabel, "Invalid index %u", index);
    size_t handed = buffer != nullptr ? *size : 0;
    const GC_ERROR result = producer_->GCGetPortURLInfo(handle_, index, command, type, buffer, &handed);
    if (result != GC_ERR_SUCCESS) return recordFailure(kLabel, result, {});
    *size = handed;
    return Result::Success;
}

}  // namespace corvid2
