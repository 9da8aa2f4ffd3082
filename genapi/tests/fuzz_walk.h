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
        for (int64_t k = 0; k < length; ++k) {
            uint64_t at = static_cast<uint64_t>(address) + static_cast<uint64_t>(k);
            bytes[k] = static_cast<uint8_t>((at * 2654435761u) >> 16);
        }
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
    // Each question on its own: one that raises must not keep the others from being asked.
    auto ask = [](auto question) {
        try {
            question();
        } catch (const GenericException&) {
        }
    };
    for (INode* node : nodes) {
        ask([&] { node->GetAccessMode(); });
        if (auto* reg = dynamic_cast<IRegister*>(node)) {
            bool huge = true;
            ask([&] { huge = reg->GetLength() > (1 << 16); });
            if (huge) continue;
        }
        if (auto* value = dynamic_cast<IValue*>(node)) {
            ask([&] { value->ToString(); });
            ask([&] { value->IsValueCacheValid(); });
        }
        if (auto* integer = dynamic_cast<IInteger*>(node)) {
            ask([&] { integer->GetMin(); });
            ask([&] { integer->GetMax(); });
            ask([&] { integer->GetInc(); });
            ask([&] { integer->GetIncMode(); });
            ask([&] { integer->GetListOfValidValues(); });
            ask([&] { integer->SetValue(integer->GetValue()); });  // writes go through formulas and copies
        }
        if (auto* number = dynamic_cast<IFloat*>(node)) {
            ask([&] { number->GetMin(); });
            ask([&] { number->GetMax(); });
            ask([&] { number->GetIncMode(); });
            ask([&] { number->GetInc(); });
            ask([&] { number->SetValue(number->GetValue()); });
        }
        if (auto* enumeration = dynamic_cast<IEnumeration*>(node)) {
            ask([&] {
                gcstring_vector symbolics;
                enumeration->GetSymbolics(symbolics);
            });
        }
        if (auto* command = dynamic_cast<ICommand*>(node)) ask([&] { command->IsDone(); });
    }
    return true;
}

}  // namespace corvid2::genapi::test
