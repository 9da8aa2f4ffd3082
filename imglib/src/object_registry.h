// SPDX-License-Identifier: BSD-3-Clause
// The objects the library has handed out and not yet taken back, so that a released or foreign pointer is refused
// instead of followed, and the port functions find the object behind a handle.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "corvid2_img/corvid2_img.h"

namespace corvid2::img {

enum class ObjectKind : uint8_t { Image, Processor, Histogram, GeoTransform };

/// An object with a port: a feature description and a register space.
class CPortTarget {
public:
    virtual ~CPortTarget() = default;
    /// File name of the description in the port's URL.
    virtual const char* descriptionName() const = 0;
    virtual const char* description() const = 0;
    virtual size_t descriptionSize() const = 0;
    /// The bytes of the register space from address 0 as they are now.
    virtual std::vector<uint8_t> registers() const = 0;
    /// Writes the register at exactly this address and length: IMG_INVALID_ADDRESS when there is none,
    /// IMG_ACCESS_DENIED when it is read-only, IMG_INVALID_PARAMETER for a value out of range.
    virtual IMG_RESULT_CODES writeRegister(uint64_t address, const uint8_t* bytes, uint64_t length) = 0;
};

/// Every live object of the library, keyed by the interface pointer handed out (which is also its port handle).
class CObjectRegistry {
public:
    static void add(const void* handle, ObjectKind kind, CPortTarget* port = nullptr);
    static void remove(const void* handle);
    static bool contains(const void* handle, ObjectKind kind);

    /// GetPortURL, ReadPort and WritePort of the object behind a handle; IMG_INVALID_PARAMETER for a handle that
    /// is not a live image or processor.
    static IMG_RESULT_CODES portUrl(const void* handle, char* url, uint64_t* size);
    static IMG_RESULT_CODES readPort(const void* handle, uint64_t address, void* buffer, uint64_t* length);
    static IMG_RESULT_CODES writePort(const void* handle, uint64_t address, const void* buffer, const uint64_t* length);
};

/// Copies text into a caller's buffer the two-step way: a null buffer asks for the size (including the NUL); a
/// size too small gives IMG_INVALID_PARAMETER and the size needed.
IMG_RESULT_CODES copyText(const std::string& text, char* buffer, uint64_t* size);

/// Little-endian register values.
void putRegister32(std::vector<uint8_t>& bytes, uint64_t address, uint32_t value);
void putRegister64(std::vector<uint8_t>& bytes, uint64_t address, uint64_t value);
void putRegisterDouble(std::vector<uint8_t>& bytes, uint64_t address, double value);
void putRegisterText(std::vector<uint8_t>& bytes, uint64_t address, size_t length, const std::string& text);
uint32_t registerValue32(const uint8_t* bytes);
double registerDouble(const uint8_t* bytes);

}  // namespace corvid2::img
