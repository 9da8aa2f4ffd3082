// SPDX-License-Identifier: BSD-3-Clause
// Exception base and the names of the interface enumerations.
#include "corvid2/genapi/exceptions.h"

#include "corvid2/genapi/interfaces.h"
#include "corvid2/genapi/types.h"

namespace corvid2::genapi {

GenericException::GenericException(std::string description, std::string sourceFile, unsigned line, std::string typeName)
    : description_(std::move(description)),
      sourceFile_(std::move(sourceFile)),
      line_(line),
      typeName_(std::move(typeName)) {
    what_ = typeName_ + ": " + description_ + " (" + sourceFile_ + ":" + std::to_string(line_) + ")";
}

namespace {
template <size_t N>
const char* pick(const char* const (&names)[N], int index) {
    return index >= 0 && static_cast<size_t>(index) < N ? names[index] : "_Undefined";
}
}  // namespace

const char* ToString(EAccessMode mode) {
    static const char* const kNames[] = {"NI", "NA", "WO", "RO", "RW"};
    return pick(kNames, mode);
}
const char* ToString(EVisibility visibility) {
    static const char* const kNames[] = {"Beginner", "Expert", "Guru", "Invisible"};
    return pick(kNames, visibility);
}
const char* ToString(ECachingMode mode) {
    static const char* const kNames[] = {"NoCache", "WriteThrough", "WriteAround"};
    return pick(kNames, mode);
}
const char* ToString(ERepresentation representation) {
    static const char* const kNames[] = {"Linear",    "Logarithmic", "Boolean",   "PureNumber",
                                         "HexNumber", "IPV4Address", "MACAddress"};
    return pick(kNames, representation);
}
const char* ToString(EDisplayNotation notation) {
    static const char* const kNames[] = {"Automatic", "Fixed", "Scientific"};
    return pick(kNames, notation);
}
const char* ToString(EInterfaceType type) {
    static const char* const kNames[] = {"IValue",  "IBase",     "IInteger",  "IBoolean",     "ICommand",   "IFloat",
                                         "IString", "IRegister", "ICategory", "IEnumeration", "IEnumEntry", "IPort"};
    return pick(kNames, type);
}

bool IsReadable(EAccessMode mode) { return mode == RO || mode == RW; }
bool IsWritable(EAccessMode mode) { return mode == WO || mode == RW; }
bool IsImplemented(EAccessMode mode) { return mode != NI && mode != _UndefinedAccesMode; }
bool IsAvailable(EAccessMode mode) { return mode != NI && mode != NA && mode != _UndefinedAccesMode; }

CallbackHandleType Register(INode* node, NodeCallback callback) {
    if (!node) CORVID2_GENAPI_THROW(InvalidArgumentException, "Register: null node");
    return node->RegisterCallback(std::move(callback));
}

bool Deregister(INode* node, CallbackHandleType handle) { return node && node->DeregisterCallback(handle); }

}  // namespace corvid2::genapi
