// SPDX-License-Identifier: BSD-3-Clause
// Live objects and the port functions over them.
#include "object_registry.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace corvid2::img {

namespace {

struct Entry {
    ObjectKind kind;
    CPortTarget* port;
};

// Port calls run under the lock, so that an object cannot be released while its registers are read.
std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_map<const void*, Entry>& entries() {
    static std::unordered_map<const void*, Entry> map;
    return map;
}

CPortTarget* portOf(const void* handle) {
    auto it = entries().find(handle);
    return it == entries().end() ? nullptr : it->second.port;
}

}  // namespace

void CObjectRegistry::add(const void* handle, ObjectKind kind, CPortTarget* port) {
    std::lock_guard<std::mutex> lock(registryMutex());
    entries()[handle] = Entry{kind, port};
}

void CObjectRegistry::remove(const void* handle) {
    std::lock_guard<std::mutex> lock(registryMutex());
    entries().erase(handle);
}

bool CObjectRegistry::contains(const void* handle, ObjectKind kind) {
    if (handle == nullptr) return false;
    std::lock_guard<std::mutex> lock(registryMutex());
    auto it = entries().find(handle);
    return it != entries().end() && it->second.kind == kind;
}

IMG_RESULT_CODES CObjectRegistry::portUrl(const void* handle, char* url, uint64_t* size) {
    std::lock_guard<std::mutex> lock(registryMutex());
    const CPortTarget* port = portOf(handle);
    if (port == nullptr || size == nullptr) return IMG_INVALID_PARAMETER;
    char text[160];
    std::snprintf(text, sizeof text, "Local:%s;%llX;%zX", port->descriptionName(),
                  static_cast<unsigned long long>(IMG_REG_DESCRIPTION), port->descriptionSize());
    return copyText(text, url, size);
}

IMG_RESULT_CODES CObjectRegistry::readPort(const void* handle, uint64_t address, void* buffer, uint64_t* length) {
    std::lock_guard<std::mutex> lock(registryMutex());
    const CPortTarget* port = portOf(handle);
    if (port == nullptr || buffer == nullptr || length == nullptr) return IMG_INVALID_PARAMETER;
    const uint64_t count = *length;
    if (address >= IMG_REG_DESCRIPTION) {
        const uint64_t offset = address - IMG_REG_DESCRIPTION;
        if (offset > port->descriptionSize() || count > port->descriptionSize() - offset) return IMG_INVALID_ADDRESS;
        std::memcpy(buffer, port->description() + offset, count);
        return IMG_SUCCESS;
    }
    const std::vector<uint8_t> registers = port->registers();
    if (address > registers.size() || count > registers.size() - address) return IMG_INVALID_ADDRESS;
    std::memcpy(buffer, registers.data() + address, count);
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CObjectRegistry::writePort(const void* handle, uint64_t address, const void* buffer,
                                            const uint64_t* length) {
    std::lock_guard<std::mutex> lock(registryMutex());
    CPortTarget* port = portOf(handle);
    if (port == nullptr || buffer == nullptr || length == nullptr) return IMG_INVALID_PARAMETER;
    if (address >= IMG_REG_DESCRIPTION) return IMG_ACCESS_DENIED;
    return port->writeRegister(address, static_cast<const uint8_t*>(buffer), *length);
}

IMG_RESULT_CODES copyText(const std::string& text, char* buffer, uint64_t* size) {
    if (size == nullptr) return IMG_INVALID_PARAMETER;
    const uint64_t needed = text.size() + 1;
    if (buffer == nullptr) {
        *size = needed;
        return IMG_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return IMG_INVALID_PARAMETER;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *size = needed;
    return IMG_SUCCESS;
}

void putRegister32(std::vector<uint8_t>& bytes, uint64_t address, uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[address + k] = static_cast<uint8_t>(value >> (8 * k));
}

void putRegister64(std::vector<uint8_t>& bytes, uint64_t address, uint64_t value) {
    for (int k = 0; k < 8; ++k) bytes[address + k] = static_cast<uint8_t>(value >> (8 * k));
}

void putRegisterDouble(std::vector<uint8_t>& bytes, uint64_t address, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    putRegister64(bytes, address, bits);
}

void putRegisterText(std::vector<uint8_t>& bytes, uint64_t address, size_t length, const std::string& text) {
    std::memset(bytes.data() + address, 0, length);
    std::memcpy(bytes.data() + address, text.data(), std::min(text.size(), length - 1));
}

uint32_t registerValue32(const uint8_t* bytes) {
    return bytes[0] | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

double registerDouble(const uint8_t* bytes) {
    uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) bits |= uint64_t{bytes[k]} << (8 * k);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace corvid2::img
