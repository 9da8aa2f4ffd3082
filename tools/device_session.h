// SPDX-License-Identifier: BSD-3-Clause
// One camera opened for a subcommand, with the system and interface that must stay open around it.
#pragma once

#include <corvid2_genicam.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace corvid2::tool {

// Holds the system list instance, the System and Interface of the opened Device and the Device
// itself. Not copyable; the destructor closes whatever is still open and swallows the library's
// exceptions, so an explicit close() is the way to see a failure while closing.
class DeviceSession {
public:
    DeviceSession() = default;
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Opens the device with id `id`, searched in every interface of every system, or the first
    // device of the first interface of the first system when `id` is empty. Returns false (with
    // the reason in notFound()) when there is no such device; the library's exceptions pass.
    bool open(const std::string& id);
    CORVID2::Device* device() const { return device_; }
    // Why open() found nothing: one line per fact, for standard error.
    const std::vector<std::string>& notFound() const { return notFound_; }
    // open(), telling on standard error why it found nothing.
    bool openOrExplain(const std::string& id);

    // Opens the device's first data stream with `count` buffers of producer memory added and
    // queued. The session owns the buffers and destroys them only after the device has closed
    // (which unbinds them from the stream). Null when the device has no data stream.
    CORVID2::DataStream* openStream(std::size_t count);

    // Closes the device (which destroys its data streams), then its interface and system, and
    // releases the system list; the buffers go after the device. Each object is forgotten before it is closed, so after
    // a failure the rest is left to the destructor.
    void close();

private:
    bool searchSystem(CORVID2::System* system, const std::string& id);
    void closeQuietly() noexcept;

    CORVID2::System* system_ = nullptr;
    CORVID2::Interface* iface_ = nullptr;
    CORVID2::Device* device_ = nullptr;
    bool listHeld_ = false;
    std::vector<std::unique_ptr<CORVID2::Buffer>> buffers_;
    std::vector<std::string> notFound_;
};

// Calls `set()` once for every available entry of the camera's enumeration `selectorName` with
// that entry selected: what switches on every chunk or every event notification.
template <class Set>
void forEverySelection(CORVID2::Device& device, const char* selectorName, Set&& set) {
    CORVID2::Node* selector = device.GetRemoteNode(selectorName);
    for (CORVID2::Node* entry : *selector->GetEnumNodeList()) {
        if (!entry->GetAvailable()) continue;
        selector->SetInt(entry->GetInt());
        set();
    }
}

}  // namespace corvid2::tool
