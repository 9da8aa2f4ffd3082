// SPDX-License-Identifier: BSD-3-Clause
// Address -> register table behind one port: typed helpers for integers, floats, texts, commands and byte blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim_error.h"

namespace corvid2::sim {

struct Register {
    uint64_t address = 0;
    size_t length = 0;
    std::function<void(uint8_t* out)> read;        // fills exactly `length` bytes
    std::function<void(const uint8_t* in)> write;  // empty: read-only
};

// Built once when its module is created and immutable afterwards, so lookups need no lock; the handlers lock
// whatever state they touch.
class RegisterMap {
public:
    using IntGetter = std::function<int64_t()>;
    using IntSetter = std::function<void(int64_t)>;
    using FloatGetter = std::function<double()>;
    using FloatSetter = std::function<void(double)>;
    using TextGetter = std::function<std::string()>;
    using TextSetter = std::function<void(const std::string&)>;

    void add(Register reg);
    // Little-endian integer of 4 or 8 bytes; a missing setter makes it read-only.
    void addInt(uint64_t address, size_t length, IntGetter get, IntSetter set = {});
    void addFloat(uint64_t address, FloatGetter get, FloatSetter set = {});
    void addText(uint64_t address, size_t length, TextGetter get, TextSetter set = {});
    // A command reads back its busy state (1 while running, 0 when done) and runs `execute` on a write of 1.
    void addCommand(uint64_t address, std::function<void()> execute, IntGetter busy = {});
    // Read-only bytes that live as long as the map (a description file, for instance).
    void addBlock(uint64_t address, std::shared_ptr<const std::vector<uint8_t>> bytes);

    // Partial accesses inside one register are allowed; an access that leaves it is refused.
    void read(uint64_t address, void* buffer, size_t length) const;
    void write(uint64_t address, const void* buffer, size_t length) const;

private:
    const Register& find(uint64_t address, size_t length) const;
    std::map<uint64_t, Register> registers_;
};

}  // namespace corvid2::sim
