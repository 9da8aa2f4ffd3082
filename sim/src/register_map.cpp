// SPDX-License-Identifier: BSD-3-Clause
// Register table lookups and the little-endian encodings of the typed registers.
#include "register_map.h"

#include <cstring>

namespace corvid2::sim {

namespace {
void storeLittleEndian(uint8_t* out, size_t length, uint64_t value) {
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
int64_t loadLittleEndian(const uint8_t* in, size_t length) {
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    if (length < 8 && (value >> (8 * length - 1)) != 0) value |= ~uint64_t{0} << (8 * length);  // sign-extend
    return static_cast<int64_t>(value);
}
}  // namespace

void RegisterMap::add(Register reg) { registers_[reg.address] = std::move(reg); }

void RegisterMap::addInt(uint64_t address, size_t length, IntGetter get, IntSetter set) {
    Register reg{address, length, [get, length](uint8_t* out) { storeLittleEndian(out, length, get()); }, {}};
    if (set) reg.write = [set, length](const uint8_t* in) { set(loadLittleEndian(in, length)); };
    add(std::move(reg));
}

void RegisterMap::addFloat(uint64_t address, FloatGetter get, FloatSetter set) {
    Register reg{address,
                 8,
                 [get](uint8_t* out) {
                     const double v = get();
                     std::memcpy(out, &v, 8);
                 },
                 {}};
    if (set)
        reg.write = [set](const uint8_t* in) {
            double v;
            std::memcpy(&v, in, 8);
            set(v);
        };
    add(std::move(reg));
}

void RegisterMap::addText(uint64_t address, size_t length, TextGetter get, TextSetter set) {
    Register reg{address,
                 length,
                 [get, length](uint8_t* out) {
                     const std::string s = get();
                     std::memset(out, 0, length);
                     std::memcpy(out, s.data(), std::min(s.size(), length - 1));
                 },
                 {}};
    if (set)
        reg.write = [set, length](const uint8_t* in) {
            set(std::string(reinterpret_cast<const char*>(in), strnlen(reinterpret_cast<const char*>(in), length)));
        };
    add(std::move(reg));
}

void RegisterMap::addCommand(uint64_t address, std::function<void()> execute, IntGetter busy) {
    IntGetter readBack = busy ? busy : IntGetter([] { return int64_t{0}; });
    addInt(address, 4, readBack, [execute](int64_t value) {
        if (value != 0) execute();
    });
}

void RegisterMap::addBlock(uint64_t address, std::shared_ptr<const std::vector<uint8_t>> bytes) {
    const size_t length = bytes->size();
    add(Register{address, length, [bytes](uint8_t* out) { std::memcpy(out, bytes->data(), bytes->size()); }, {}});
}

const Register& RegisterMap::find(uint64_t address, size_t length) const {
    auto it = registers_.upper_bound(address);
    if (it == registers_.begin()) fail(GC_ERR_INVALID_ADDRESS, "no register at this address");
    --it;
    const Register& reg = it->second;
    const uint64_t offset = address - reg.address;
    if (offset >= reg.length || length > reg.length - offset) fail(GC_ERR_INVALID_ADDRESS, "access outside a register");
    return reg;
}

void RegisterMap::read(uint64_t address, void* buffer, size_t length) const {
    if (length == 0) return;
    const Register& reg = find(address, length);
    std::vector<uint8_t> whole(reg.length);
    reg.read(whole.data());
    std::memcpy(buffer, whole.data() + (address - reg.address), length);
}

void RegisterMap::write(uint64_t address, const void* buffer, size_t length) const {
    if (length == 0) return;
    const Register& reg = find(address, length);
    if (!reg.write) fail(GC_ERR_ACCESS_DENIED, "register is read-only");
    std::vector<uint8_t> whole(reg.length);
    if (length != reg.length) reg.read(whole.data());
    std::memcpy(whole.data() + (address - reg.address), buffer, length);
    reg.write(whole.data());
}

}  // namespace corvid2::sim
