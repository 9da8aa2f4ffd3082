// SPDX-License-Identifier: BSD-3-Clause
// CORVID2::String over a std::string that only the library allocates and frees.
#include "corvid2/string.h"

#include <cstring>
#include <limits>
#include <string>

#include "core/exceptions.h"

namespace CORVID2 {
namespace {

std::string& text(void* p) { return *static_cast<std::string*>(p); }

std::string fromCString(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

String::String() : text_(new std::string()) {}

String::String(const char* s) : text_(new std::string(fromCString(s))) {}

String::String(const char* s, int length) : text_(nullptr) {
    if (length < 0)
        throw Corvid_InvalidParameterException(__FILE__, __LINE__, "CORVID2::String::String",
                                               "negative length for a String");
    text_ = new std::string(s ? std::string(s, static_cast<std::size_t>(length)) : std::string());
}

String::String(const String& other) : text_(new std::string(text(other.text_).c_str())) {}

String::~String() { delete static_cast<std::string*>(text_); }

const String& String::operator=(const String& other) {
    if (&other != this && other.text_ != text_) text(text_) = text(other.text_);
    return *this;
}

const String& String::operator=(char c) {
    text(text_).assign(1, c);
    return *this;
}

const String& String::operator=(const char* s) {
    text(text_) = fromCString(s);
    return *this;
}

void String::set(const char* s) { text(text_) = fromCString(s); }

bool String::operator==(const String& other) const { return text(text_) == text(other.text_); }

bool String::operator==(const char* s) const {
    const std::string& mine = text(text_);
    const std::size_t len = s ? std::strlen(s) : 0;
    return mine.size() == len && (len == 0 || std::memcmp(mine.data(), s, len) == 0);
}

bool String::operator!=(const String& other) const { return !(*this == other); }
bool String::operator!=(const char* s) const { return !(*this == s); }

bool String::operator<(const String& other) const {
    // std::string compares through char_traits<char>, which orders bytes as unsigned.
    return text(text_) < text(other.text_);
}

String::operator const char*() const { return get(); }
const char* String::get() const { return text(text_).c_str(); }

int String::size() const {
    const std::size_t n = text(text_).size();
    return n > static_cast<std::size_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                         : static_cast<int>(n);
}

}  // namespace CORVID2
