// SPDX-License-Identifier: BSD-3-Clause
// CEventDeviceEventObj: a camera event of a device, fed into the camera's node map and named by it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "core/result_codes.h"
#include "modules/event_obj.h"

namespace corvid2 {

// What a camera event means in the camera's description: the node that carries its event ID, and
// the standard timestamp feature "Event<name>Timestamp" (the node's name without its leading
// "Event").
struct RemoteEventNames {
    bool named = false;
    std::string name;
    std::string displayName;
    bool timestamped = false;
    std::uint64_t timestamp = 0;
};

// The device's handler thread and the application may read one object: the decoded fields have
// their own lock, a leaf.
class CEventDeviceEventObj : public CEventObj {
public:
    explicit CEventDeviceEventObj(void* owner = nullptr);
    // The thread calls initializeEvent of this class: it ends before the fields go.
    ~CEventDeviceEventObj() override;
    CEventDeviceEventObj(const CEventDeviceEventObj&) = delete;
    CEventDeviceEventObj& operator=(const CEventDeviceEventObj&) = delete;

    // Parses the hexadecimal event ID, delivers the value into the camera's node map (whose
    // event features then show it) and looks up the event's names and timestamp there. False
    // without a camera node map or for an ID that is no hexadecimal number; a missing name or
    // timestamp is only a warning.
    bool initializeEvent(CGenTLModule* module) override;
    // The raw event and the decoded fields; only into another device event object.
    bool copyEventTo(CEventObj* target) override;
    // Everything of `other`, for the copies of a public DeviceEvent.
    void assign(const CEventDeviceEventObj& other);

    // The getters record "parameter is null", "event name not available", "no event data
    // present" or "time stamp not available" as NotAvailable.
    Result GetName(std::string* name) const;
    Result GetDisplayName(std::string* name) const;
    Result GetId(std::string* id) const;
    Result GetTimeStamp(std::uint64_t* timestamp) const;

private:
    mutable std::mutex fieldsMutex_;
    std::uint64_t eventId_ = 0;
    RemoteEventNames names_;
};

}  // namespace corvid2
