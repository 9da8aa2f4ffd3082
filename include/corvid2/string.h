// SPDX-License-Identifier: BSD-3-Clause
// The only text type that crosses the object-oriented interface; its buffer belongs to the library.
#ifndef CORVID2_STRING_H
#define CORVID2_STRING_H

#include "corvid2/export.h"

namespace CORVID2 {

// Holds a byte string allocated and freed inside the library, so that an application built
// against another runtime can still pass texts in and out by value.
class CORVID2_API String {
public:
    String();
    String(const char* text);  // NOLINT: implicit on purpose, texts read naturally
    // Exactly `length` bytes, NUL bytes included; a negative length throws InvalidParameterException.
    String(const char* text, int length);
    String(const String& other);  // copies up to the first NUL byte
    ~String();

    const String& operator=(const String& other);  // copies every byte, NUL bytes included
    const String& operator=(char c);
    const String& operator=(const char* text);
    void set(const char* text);

    bool operator==(const String& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const String& other) const;
    bool operator!=(const char* text) const;
    bool operator<(const String& other) const;

    operator const char*() const;  // NOLINT: the C string view is the point of the class
    const char* get() const;
    int size() const;

private:
    void* text_;  // the library's own byte string; never shared between two objects
};

}  // namespace CORVID2

#endif
