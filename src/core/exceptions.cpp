// SPDX-License-Identifier: BSD-3-Clause
// The thirteen exception classes: one shape, written once and stamped out per kind.
#include "core/exceptions.h"

namespace CORVID2::Exceptions {
IException::~IException() = default;
#define CORVID2_DEFINE_INTERFACE(Name, result) Name::~Name() = default;
CORVID2_FOR_EACH_EXCEPTION(CORVID2_DEFINE_INTERFACE)
#undef CORVID2_DEFINE_INTERFACE
}  // namespace CORVID2::Exceptions

Corvid_BaseException::Corvid_BaseException(const Corvid_BaseException& other) = default;

Corvid_BaseException::Corvid_BaseException(const char* sourceFile, unsigned /*line*/, const char* function,
                                           const char* description)
    : description_(description), functionName_(function), sourceFile_(sourceFile) {}

Corvid_BaseException& Corvid_BaseException::operator=(const Corvid_BaseException& other) = default;
Corvid_BaseException::~Corvid_BaseException() = default;

#define CORVID2_DEFINE_CLASS(Name, result)                                                                             \
    Corvid_##Name::Corvid_##Name(const Corvid_##Name& other)                                                           \
        : CORVID2::Exceptions::IException(other), Corvid_BaseException(other), CORVID2::Exceptions::Name(other) {}     \
    Corvid_##Name::Corvid_##Name(const char* sourceFile, unsigned line, const char* function, const char* description) \
        : Corvid_BaseException(sourceFile, line, function, description) {}                                             \
    Corvid_##Name& Corvid_##Name::operator=(const Corvid_##Name& other) {                                              \
        Corvid_BaseException::operator=(other);                                                                        \
        return *this;                                                                                                  \
    }                                                                                                                  \
    Corvid_##Name::~Corvid_##Name() = default;                                                                         \
    CORVID2::String Corvid_##Name::GetErrorDescription() const { return description_; }                                \
    CORVID2::String Corvid_##Name::GetFunctionName() const { return functionName_; }                                   \
    CORVID2::String Corvid_##Name::GetType() const { return #Name; }
CORVID2_FOR_EACH_EXCEPTION(CORVID2_DEFINE_CLASS)
#undef CORVID2_DEFINE_CLASS
