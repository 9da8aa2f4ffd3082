// SPDX-License-Identifier: BSD-3-Clause
// One camera opened for a subcommand: the search through systems and interfaces, and the orderly
// close in the opposite direction.
#include "device_session.h"

#include <cstdint>
#include <cstdio>
#include <utility>

namespace corvid2::tool {
namespace {

constexpr std::uint64_t kRefreshTimeoutMs = 1000;

std::string describe(const CORVID2::Exceptions::IException& error) {
    return std::string(error.GetType().get()) + ": " + error.GetErrorDescription().get();
}

}  // namespace

DeviceSession::~DeviceSession() { closeQuietly(); }

bool DeviceSession::open(const std::string& id) {
    CORVID2::SystemList* systems = CORVID2::SystemList::GetInstance();
    listHeld_ = true;
    systems->Refresh();
    if (systems->size() == 0) {
        notFound_.push_back(
            "no GenTL producer found (searched beside the program, beside the library and in GENICAM_GENTL64_PATH)");
        return false;
    }
    for (CORVID2::System* system : *systems) {
        if (searchSystem(system, id)) return true;
        // Without an id only the first system counts, so that the choice does not depend on which
        // producers happen to be installed after it.
        if (id.empty()) break;
    }
    notFound_.push_back(id.empty() ? std::string("no device on the first interface of the first system")
                                   : "no device with id '" + id + "' on any interface");
    return false;
}

bool DeviceSession::searchSystem(CORVID2::System* system, const std::string& id) {
    const std::string systemId = system->GetID().get();
    try {
        system->Open();
    } catch (const CORVID2::Exceptions::IException& error) {
        notFound_.push_back("system " + systemId + " not searched: " + describe(error));
        return false;
    }
    system_ = system;
    CORVID2::InterfaceList* interfaces = system->GetInterfaces();
    interfaces->Refresh(kRefreshTimeoutMs);
    for (CORVID2::Interface* iface : *interfaces) {
        const std::string ifaceId = iface->GetID().get();
        try {
            iface->Open();
        } catch (const CORVID2::Exceptions::IException& error) {
            // Another program may hold an interface; the camera may still be on the next one.
            notFound_.push_back("interface " + ifaceId + " not searched: " + describe(error));
            if (id.empty()) break;
            continue;
        }
        iface_ = iface;
        CORVID2::DeviceList* devices = iface->GetDevices();
        devices->Refresh(kRefreshTimeoutMs);
        CORVID2::Device* candidate = nullptr;
        if (id.empty() && devices->size() > 0)
            candidate = (*devices)[std::size_t{0}];
        else if (!id.empty() && devices->find(id.c_str()) != devices->end())
            candidate = (*devices)[CORVID2::String(id.c_str())];
        if (candidate != nullptr) {
            candidate->Open();
            device_ = candidate;
            return true;
        }
        iface_ = nullptr;
        iface->Close();
        if (id.empty()) break;
    }
    system_ = nullptr;
    system->Close();
    return false;
}

bool DeviceSession::openOrExplain(const std::string& id) {
    if (open(id)) return true;
    for (const std::string& line : notFound_) std::fprintf(stderr, "corvid2: %s\n", line.c_str());
    return false;
}

CORVID2::DataStream* DeviceSession::openStream(std::size_t count) {
    CORVID2::DataStreamList* streams = device_->GetDataStreams();
    if (streams->size() == 0) return nullptr;
    CORVID2::DataStream* stream = (*streams)[std::size_t{0}];
    stream->Open();
    for (std::size_t i = 0; i < count; ++i) {
        buffers_.push_back(std::make_unique<CORVID2::Buffer>());
        stream->GetBufferList()->Add(buffers_.back().get());
        buffers_.back()->QueueBuffer();
    }
    return stream;
}

void DeviceSession::close() {
    if (CORVID2::Device* device = std::exchange(device_, nullptr)) device->Close();
    buffers_.clear();
    if (CORVID2::Interface* iface = std::exchange(iface_, nullptr)) iface->Close();
    if (CORVID2::System* system = std::exchange(system_, nullptr)) system->Close();
    if (std::exchange(listHeld_, false)) CORVID2::SystemList::ReleaseInstance();
}

void DeviceSession::closeQuietly() noexcept {
    // close() forgets each object before closing it, so every retry starts one step further on.
    for (int step = 0; step < 4; ++step) {
        try {
            close();
            return;
        } catch (...) {
        }
    }
}

}  // namespace corvid2::tool
