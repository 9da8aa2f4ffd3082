// SPDX-License-Identifier: BSD-3-Clause
// The exceptions of the object-oriented interface. None derives from std::exception: catch
// CORVID2::Exceptions::IException (or one class) to see them.
#ifndef CORVID2_EXCEPTIONS_H
#define CORVID2_EXCEPTIONS_H

#include "corvid2/export.h"
#include "corvid2/string.h"

namespace CORVID2 {
namespace Exceptions {

class CORVID2_API IException {
public:
    IException() = default;
    IException(const IException&) = default;
    IException& operator=(const IException&) = default;
    virtual ~IException();
    virtual String GetErrorDescription() const = 0;
    virtual String GetFunctionName() const = 0;
    virtual String GetType() const = 0;
};

// One interface class per failure kind; they add nothing but their identity.
#define CORVID2_DECLARE_EXCEPTION_INTERFACE(Name)        \
    class CORVID2_API Name : public virtual IException { \
    public:                                              \
        Name() = default;                                \
        Name(const Name&) = default;                     \
        Name& operator=(const Name&) = default;          \
        ~Name() override;                                \
    };

CORVID2_DECLARE_EXCEPTION_INTERFACE(ErrorException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(NotInitializedException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(NotImplementedException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(ResourceInUseException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(AccessDeniedException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(InvalidHandleException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(NoDataException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(InvalidParameterException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(AbortException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(InvalidBufferException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(NotAvailableException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(ObjectInvalidException)
CORVID2_DECLARE_EXCEPTION_INTERFACE(LowLevelException)

#undef CORVID2_DECLARE_EXCEPTION_INTERFACE

}  // namespace Exceptions
}  // namespace CORVID2

// The classes actually thrown; exported so that an application may also catch them by name.
class CORVID2_API Corvid_BaseException {
public:
    Corvid_BaseException(const Corvid_BaseException& other);
    // The line is accepted for symmetry with the throw sites and not kept.
    Corvid_BaseException(const char* sourceFile, unsigned line, const char* function, const char* description);
    Corvid_BaseException& operator=(const Corvid_BaseException& other);
    virtual ~Corvid_BaseException();

protected:
    CORVID2::String description_;
    CORVID2::String functionName_;
    CORVID2::String sourceFile_;
};

#define CORVID2_DECLARE_EXCEPTION_CLASS(Name)                                                                \
    class CORVID2_API Corvid_##Name : public Corvid_BaseException, public CORVID2::Exceptions::Name {        \
    public:                                                                                                  \
        Corvid_##Name(const Corvid_##Name& other);                                                           \
        Corvid_##Name(const char* sourceFile, unsigned line, const char* function, const char* description); \
        Corvid_##Name& operator=(const Corvid_##Name& other);                                                \
        ~Corvid_##Name() override;                                                                           \
        CORVID2::String GetErrorDescription() const override;                                                \
        CORVID2::String GetFunctionName() const override;                                                    \
        CORVID2::String GetType() const override;                                                            \
    };

CORVID2_DECLARE_EXCEPTION_CLASS(ErrorException)
CORVID2_DECLARE_EXCEPTION_CLASS(NotInitializedException)
CORVID2_DECLARE_EXCEPTION_CLASS(NotImplementedException)
CORVID2_DECLARE_EXCEPTION_CLASS(ResourceInUseException)
CORVID2_DECLARE_EXCEPTION_CLASS(AccessDeniedException)
CORVID2_DECLARE_EXCEPTION_CLASS(InvalidHandleException)
CORVID2_DECLARE_EXCEPTION_CLASS(NoDataException)
CORVID2_DECLARE_EXCEPTION_CLASS(InvalidParameterException)
CORVID2_DECLARE_EXCEPTION_CLASS(AbortException)
CORVID2_DECLARE_EXCEPTION_CLASS(InvalidBufferException)
CORVID2_DECLARE_EXCEPTION_CLASS(NotAvailableException)
CORVID2_DECLARE_EXCEPTION_CLASS(ObjectInvalidException)
CORVID2_DECLARE_EXCEPTION_CLASS(LowLevelException)

#undef CORVID2_DECLARE_EXCEPTION_CLASS

#endif
