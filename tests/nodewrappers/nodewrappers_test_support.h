// SPDX-License-Identifier: BSD-3-Clause
// What the node-wrapper tests share: a module object over one simulator handle, a register space in
// memory for inline descriptions, and the check of a CGenAPIException's texts.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "features/features_test_support.h"
#include "features/genapi_node.h"
#include "features/igenapi.h"
#include "modules/gentl_module.h"

namespace corvid2::test {

// A module of the simulator as the library's module objects hold one: handle, port, node map.
class SimModule : public CGenTLModule {
public:
    SimModule(const char* kind, CGenTLProducer* producer, void* handle)
        : CGenTLModule(kind, producer, "Velmor"), handle_(handle) {
        EXPECT_EQ(initPort(handle), 0);
    }
    void* getHandle() const override { return handle_; }

private:
    void* handle_;
};

// A register space for inline descriptions. It records which features were announced as written
// and answers noteFeatureWrite as told; `dropWrites` makes it ignore writes.
class MemoryPort : public IGenAPIPort {
public:
    explicit MemoryPort(std::size_t size = 0x100) : bytes_(size) {}
    const char* portRead(void* buffer, std::int64_t address, std::int64_t length, const void*) override {
        if (!fits(address, length)) return "out of range";
        std::memcpy(buffer, bytes_.data() + address, static_cast<std::size_t>(length));
        ++reads_;
        return nullptr;
    }
    const char* portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void*) override {
        if (!fits(address, length)) return "out of range";
        if (!dropWrites_) std::memcpy(bytes_.data() + address, buffer, static_cast<std::size_t>(length));
        ++writes_;
        return nullptr;
    }
    bool noteFeatureWrite(const std::string& featureName) override {
        noted_.push_back(featureName);
        return verify_;
    }

    std::uint32_t u32(std::size_t address) const {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes_.data() + address, sizeof value);
        return value;
    }
    void setU32(std::size_t address, std::uint32_t value) {
        std::memcpy(bytes_.data() + address, &value, sizeof value);
    }

    std::vector<std::uint8_t> bytes_;
    std::vector<std::string> noted_;
    bool verify_ = true;
    bool dropWrites_ = false;
    int reads_ = 0;
    int writes_ = 0;

private:
    bool fits(std::int64_t address, std::int64_t length) const {
        return address >= 0 && length >= 0 && static_cast<std::size_t>(address + length) <= bytes_.size();
    }
};

// Root element of a small description; `body` holds the nodes, the port is "Device".
inline std::string description(const std::string& body) {
    return "<RegisterDescription ModelName=\"Test\" VendorName=\"Test\" StandardNameSpace=\"None\" "
           "SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" "
           "MinorVersion=\"0\" SubMinorVersion=\"0\" ProductGuid=\"0\" VersionGuid=\"0\">" +
           body + "<Port Name=\"Device\"/></RegisterDescription>";
}

// Runs `operation` and checks that it raised CGenAPIException with exactly these texts.
inline void expectGenAPIError(const std::function<void()>& operation, const std::string& message,
                              const std::string& className) {
    try {
        operation();
        ADD_FAILURE() << "no exception; expected '" << message << "'";
    } catch (const CGenAPIException& e) {
        EXPECT_EQ(e.description(), message);
        EXPECT_STREQ(e.what(), message.c_str());
        EXPECT_EQ(e.className(), className);
    }
}

// The class text alone, for engine messages whose wording is the engine's.
inline std::string genAPIClassOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const CGenAPIException& e) {
        return e.className();
    }
    return "(none)";
}

inline std::vector<std::string> namesOf(const genAPINodeMap& map) {
    std::vector<std::string> names;
    for (const auto& entry : map) names.push_back(entry.first);
    return names;
}

}  // namespace corvid2::test
