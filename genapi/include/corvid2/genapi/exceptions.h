// SPDX-License-Identifier: BSD-3-Clause
// Exception family raised by the GenApi engine; each carries description, source file, line and type name.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvid2::genapi {

/// Base of every error the engine raises.
class GenericException : public std::exception {
public:
    GenericException(std::string description, std::string sourceFile, unsigned line,
                     std::string typeName = "GenericException");
    const char* what() const noexcept override { return what_.c_str(); }
    const char* GetDescription() const noexcept { return description_.c_str(); }
    const char* GetSourceFileName() const noexcept { return sourceFile_.c_str(); }
    unsigned GetSourceLine() const noexcept { return line_; }
    const char* GetExceptionType() const noexcept { return typeName_.c_str(); }

private:
    std::string description_;
    std::string sourceFile_;
    unsigned line_;
    std::string typeName_;
    std::string what_;
};

#define CORVID2_GENAPI_DECLARE_EXCEPTION(Name)                                                              \
    class Name : public GenericException {                                                                  \
    public:                                                                                                 \
        Name(std::string description, std::string sourceFile, unsigned line, std::string typeName = #Name)  \
            : GenericException(std::move(description), std::move(sourceFile), line, std::move(typeName)) {} \
    };

CORVID2_GENAPI_DECLARE_EXCEPTION(BadAllocException)
CORVID2_GENAPI_DECLARE_EXCEPTION(InvalidArgumentException)
CORVID2_GENAPI_DECLARE_EXCEPTION(OutOfRangeException)
CORVID2_GENAPI_DECLARE_EXCEPTION(PropertyException)
CORVID2_GENAPI_DECLARE_EXCEPTION(RuntimeException)
CORVID2_GENAPI_DECLARE_EXCEPTION(LogicalErrorException)
CORVID2_GENAPI_DECLARE_EXCEPTION(AccessException)
CORVID2_GENAPI_DECLARE_EXCEPTION(TimeoutException)
CORVID2_GENAPI_DECLARE_EXCEPTION(DynamicCastException)
#undef CORVID2_GENAPI_DECLARE_EXCEPTION

/// Raises exception type E with the caller's file and line.
#define CORVID2_GENAPI_THROW(E, description) throw E((description), __FILE__, __LINE__)

}  // namespace corvid2::genapi
