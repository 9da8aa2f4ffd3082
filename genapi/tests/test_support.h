// SPDX-License-Identifier: BSD-3-Clause
// Shared helpers of the engine tests: a register space in memory that counts traffic, and snippet maps.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "corvid2/genapi/genapi.h"

namespace corvid2::genapi::test {

/// Sparse byte-addressed register space; unset bytes read as zero. Counts reads and writes.
class MemoryPort : public IPort {
public:
    EAccessMode GetAccessMode() const override { return mode_; }
    void Read(void* buffer, int64_t address, int64_t length) override {
        ++reads_;
        if (refuse_) throw AccessException("port refuses access", __FILE__, __LINE__);
        auto* bytes = static_cast<uint8_t*>(buffer);
        for (int64_t k = 0; k < length; ++k) {
            auto it = memory_.find(address + k);
            bytes[k] = it == memory_.end() ? 0 : it->second;
        }
    }
    void Write(const void* buffer, int64_t address, int64_t length) override {
        ++writes_;
        if (refuse_) throw AccessException("port refuses access", __FILE__, __LINE__);
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        for (int64_t k = 0; k < length; ++k) memory_[address + k] = bytes[k];
    }

    void poke(int64_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) memory_[address++] = b;
    }
    uint8_t peek(int64_t address) const {
        auto it = memory_.find(address);
        return it == memory_.end() ? 0 : it->second;
    }
    void pokeBigEndian32(int64_t address, uint32_t value) {
        poke(address, {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)});
    }
    void pokeLittleEndian32(int64_t address, uint32_t value) {
        poke(address, {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
    }
    void resetCounters() { reads_ = writes_ = 0; }

    int reads_ = 0;
    int writes_ = 0;
    bool refuse_ = false;
    EAccessMode mode_ = RW;
    std::map<int64_t, uint8_t> memory_;
};

/// Wraps node elements into a schema 1.1 description that also declares the port "Device".
inline std::string describe(const std::string& nodes) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<RegisterDescription ModelName=\"Test\" VendorName=\"Corvid\" StandardNameSpace=\"None\" "
           "SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" "
           "MinorVersion=\"0\" SubMinorVersion=\"0\" ProductGuid=\"00000000-0000-0000-0000-000000000000\" "
           "VersionGuid=\"00000000-0000-0000-0000-000000000000\" "
           "xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n" +
           nodes + "\n<Port Name=\"Device\"/>\n</RegisterDescription>\n";
}

inline std::unique_ptr<INodeMap> loadText(const std::string& text) {
    CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
    factory.Preprocess();
    return factory.CreateNodeMap("Device");
}

/// A node map of the snippet, connected to its own memory port.
struct SnippetMap {
    explicit SnippetMap(const std::string& nodes) : map(loadText(describe(nodes))) {
        EXPECT_TRUE(map->Connect(&port, "Device"));
    }
    template <class T>
    T& get(const std::string& name) {
        INode* node = map->GetNode(name);
        if (!node) throw std::runtime_error("test snippet has no node " + name);
        return CastNodeOrThrow<T>(node, typeid(T).name());
    }
    MemoryPort port;
    std::unique_ptr<INodeMap> map;
};

inline std::string sharedDir() {
#ifdef CORVID2_SHARED_DIR
    return CORVID2_SHARED_DIR;
#else
    return "";
#endif
}

}  // namespace corvid2::genapi::test
