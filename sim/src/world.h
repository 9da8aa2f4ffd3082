// SPDX-License-Identifier: BSD-3-Clause
// The simulated hardware: interfaces and the cameras plugged into them, which can change at run time.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera.h"
#include "sim_config.h"

namespace corvid2::sim {

struct SimInterface {
    std::string id;
    std::string tlType;
    std::string displayName;
    std::vector<std::shared_ptr<Camera>> cameras;
};

class World {
public:
    explicit World(const SimConfig& config);

    std::vector<SimInterface> interfaces() const;
    std::vector<std::shared_ptr<Camera>> cameras(const std::string& interfaceId) const;
    uint64_t framesGenerated() const;

    struct Change {
        std::string interfaceId;
        std::shared_ptr<Camera> camera;
    };
    Change unplug(const std::string& deviceId);
    // Plugs a camera unplugged before back in; an unknown ID plugs a new monochrome camera into the first interface.
    Change plug(const std::string& deviceId);
    // Takes an interface out of the list (an open interface module keeps working on what it had);
    // adding it again puts it back at its place with its cameras.
    void removeInterface(const std::string& interfaceId);
    void addInterface(const std::string& interfaceId);

private:
    std::shared_ptr<Camera> makeCamera(CameraKind kind, const std::string& tlType, const std::string& id);

    const std::string vendor_;
    const double frameRate_;
    mutable std::mutex mutex_;
    std::vector<SimInterface> interfaces_;
    std::vector<Change> unplugged_;
    struct RemovedInterface {
        size_t position;
        SimInterface iface;
    };
    std::vector<RemovedInterface> removed_;
    uint32_t serial_ = 0;
};

}  // namespace corvid2::sim
