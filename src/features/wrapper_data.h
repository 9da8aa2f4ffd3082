// SPDX-License-Identifier: BSD-3-Clause
// The hooks a device attaches to its serial-port features, so that a serial port bridge and the
// application never talk to the camera's UART registers at the same time.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "features/genapi_node.h"

namespace corvid2 {

// What the hooks need from the device that owns them. The lock is recursive because one thread
// may hold it across nested feature operations (the bridge locks it around its own accesses,
// which pass through the same hooks) and always releases it on the thread that took it.
class ISerialPortOwner {
public:
    virtual ~ISerialPortOwner() = default;
    virtual std::recursive_mutex& serialPortLock() = 0;
    // Whether a bridge currently drives the camera port of that name (an entry of the selector).
    virtual bool bridgeRunsOn(const std::string& portName) const = 0;
};

// Attached to the port selector: every selector operation holds the serial-port lock, and each one
// ends by telling the selected features whether their port now belongs to a bridge.
class CWrapperDataSelector : public CNodeWrapperData {
public:
    explicit CWrapperDataSelector(ISerialPortOwner& owner) : owner_(owner) {}
    void enter(CGenAPINode& node) override;
    // Never raises: it runs while a scope ends, possibly because of another exception.
    void leave(CGenAPINode& node) override;

private:
    ISerialPortOwner& owner_;
};

// Attached to the features the selector selects. While their port belongs to a bridge they refuse
// every value operation and report themselves neither available nor writeable.
class CWrapperDataFeature : public CNodeWrapperData {
public:
    explicit CWrapperDataFeature(ISerialPortOwner& owner) : owner_(owner) {}
    void enter(CGenAPINode& node) override;
    void leave(CGenAPINode& node) override;
    bool filterBool(CGenAPINode& node, bool answer) override;
    std::string filterAccessMode(CGenAPINode& node, std::string text) override;

    // Set by the selector hook, possibly on another thread than the one reading it.
    void setLocked(bool locked) { locked_.store(locked, std::memory_order_release); }
    bool locked() const { return locked_.load(std::memory_order_acquire); }

private:
    ISerialPortOwner& owner_;
    std::atomic<bool> locked_{false};
};

}  // namespace corvid2
