// SPDX-License-Identifier: BSD-3-Clause
// Decoding a camera event through the camera's description, and the event's getters.
#include "modules/event_device.h"

#include "core/last_error.h"
#include "features/genapi_node.h"
#include "modules/deviceobj.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {

constexpr char kClass[] = "CEventDeviceEventObj";

Result notAvailable(const char* method, const char* text) {
    return SetLastError(Result::NotAvailable, kClass, method, "%s", text);
}

}  // namespace

CEventDeviceEventObj::CEventDeviceEventObj(void* owner) : CEventObj(owner) {}

CEventDeviceEventObj::~CEventDeviceEventObj() { removeHandler(); }

bool CEventDeviceEventObj::initializeEvent(CGenTLModule* module) {
    auto* device = dynamic_cast<CDeviceObj*>(module);
    std::uint64_t eventId = 0;
    if (device == nullptr || !parseHexId(id(), eventId)) return false;
    RemoteEventNames names;
    if (!device->takeRemoteEvent(eventId, value(), names)) return false;
    if (!names.named)
        traceWarning(
            "CEventDeviceEventObj::InitializeEvent; Event name not available. Check remote XML file and SFNC > "
            "v1.3 (chapter Event Control).");
    else if (!names.timestamped)
        traceWarning("CEventDeviceEventObj::InitializeEvent; Event time stamp not available.");
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    eventId_ = eventId;
    names_ = std::move(names);
    return true;
}

bool CEventDeviceEventObj::copyEventTo(CEventObj* target) {
    auto* other = dynamic_cast<CEventDeviceEventObj*>(target);
    if (other == nullptr || other == this) return false;
    other->assign(*this);
    return true;
}

void CEventDeviceEventObj::assign(const CEventDeviceEventObj& other) {
    if (&other == this) return;
    std::uint64_t eventId = 0;
    RemoteEventNames names;
    {
        std::lock_guard<std::mutex> lock(other.fieldsMutex_);
        eventId = other.eventId_;
        names = other.names_;
    }
    setEvent(other.id(), other.value());
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    eventId_ = eventId;
    names_ = std::move(names);
}

Result CEventDeviceEventObj::GetName(std::string* name) const {
    static constexpr char kMethod[] = "CEventDeviceEventObj::GetName";
    if (name == nullptr) return notAvailable(kMethod, "parameter is null");
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    if (!names_.named) return notAvailable(kMethod, "event name not available");
    *name = names_.name;
    return Result::Success;
}

Result CEventDeviceEventObj::GetDisplayName(std::string* name) const {
    static constexpr char kMethod[] = "CEventDeviceEventObj::GetDisplayName";
    if (name == nullptr) return notAvailable(kMethod, "parameter is null");
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    if (!names_.named) return notAvailable(kMethod, "event name not available");
    *name = names_.displayName;
    return Result::Success;
}

Result CEventDeviceEventObj::GetId(std::string* text) const {
    static constexpr char kMethod[] = "CEventDeviceEventObj::GetId";
    if (text == nullptr) return notAvailable(kMethod, "parameter is null");
    if (id().empty()) return notAvailable(kMethod, "no event data present");
    *text = id();
    return Result::Success;
}

Result CEventDeviceEventObj::GetTimeStamp(std::uint64_t* timestamp) const {
    static constexpr char kMethod[] = "CEventDeviceEventObj::GetTimeStamp";
    if (timestamp == nullptr) return notAvailable(kMethod, "parameter is null");
    std::lock_guard<std::mutex> lock(fieldsMutex_);
    if (!names_.timestamped) return notAvailable(kMethod, "time stamp not available");
    *timestamp = names_.timestamp;
    return Result::Success;
}

}  // namespace corvid2
