// SPDX-License-Identifier: BSD-3-Clause
// Decoding a plug-and-play event's value.
#include "modules/event_pnp.h"

#include <algorithm>
#include <cstring>

#include "modules/gentl_module.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {

// The zero-terminated text in [offset, offset + limit) of `value`, cut at its end.
std::string textAt(const std::vector<std::uint8_t>& value, std::size_t offset, std::size_t limit) {
    if (offset >= value.size()) return std::string();
    const auto* begin = reinterpret_cast<const char*>(value.data() + offset);
    const std::size_t available = std::min(limit, value.size() - offset);
    return std::string(begin, strnlen(begin, available));
}

}  // namespace

CEventPnPObj::CEventPnPObj(void* owner) : CEventObj(owner) {}

CEventPnPObj::~CEventPnPObj() { removeHandler(); }

bool CEventPnPObj::initializeEvent(CGenTLModule*) {
    const std::vector<std::uint8_t>& bytes = value();
    if (bytes.size() < kIdOffset) {
        traceWarning("CEventPnPObj; initializeEvent; event value of %zu bytes holds no type", bytes.size());
        return false;
    }
    std::uint32_t type = 0;
    for (std::size_t index = 0; index < sizeof type; ++index)
        type |= static_cast<std::uint32_t>(bytes[kTypeOffset + index]) << (8 * index);
    std::string id = textAt(bytes, kIdOffset, kIdSize);
    std::string serial = textAt(bytes, kSerialOffset, bytes.size());
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    type_ = type;
    deviceId_ = std::move(id);
    serialNumber_ = std::move(serial);
    return true;
}

bool CEventPnPObj::copyEventTo(CEventObj* target) {
    auto* pnp = dynamic_cast<CEventPnPObj*>(target);
    if (pnp == nullptr || pnp == this || !CEventObj::copyEventTo(target)) return false;
    std::uint32_t type = 0;
    std::string id, serial;
    {
        std::lock_guard<std::mutex> lock(fieldsMutex_);
        type = type_;
        id = deviceId_;
        serial = serialNumber_;
    }
    std::lock_guard<std::mutex> lock(pnp->fieldsMutex_);
    pnp->type_ = type;
    pnp->deviceId_ = std::move(id);
    pnp->serialNumber_ = std::move(serial);
    return true;
}

std::uint32_t CEventPnPObj::pnpType() const {
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    return type_;
}

std::string CEventPnPObj::deviceId() const {
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    return deviceId_;
}

std::string CEventPnPObj::serialNumber() const {
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    return serialNumber_;
}

}  // namespace corvid2
