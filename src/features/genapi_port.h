// SPDX-License-Identifier: BSD-3-Clause
// The GenApi side of a module's port: IGenAPIPort, and CModulePort with its owner token, write stack
// and read cache in front of the module's IPortIface.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <corvid2/genapi/interfaces.h>

#include "core/result_codes.h"
#include "features/port_iface.h"
#include "features/port_iface_poly.h"

namespace corvid2 {

// The port a module's node map is connected to. GenApi's Read and Write go to the module's port
// operations without owner token; a failure text comes back to GenApi as RuntimeException.
class IGenAPIPort : public genapi::IPort {
public:
    void Read(void* buffer, std::int64_t address, std::int64_t length) final;
    void Write(const void* buffer, std::int64_t address, std::int64_t length) final;
    genapi::EAccessMode GetAccessMode() const override { return genapi::RW; }

    // Null on success, else the text of the failure's result code.
    virtual const char* portRead(void* buffer, std::int64_t address, std::int64_t length, const void* owner) = 0;
    virtual const char* portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void* owner) = 0;
    // Whether a value write of this feature should be read back for verification.
    virtual bool noteFeatureWrite(const std::string& featureName) { return true; }
};

// What a module keeps for its port. Stack, cache and owner take no lock of their own: they are used
// under the module object's guard and the node map's lock.
class CModulePort : public IPortIfacePoly, public IGenAPIPort {
public:
    struct HeldWrite {
        std::uint64_t address;
        std::vector<std::uint8_t> bytes;
    };

    // `objectName` is the object field of the error lines of the stacking operations.
    CModulePort(CGenTLProducer* producer, const std::string& portName, std::string objectName);
    ~CModulePort() override;

    IPortIface& port() { return port_; }
    const IPortIface& port() const { return port_; }

    const char* portRead(void* buffer, std::int64_t address, std::int64_t length, const void* owner) override;
    const char* portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void* owner) override;
    // While stacking: remembers the name (its node is invalidated if the stack is cancelled), false.
    bool noteFeatureWrite(const std::string& featureName) override;

    // Connects the node map's port of that name to this port; the map's nodes are what a cancelled
    // stack invalidates. False when the map has no such port.
    bool connectNodeMap(genapi::INodeMap* nodeMap, const std::string& portName);
    genapi::INodeMap* connectedNodeMap() const { return nodeMap_; }
    // Forgets that map (about to be destroyed) if it is the connected one.
    void disconnectNodeMap(const genapi::INodeMap* nodeMap) {
        if (nodeMap_ == nodeMap) nodeMap_ = nullptr;
    }

    Result startStacking(bool replaceSameRegister);
    // Sends every held write in one stacked call.
    Result writeStack();
    // Drops every held write; the features written meanwhile are read from the device next time.
    Result cancelStack();
    bool isStacking() const { return stacking_; }
    const std::vector<HeldWrite>& heldWrites() const { return heldWrites_; }
    const std::vector<std::string>& writtenFeatures() const { return writtenFeatures_; }
    size_t cachedRegisterCount() const { return readCache_.size(); }

    // Only the update mode owns the port; taking or giving it up drops the stack.
    void setPortOwner(const void* owner);
    const void* portOwner() const { return owner_; }

    // Module reset: empties stack and cache, and clears the port's handle, locations and name.
    void resetPort();

protected:
    IPortIface* portTarget() override { return &port_; }

private:
    // Bytes of a held write or cached register at `address` covering `length`, or null.
    const std::vector<std::uint8_t>* servedCopy(std::uint64_t address, size_t length) const;
    void clearStack();

    IPortIface port_;
    std::string objectName_;
    genapi::INodeMap* nodeMap_ = nullptr;
    const void* owner_ = nullptr;
    bool stacking_ = false;
    bool replaceSameRegister_ = false;
    std::vector<HeldWrite> heldWrites_;
    std::vector<std::string> writtenFeatures_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> readCache_;
};

}  // namespace corvid2
