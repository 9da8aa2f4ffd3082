// SPDX-License-Identifier: BSD-3-Clause
// CEventPnPObj: a plug-and-play event of an interface, decoded from the producer's event value.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "modules/event_obj.h"

namespace corvid2 {

// The value of a plug-and-play event (custom event type 1000 of our own producers), little-endian:
// 16 bytes not interpreted, the type (4 bytes: 1 added, anything else removed), the device ID
// (256 bytes, zero-terminated) and the serial number (zero-terminated, to the end).
//
// The interface's handler thread and the application may read one object: the decoded fields
// have their own lock, a leaf.
class CEventPnPObj : public CEventObj {
public:
    static constexpr std::uint32_t kDeviceAdded = 1;
    static constexpr std::size_t kTypeOffset = 16;
    static constexpr std::size_t kIdOffset = 20;
    static constexpr std::size_t kIdSize = 256;
    static constexpr std::size_t kSerialOffset = kIdOffset + kIdSize;

    explicit CEventPnPObj(void* owner = nullptr);
    // The thread calls initializeEvent of this class: it ends before the fields go.
    ~CEventPnPObj() override;

    // Decodes the three fields; false for a value too short to hold the type.
    bool initializeEvent(CGenTLModule* module) override;
    // The raw event and the decoded fields; only into another plug-and-play event object.
    bool copyEventTo(CEventObj* target) override;

    std::uint32_t pnpType() const;
    std::string deviceId() const;
    std::string serialNumber() const;

private:
    mutable std::mutex fieldsMutex_;
    std::uint32_t type_ = kDeviceAdded;
    std::string deviceId_;
    std::string serialNumber_;
};

}  // namespace corvid2
