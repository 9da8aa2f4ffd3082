// SPDX-License-Identifier: BSD-3-Clause
// Creation of the simulated interfaces and cameras, plugging and unplugging.
#include "world.h"

#include <algorithm>
#include <cstdio>

namespace corvid2::sim {

namespace {
const char* kindName(CameraKind kind) {
    static const char* const kNames[] = {"Mono", "Bayer", "Polarized", "Serial"};
    return kNames[static_cast<int>(kind)];
}
}  // namespace

World::World(const SimConfig& config) : vendor_(config.vendor), frameRate_(config.frameRate) {
    uint32_t perKind[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < config.interfaces.size(); ++i) {
        const InterfacePlan& plan = config.interfaces[i];
        SimInterface iface;
        iface.id = "Sim" + plan.tlType + std::to_string(i);
        iface.tlType = plan.tlType;
        iface.displayName = "Simulated " + plan.tlType + " interface " + std::to_string(i);
        for (CameraKind kind : plan.cameras) {
            const std::string id =
                std::string("Sim") + kindName(kind) + std::to_string(perKind[static_cast<int>(kind)]++);
            iface.cameras.push_back(makeCamera(kind, plan.tlType, id));
        }
        interfaces_.push_back(iface);
    }
}

std::shared_ptr<Camera> World::makeCamera(CameraKind kind, const std::string& tlType, const std::string& id) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "SN%05u", 10000 + serial_++);
    CameraIdentity identity{id, vendor_, std::string("Corvid2Sim") + kindName(kind), serial, tlType};
    return std::make_shared<Camera>(kind, identity, frameRate_);
}

std::vector<SimInterface> World::interfaces() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return interfaces_;
}

std::vector<std::shared_ptr<Camera>> World::cameras(const std::string& interfaceId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const SimInterface& iface : interfaces_)
        if (iface.id == interfaceId) return iface.cameras;
    return {};
}

uint64_t World::framesGenerated() const {
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t total = 0;
    for (const SimInterface& iface : interfaces_)
        for (const auto& camera : iface.cameras) total += camera->framesGenerated();
    return total;
}

World::Change World::unplug(const std::string& deviceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (SimInterface& iface : interfaces_)
        for (auto it = iface.cameras.begin(); it != iface.cameras.end(); ++it)
            if ((*it)->identity().id == deviceId) {
                Change change{iface.id, *it};
                iface.cameras.erase(it);
                change.camera->setConnected(false);
                unplugged_.push_back(change);
                return change;
            }
    fail(GC_ERR_INVALID_ID, "no plugged camera " + deviceId);
}

World::Change World::plug(const std::string& deviceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const SimInterface& iface : interfaces_)
        for (const auto& camera : iface.cameras)
            if (camera->identity().id == deviceId) fail(GC_ERR_RESOURCE_IN_USE, "camera already plugged in");
    Change change;
    const auto it = std::find_if(unplugged_.begin(), unplugged_.end(),
                                 [&](const Change& c) { return c.camera->identity().id == deviceId; });
    if (it != unplugged_.end()) {
        change = *it;
        unplugged_.erase(it);
    } else {
        if (interfaces_.empty()) fail(GC_ERR_NOT_AVAILABLE, "no interface to plug a camera into");
        change = Change{interfaces_.front().id, makeCamera(CameraKind::Mono, interfaces_.front().tlType, deviceId)};
    }
    for (SimInterface& iface : interfaces_)
        if (iface.id == change.interfaceId) iface.cameras.push_back(change.camera);
    change.camera->setConnected(true);
    return change;
}

void World::removeInterface(const std::string& interfaceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(interfaces_.begin(), interfaces_.end(),
                                 [&](const SimInterface& i) { return i.id == interfaceId; });
    if (it == interfaces_.end()) fail(GC_ERR_INVALID_ID, "no listed interface " + interfaceId);
    removed_.push_back({static_cast<size_t>(it - interfaces_.begin()), *it});
    interfaces_.erase(it);
}

void World::addInterface(const std::string& interfaceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(removed_.begin(), removed_.end(),
                                 [&](const RemovedInterface& r) { return r.iface.id == interfaceId; });
    if (it == removed_.end()) fail(GC_ERR_INVALID_ID, "no removed interface " + interfaceId);
    const size_t position = std::min(it->position, interfaces_.size());
    interfaces_.insert(interfaces_.begin() + static_cast<std::ptrdiff_t>(position), it->iface);
    removed_.erase(it);
}

}  // namespace corvid2::sim
