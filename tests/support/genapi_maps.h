// SPDX-License-Identifier: BSD-3-Clause
// Node maps for tests: small inline descriptions over a register space in memory, and the
// description a module's own port gives, built into a map connected to that port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <corvid2/genapi/genapi.h>

#include "features/genapi_node.h"
#include "features/genapi_port.h"
#include "features/igenapi.h"

namespace corvid2::test {

// Root element of a small description; `body` holds the nodes, `portName` names its one port.
std::string description(const std::string& body, const std::string& portName = "Device");

// A register space for inline descriptions. It records which features were announced as written
// and answers noteFeatureWrite as told; `dropWrites_` makes it ignore writes, as a device that does
// not take a value would.
class MemoryPort : public IGenAPIPort {
public:
    explicit MemoryPort(std::size_t size = 0x100) : bytes_(size) {}
    const char* portRead(void* buffer, std::int64_t address, std::int64_t length, const void*) override;
    const char* portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void*) override;
    bool noteFeatureWrite(const std::string& featureName) override;

    std::uint32_t u32(std::size_t address) const;
    void setU32(std::size_t address, std::uint32_t value);

    std::vector<std::uint8_t> bytes_;
    std::vector<std::string> noted_;
    bool verify_ = true;
    bool dropWrites_ = false;
    int reads_ = 0;
    int writes_ = 0;

private:
    bool fits(std::int64_t address, std::int64_t length) const;
};

// The text of the first description the module port's locations give; empty (and a failed
// expectation) when none loads.
std::string portDescription(CModulePort& port);
// That description as the engine's own node map, connected to `port` under its port name; null
// when none loads. The text goes to `text` when given.
std::unique_ptr<genapi::INodeMap> connectedNodeMap(CModulePort& port, std::string* text = nullptr);
// `map` built from `text` and connected to `port` under its port name, as a module connects its own.
void connectToModulePort(IGenAPI& map, const std::string& text, CModulePort& port);

// The names in a view, in its order.
std::vector<std::string> namesOf(const genAPINodeMap& map);

}  // namespace corvid2::test
