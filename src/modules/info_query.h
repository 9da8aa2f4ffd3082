// SPDX-License-Identifier: BSD-3-Clause
// GenTL's two-step text reads (size with a null buffer, then the value), written once for every module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/last_error.h"
#include "gentl.h"
#include "trace/trace.h"

namespace corvid2 {

// An information text through `query(type*, buffer, size*)`, which returns a library result code
// and records its own failure; the text ends at its first terminator.
template <class Query>
Result queryInfoText(Query&& query, std::string& text) {
    GenTL::INFO_DATATYPE type = 0;
    size_t size = 0;
    if (const Result code = query(&type, nullptr, &size); code != Result::Success) return code;
    std::string value(size, '\0');
    if (const Result code = query(&type, value.data(), &size); code != Result::Success) return code;
    text = value.c_str();
    return Result::Success;
}

// A fixed-size information value (an access status, a count) through the same kind of query.
template <class Value, class Query>
Result queryInfoValue(Query&& query, Value& value) {
    GenTL::INFO_DATATYPE type = 0;
    size_t size = sizeof(Value);
    return query(&type, &value, &size);
}

// A public getter's failure seen from its side: "<object>; <operation>; <last error text>" at error
// level, next to the internal operation's own line. Returns `code` for the caller's check.
inline Result traceFailedGetter(Result code, const std::string& object, const char* operation) {
    if (code == Result::Success) return Result::Success;
    std::string message;
    GetLastErrorText(message);
    traceError("%s; %s; %s", object.c_str(), operation, message.c_str());
    return code;
}

// Which step of a two-step id read (TLGetInterfaceID, IFGetDeviceID, ...) the producer refused.
enum class TextStep { None, Size, Value };

// An id through `call(buffer, size*)`, which returns the producer's GenTL result; `failed` tells
// the caller which message to record.
template <class Call>
GenTL::GC_ERROR readGenTLText(Call&& call, std::string& text, TextStep& failed) {
    size_t size = 0;
    GenTL::GC_ERROR result = call(nullptr, &size);
    if (result != GenTL::GC_ERR_SUCCESS) {
        failed = TextStep::Size;
        return result;
    }
    std::string value(size, '\0');
    result = call(value.data(), &size);
    if (result != GenTL::GC_ERR_SUCCESS) {
        failed = TextStep::Value;
        return result;
    }
    failed = TextStep::None;
    text = value.c_str();
    return result;
}

}  // namespace corvid2
