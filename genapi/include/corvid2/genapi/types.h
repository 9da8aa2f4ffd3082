// SPDX-License-Identifier: BSD-3-Clause
// Basic types and enumerations of the GenApi engine: text, access modes, visibility, representation and friends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvid2::genapi {

/// Text type of the interface; a plain std::string so that callers pay for no conversion.
using gcstring = std::string;
using gcstring_vector = std::vector<gcstring>;
using int64_autovector_t = std::vector<int64_t>;
using double_autovector_t = std::vector<double>;

/// Access mode of a node, from "not implemented" up to "read/write".
enum EAccessMode { NI, NA, WO, RO, RW, _UndefinedAccesMode, _CycleDetectAccesMode };

/// Audience of a feature.
enum EVisibility { Beginner = 0, Expert = 1, Guru = 2, Invisible = 3, _UndefinedVisibility = 99 };

/// Register caching policy.
enum ECachingMode { NoCache, WriteThrough, WriteAround, _UndefinedCachingMode };

/// How a number is meant to be shown or edited.
enum ERepresentation {
    Linear,
    Logarithmic,
    Boolean,
    PureNumber,
    HexNumber,
    IPV4Address,
    MACAddress,
    _UndefinedRepresentation
};

/// How a floating-point number is formatted.
enum EDisplayNotation { fnAutomatic, fnFixed, fnScientific, _UndefinedEDisplayNotation };

/// Principal interface of a node.
enum EInterfaceType {
    intfIValue,
    intfIBase,
    intfIInteger,
    intfIBoolean,
    intfICommand,
    intfIFloat,
    intfIString,
    intfIRegister,
    intfICategory,
    intfIEnumeration,
    intfIEnumEntry,
    intfIPort
};

/// Link kinds walked by INode::GetChildren.
enum ELinkType {
    ctParentNodes,
    ctReadingChildren,
    ctWritingChildren,
    ctInvalidatingChildren,
    ctDependingNodes,
    ctTerminalNodes,
    ctValueChangingChildren
};

enum EIncMode { noIncrement, fixedIncrement, listIncrement };
enum ESign { Signed, Unsigned, _UndefinedSign };
enum EEndianess { BigEndian, LittleEndian, _UndefinedEndian };
enum ESlope { Increasing, Decreasing, Varying, Automatic, _UndefinedESlope };
enum ENameSpace { Custom, Standard, _UndefinedNameSpace };
enum EYesNo { Yes = 1, No = 0, _UndefinedYesNo = 2 };

/// Kind of description text handed to the factory.
enum EContentType { ContentType_Xml = 0, ContentType_ZippedXml = 1, ContentType_Auto = 2 };
/// Use of a preprocessing cache (accepted for interface compatibility; the engine keeps none on disk).
enum ECacheUsage { CacheUsage_Automatic = 0, CacheUsage_ForceWrite, CacheUsage_ForceRead, CacheUsage_Ignore };

/// Names of the enumerations' values as they appear in descriptions and dumps.
const char* ToString(EAccessMode mode);
const char* ToString(EVisibility visibility);
const char* ToString(ECachingMode mode);
const char* ToString(ERepresentation representation);
const char* ToString(EDisplayNotation notation);
const char* ToString(EInterfaceType type);

}  // namespace corvid2::genapi
