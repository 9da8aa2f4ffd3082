// SPDX-License-Identifier: BSD-3-Clause
// CInterfaceObj: one GenTL interface of a system, the object behind a public Interface.
#pragma once

#include <string>

#include "gentl/gentl_module.h"

namespace corvid2 {

class CProducerObj;

class CInterfaceObj : public CGenTLModule {
public:
    // Made by its system for one listed id; the interface is opened later, on demand.
    CInterfaceObj(CProducerObj* system, CGenTLProducer* producer, GenTL::TL_HANDLE tlHandle, std::string id,
                  const std::string& vendor);
    ~CInterfaceObj() override;

    void* getHandle() const override { return ifHandle_; }

    const std::string& id() const { return id_; }
    CProducerObj* system() const { return system_; }
    GenTL::TL_HANDLE tlHandle() const { return tlHandle_; }
    bool isOpen() const { return ifHandle_ != nullptr; }

private:
    CProducerObj* system_;
    GenTL::TL_HANDLE tlHandle_;
    GenTL::IF_HANDLE ifHandle_ = nullptr;
    std::string id_;
};

}  // namespace corvid2
