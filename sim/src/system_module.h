// SPDX-License-Identifier: BSD-3-Clause
// The transport-layer (system) module: interface list, interface opening and the simulator's control features.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interface_module.h"
#include "module.h"
#include "world.h"

namespace corvid2::sim {

struct Producer;

// TL_INFO_* answered by GCGetInfo before TLOpen and by TLGetInfo after it.
InfoValue systemInfo(const Producer& producer, TL_INFO_CMD command);
// Full path of the loaded producer file.
std::string producerPath();

class SystemModule : public Module, public std::enable_shared_from_this<SystemModule> {
public:
    explicit SystemModule(Producer& producer);

    HandleKind handleKind() const override { return HandleKind::System; }
    Port* port() override { return &port_; }
    bool supportsEvent(EVENT_TYPE type) const override { return type == EVENT_MODULE || type == EVENT_ERROR; }

    InfoValue info(TL_INFO_CMD command) const;
    uint32_t interfaceCount() const;
    std::string interfaceId(uint32_t index) const;
    InfoValue interfaceInfo(const std::string& id, INTERFACE_INFO_CMD command) const;
    bool updateInterfaceList();
    std::shared_ptr<InterfaceModule> openInterface(const std::string& id);
    void interfaceClosed(const std::string& id);
    std::vector<void*> close();

private:
    void plug(const std::string& deviceId, bool in);

    Producer& producer_;
    Port port_;
    mutable std::mutex mutex_;
    std::vector<SimInterface> list_;
    std::map<std::string, std::shared_ptr<InterfaceModule>> open_;
    uint32_t selector_ = 0;
    std::string faultFunction_;
    int32_t faultCode_ = GC_ERR_ERROR;
    uint32_t faultCount_ = 1;
};

}  // namespace corvid2::sim
