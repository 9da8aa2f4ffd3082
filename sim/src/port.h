// SPDX-License-Identifier: BSD-3-Clause
// One GenTL port: its identity, the locations of its description and the register map behind GCReadPort/GCWritePort.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "info_value.h"
#include "register_map.h"

namespace corvid2::sim {

struct PortIdentity {
    std::string id;
    std::string vendor;
    std::string model;
    std::string tlType;
    std::string moduleName;  // TLSystem, TLInterface, TLDevice, TLDataStream, TLBuffer or Device
    std::string portName;    // the name of the Port node in the description
    std::string version = "1.0";
};

struct DescriptionLocation {
    std::string url;
    URL_SCHEME_ID scheme = URL_SCHEME_LOCAL;
    std::string fileName;
    uint64_t address = 0;
    uint64_t size = 0;
    int32_t schemaMajor = 1, schemaMinor = 1;
    int32_t fileMajor = 1, fileMinor = 0, fileSubMinor = 0;
};

class Port {
public:
    explicit Port(PortIdentity identity) : identity_(std::move(identity)) {}

    RegisterMap& registers() { return registers_; }
    const PortIdentity& identity() const { return identity_; }

    // Serves `bytes` from the port's own memory at `address` under a "Local:" location.
    void addLocalDescription(const std::string& fileName, std::shared_ptr<const std::vector<uint8_t>> bytes,
                             uint64_t address, const std::string& xmlText);
    // Names a description file on this machine under a "File:" location.
    void addFileDescription(const std::string& path, const std::string& xmlText);

    InfoValue info(PORT_INFO_CMD command) const;
    uint32_t urlCount() const { return static_cast<uint32_t>(locations_.size()); }
    const DescriptionLocation& location(uint32_t index) const;
    InfoValue urlInfo(uint32_t index, URL_INFO_CMD command) const;

    void read(uint64_t address, void* buffer, size_t length) const;
    void write(uint64_t address, const void* buffer, size_t length) const;

    // A device opened read-only refuses writes on its remote port.
    void setWritable(bool writable) { writable_ = writable; }

private:
    PortIdentity identity_;
    std::vector<DescriptionLocation> locations_;
    RegisterMap registers_;
    std::atomic<bool> writable_{true};
};

}  // namespace corvid2::sim
