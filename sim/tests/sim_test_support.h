// SPDX-License-Identifier: BSD-3-Clause
// Shared helpers of the simulator tests: the loaded producer, a session that opens the module tree, typed info
// queries with the two-step size convention, and feature access resolved from each port's own description.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "gentl_loader.h"

namespace corvid2::sim::test {

using namespace GenTL;

// The producer under test, loaded once per test program.
const GenTLFunctions& gentl();

using InfoCall = std::function<GC_ERROR(INFO_DATATYPE*, void*, size_t*)>;

// Asks for the size first, then for the value, and checks that both steps agree on type and size.
std::vector<uint8_t> infoBytes(const InfoCall& call, INFO_DATATYPE* type = nullptr);
std::string infoText(const InfoCall& call);
template <typename T>
T infoValue(const InfoCall& call, INFO_DATATYPE expectedType) {
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    const std::vector<uint8_t> bytes = infoBytes(call, &type);
    EXPECT_EQ(expectedType, type);
    EXPECT_EQ(sizeof(T), bytes.size());
    T value{};
    if (bytes.size() == sizeof(T)) std::memcpy(&value, bytes.data(), sizeof(T));
    return value;
}
// Texts returned by the *GetID functions and GCGetPortURL.
std::string idText(const std::function<GC_ERROR(char*, size_t*)>& call);

// Sets environment variables for the producer's next GCInitLib and restores them afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values);
    ~ScopedEnvironment();

private:
    std::vector<std::pair<std::string, std::unique_ptr<std::string>>> saved_;
};

// GCInitLib and TLOpen for the lifetime of the object; closing the library closes everything below.
class SimSession {
public:
    SimSession();
    ~SimSession();

    TL_HANDLE system() const { return system_; }
    IF_HANDLE openInterface(uint32_t index);
    // Opens a device by ID on whichever interface lists it (interfaces stay open).
    DEV_HANDLE openDevice(const std::string& deviceId, DEVICE_ACCESS_FLAGS access = DEVICE_ACCESS_EXCLUSIVE);
    IF_HANDLE interfaceOf(const std::string& deviceId);
    DS_HANDLE openStream(DEV_HANDLE device);
    PORT_HANDLE remotePort(DEV_HANDLE device);

private:
    TL_HANDLE system_ = nullptr;
    std::map<uint32_t, IF_HANDLE> interfaces_;
};

// The description of a port, read through its first location and unzipped when needed.
std::string readDescription(PORT_HANDLE port, uint32_t index = 0);
std::string unzipFirstEntry(const std::vector<uint8_t>& archive);

// Feature access by name over a port, following the port's description down to the registers: a small
// stand-in for a GenApi engine that also proves the descriptions match the registers behind them.
class Features {
public:
    explicit Features(PORT_HANDLE port);

    int64_t getInt(const std::string& name);
    void setInt(const std::string& name, int64_t value);
    GC_ERROR trySetInt(const std::string& name, int64_t value);
    double getFloat(const std::string& name);
    void setFloat(const std::string& name, double value);
    std::string getEnum(const std::string& name);
    void setEnum(const std::string& name, const std::string& entry);
    GC_ERROR trySetEnum(const std::string& name, const std::string& entry);
    bool getBool(const std::string& name) { return getInt(name) != 0; }
    void setBool(const std::string& name, bool value) { setInt(name, value ? 1 : 0); }
    void execute(const std::string& name);
    bool isDone(const std::string& name);
    std::string getString(const std::string& name);
    void setString(const std::string& name, const std::string& value);
    std::vector<uint8_t> getBytes(const std::string& name);
    void setBytes(const std::string& name, const std::vector<uint8_t>& value);
    bool has(const std::string& name) const { return find(name) != nullptr; }
    // Register address of a feature as its description resolves it now (selectors included).
    uint64_t address(const std::string& name);
    const std::string& description() const { return xml_; }

private:
    struct Location {
        uint64_t address;
        size_t length;
        int lsb = -1, msb = -1;
        std::string kind;
    };
    pugi::xml_node find(const std::string& name) const;
    pugi::xml_node valueNode(pugi::xml_node node) const;
    Location locate(pugi::xml_node reg);
    GC_ERROR writeRaw(uint64_t address, const void* data, size_t length);
    void readRaw(uint64_t address, void* data, size_t length);
    GC_ERROR writeInteger(pugi::xml_node node, int64_t value);

    PORT_HANDLE port_;
    std::string xml_;
    pugi::xml_document doc_;
    std::map<std::string, pugi::xml_node> nodes_;
    std::map<std::string, int64_t> localValues_;  // Integer nodes holding their value in the node map
};

// Fixture for tests that need the producer initialised and a system open.
class SimTest : public ::testing::Test {
protected:
    const GenTLFunctions& gt = gentl();
};

}  // namespace corvid2::sim::test
