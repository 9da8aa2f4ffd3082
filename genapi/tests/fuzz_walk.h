// SPDX-License-Identifier: BSD-3-Clause
// One fuzz step shared by the GoogleTest mutation test and the libFuzzer target: load, connect, read everything.
#pragma once

#include <memory>
#include <string>

#include "corvid2/genapi/genapi.h"

namespace corvid2::genapi::test {

/// A port whose bytes follow the address, so that lengths and addresses take odd values.
class NoisePort : public IPort {
public:
    EAccessMode GetAccessMode() const override { return RW; }
    void Read(void* buffer, int64_t address, int64_t length) override {
        auto* bytes = static_cast<uint8_t*>(buffer);
        for (int64_t k = 0; k < length; ++k) bytes[k] = static_cast<uint8_t>(((address + k) * 2654435761u) >> 16);
    }
    void Write(const void*, int64_t, int64_t) override {}
};

/// Loads the text and reads every node; returns false when loading failed. Only GenericException may escape
/// the loader; value reads are allowed to fail with it.
inline bool fuzzLoadAndWalk(const std::string& text) {
    std::unique_ptr<INodeMap> map;
    try {
        CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
        map = factory.CreateNodeMap();
    } catch (const GenericException&) {
        return false;
    }
    NoisePort port;
    map->Connect(&port);
    map->SetCachingEnabled(false);
    node_vector nodes;
    map->GetNodes(nodes);
    for (INode* node : nodes) {
        try {
            node->GetAccessMode();
            if (auto* reg = dynamic_cast<IRegister*>(node); reg && reg->GetLength() > (1 << 16)) continue;
            if (auto* value = dynamic_cast<IValue*>(node)) value->ToString();
            if (auto* integer = dynamic_cast<IInteger*>(node)) integer->GetMax();
        } catch (const GenericException&) {
        }
    }
    return true;
}

}  // namespace corvid2::genapi::test
