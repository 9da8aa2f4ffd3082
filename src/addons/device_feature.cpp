// SPDX-License-Identifier: BSD-3-Clause
// DeviceFeature: filling the entries from the remote device's view, selector handling and the
// write checks that run before a value reaches the node.
#include "addons/device_feature.h"

#include <exception>
#include <utility>

#include "core/last_error.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {

enum class Group { None, Gain, Region };

struct EntryDefinition {
    const char* names[2];  // the second one may be null
    Group group;
};

// clang-format off
// In the order of DeviceFeatureEntry.
const EntryDefinition kDefinitions[kDeviceFeatureEntryCount] = {
    {{"ExposureTime", "ExposureTimeAbs"}, Group::None},
    {{"ExposureAuto"}, Group::None},
    {{"ExposureAutoMinValue"}, Group::None},
    {{"ExposureAutoMaxValue"}, Group::None},
    {{"Gain", "GainAbs"}, Group::Gain},
    {{"GainAuto"}, Group::Gain},
    {{"GainAutoMinValue"}, Group::Gain},
    {{"GainAutoMaxValue"}, Group::Gain},
    {{"BalanceWhiteAuto"}, Group::None},
    {{"ColorTransformationAuto"}, Group::None},
    {{"BrightnessAutoPriority"}, Group::None},
    {{"BrightnessAutoNominalValue"}, Group::None},
    {{"AutoFeatureRegionMode"}, Group::Region},
    {{"AutoFeatureOffsetX"}, Group::Region},
    {{"AutoFeatureOffsetY"}, Group::Region},
    {{"AutoFeatureWidth"}, Group::Region},
    {{"AutoFeatureHeight"}, Group::Region},
    {{"OffsetX"}, Group::None},
    {{"OffsetY"}, Group::None},
    {{"Width"}, Group::None},
    {{"Height"}, Group::None},
    {{"GainSelector"}, Group::None},
    {{"AutoFeatureRegionSelector"}, Group::None},
};
// clang-format on

constexpr char kGainSelectorName[] = "GainSelector";
constexpr char kRegionSelectorName[] = "AutoFeatureRegionSelector";
// What the brightness controller means by "gain" unless told otherwise.
constexpr char kDefaultGainSelection[] = "All";

std::size_t indexOf(DeviceFeatureEntry entry) { return static_cast<std::size_t>(entry); }

std::size_t indexOf(DeviceFeatureSelector selector) { return static_cast<std::size_t>(selector); }

// The first candidate name, for messages about an entry the device lacks.
const char* definedName(DeviceFeatureEntry entry) {
    return indexOf(entry) < kDeviceFeatureEntryCount ? kDefinitions[indexOf(entry)].names[0] : "???";
}

// Only integers and floats have minimum, maximum and increment; enumerations and booleans check
// their values themselves.
bool hasLimits(const CGenAPINode& node) {
    const std::string type = node.GetInterface();
    return type == "IInteger" || type == "IFloat";
}

// Puts the entry's selector to the wanted entry for the time of one access and back afterwards.
// The destructor never raises: it may run because the access raised.
class SelectionScope {
public:
    SelectionScope(CGenAPINode* selector, const std::string* selection, const char* method) : method_(method) {
        if (selector == nullptr || selection == nullptr || selection->empty()) return;
        // An entry the selector does not offer leaves the selection to whoever set it last.
        if (selector->GetInterface() != "IEnumeration" || selector->GetEnumNodeList().find(*selection) == nullptr)
            return;
        std::string current = selector->GetValue();
        if (current == *selection) return;
        selector->SetValue(*selection);
        selector_ = selector;
        previous_ = std::move(current);
    }
    ~SelectionScope() {
        if (selector_ == nullptr) return;
        try {
            selector_->SetValue(previous_);
        } catch (const std::exception& e) {
            traceWarning("%s; %s; selector %s not restored (%s);", DeviceFeature::kTraceName, method_,
                         selector_->GetName().c_str(), e.what());
        }
    }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

private:
    const char* method_;
    CGenAPINode* selector_ = nullptr;
    std::string previous_;
};

}  // namespace

DeviceFeature::DeviceFeature() { selections_[indexOf(DeviceFeatureSelector::Gain)] = kDefaultGainSelection; }

const char* DeviceFeature::accessName(Access access) {
    switch (access) {
        case Access::SetInt:
            return "set int";
        case Access::GetInt:
            return "get int";
        case Access::GetIntMin:
            return "get int min";
        case Access::GetIntMax:
            return "get int max";
        case Access::SetDouble:
            return "set double";
        case Access::GetDouble:
            return "get double";
        case Access::GetDoubleMin:
            return "get double min";
        case Access::GetDoubleMax:
            return "get double max";
        case Access::SetString:
            return "set string";
        case Access::GetString:
            return "get string";
        default:
            // Increment reads have no name of their own in the helpers' trace vocabulary.
            return "???";
    }
}

void DeviceFeature::clearEntries() { entries_.fill(Entry{}); }

Result DeviceFeature::Init(const genAPINodeMap* view) {
    traceInfo("%s; Init; called (%s);", kTraceName, view != nullptr ? "init" : "deinit");
    std::lock_guard<std::mutex> lock(mutex_);
    clearEntries();
    if (view == nullptr) return Result::Success;
    try {
        CGenAPINode* gainSelector = view->find(kGainSelectorName);
        CGenAPINode* regionSelector = view->find(kRegionSelectorName);
        for (std::size_t i = 0; i < kDeviceFeatureEntryCount; ++i) {
            const EntryDefinition& definition = kDefinitions[i];
            Entry& entry = entries_[i];
            for (const char* name : definition.names) {
                if (name != nullptr && entry.node == nullptr) entry.node = view->findAvailable(name);
            }
            if (entry.node == nullptr) continue;
            if (definition.group == Group::Gain) {
                entry.selector = gainSelector;
                entry.selection = &selections_[indexOf(DeviceFeatureSelector::Gain)];
            } else if (definition.group == Group::Region) {
                entry.selector = regionSelector;
                entry.selection = &selections_[indexOf(DeviceFeatureSelector::AutoFeatureRegion)];
            }
            if (entry.selector == nullptr) entry.selection = nullptr;
        }
    } catch (const std::exception& e) {
        clearEntries();
        return SetLastError(Result::Error, kTraceName, "Init", "unexpected exception (%s);", e.what());
    } catch (...) {
        clearEntries();
        return SetLastError(Result::Error, kTraceName, "Init", "unexpected exception (%s);", "unknown");
    }
    return Result::Success;
}

bool DeviceFeature::IsAvailable(DeviceFeatureEntry entry) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return indexOf(entry) < kDeviceFeatureEntryCount && entries_[indexOf(entry)].node != nullptr;
}

bool DeviceFeature::IsEnumeration(DeviceFeatureEntry entry) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (indexOf(entry) >= kDeviceFeatureEntryCount) return false;
    const CGenAPINode* node = entries_[indexOf(entry)].node;
    return node != nullptr && node->GetInterface() == "IEnumeration";
}

std::string DeviceFeature::FeatureName(DeviceFeatureEntry entry) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (indexOf(entry) >= kDeviceFeatureEntryCount) return std::string();
    const CGenAPINode* node = entries_[indexOf(entry)].node;
    return node != nullptr ? node->GetName() : std::string();
}

void DeviceFeature::SetSelection(DeviceFeatureSelector selector, const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (indexOf(selector) < selections_.size()) selections_[indexOf(selector)] = entry;
}

std::string DeviceFeature::GetSelection(DeviceFeatureSelector selector) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return indexOf(selector) < selections_.size() ? selections_[indexOf(selector)] : std::string();
}

template <class Operation>
Result DeviceFeature::access(DeviceFeatureEntry entry, Access kind, const char* method, Operation&& operation) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (indexOf(entry) >= kDeviceFeatureEntryCount)
        return SetLastError(Result::InvalidParameter, kTraceName, method, "unknown entry %u;",
                            static_cast<unsigned>(entry));
    const Entry& slot = entries_[indexOf(entry)];
    if (slot.node == nullptr)
        return SetLastError(Result::NotAvailable, kTraceName, method, "%s %s: feature not available;", accessName(kind),
                            definedName(entry));
    CGenAPINode& node = *slot.node;
    try {
        SelectionScope selection(slot.selector, slot.selection, method);
        return operation(node);
    } catch (const CGenAPIException& e) {
        return SetLastError(ErrorCodeFromText(e.className().c_str()), kTraceName, method, "%s %s failed (%s);",
                            accessName(kind), node.GetName().c_str(), e.what());
    } catch (const std::exception& e) {
        return SetLastError(Result::Error, kTraceName, method, "%s %s: unexpected exception (%s);", accessName(kind),
                            node.GetName().c_str(), e.what());
    }
}

Result DeviceFeature::GetValueInt(DeviceFeatureEntry entry, std::int64_t& value) {
    return access(entry, Access::GetInt, "GetValueInt", [&](CGenAPINode& node) {
        value = node.GetInt();
        return Result::Success;
    });
}

Result DeviceFeature::SetValueInt(DeviceFeatureEntry entry, std::int64_t value) {
    static constexpr char kMethod[] = "SetValueInt";
    return access(entry, Access::SetInt, kMethod, [&](CGenAPINode& node) {
        if (!hasLimits(node)) {
            node.SetInt(value);
            return Result::Success;
        }
        const std::int64_t minimum = node.GetIntMin();
        const std::int64_t maximum = node.GetIntMax();
        const std::int64_t increment = node.HasInc() ? node.GetIntInc() : 0;
        if (value < minimum || value > maximum)
            return SetLastError(Result::InvalidParameter, kTraceName, kMethod,
                                "%s value %lli out of range [%lli..%lli];", node.GetName().c_str(),
                                static_cast<long long>(value), static_cast<long long>(minimum),
                                static_cast<long long>(maximum));
        // The device's own rule, not GenApi's (which counts from the minimum), decides here.
        if (increment != 0 && value % increment != 0)
            return SetLastError(Result::InvalidParameter, kTraceName, kMethod,
                                "%s value %lli doesn't conform to increment %lli;", node.GetName().c_str(),
                                static_cast<long long>(value), static_cast<long long>(increment));
        node.SetInt(value);
        return Result::Success;
    });
}

Result DeviceFeature::GetValueIntMin(DeviceFeatureEntry entry, std::int64_t& value) {
    return access(entry, Access::GetIntMin, "GetValueIntMin", [&](CGenAPINode& node) {
        value = node.GetIntMin();
        return Result::Success;
    });
}

Result DeviceFeature::GetValueIntMax(DeviceFeatureEntry entry, std::int64_t& value) {
    return access(entry, Access::GetIntMax, "GetValueIntMax", [&](CGenAPINode& node) {
        value = node.GetIntMax();
        return Result::Success;
    });
}

Result DeviceFeature::GetValueIntInc(DeviceFeatureEntry entry, std::int64_t& value) {
    return access(entry, Access::GetIntInc, "GetValueIntInc", [&](CGenAPINode& node) {
        value = node.HasInc() ? node.GetIntInc() : 0;
        return Result::Success;
    });
}

Result DeviceFeature::GetValueDouble(DeviceFeatureEntry entry, double& value) {
    return access(entry, Access::GetDouble, "GetValueDouble", [&](CGenAPINode& node) {
        value = node.GetDouble();
        return Result::Success;
    });
}

Result DeviceFeature::SetValueDouble(DeviceFeatureEntry entry, double value) {
    static constexpr char kMethod[] = "SetValueDouble";
    return access(entry, Access::SetDouble, kMethod, [&](CGenAPINode& node) {
        if (!hasLimits(node)) {
            node.SetDouble(value);
            return Result::Success;
        }
        const double minimum = node.GetDoubleMin();
        const double maximum = node.GetDoubleMax();
        // Written so that NaN is refused as well.
        if (!(value >= minimum && value <= maximum))
            return SetLastError(Result::InvalidParameter, kTraceName, kMethod, "%s value %g out of range [%g..%g];",
                                node.GetName().c_str(), value, minimum, maximum);
        node.SetDouble(value);
        return Result::Success;
    });
}

Result DeviceFeature::GetValueDoubleMin(DeviceFeatureEntry entry, double& value) {
    return access(entry, Access::GetDoubleMin, "GetValueDoubleMin", [&](CGenAPINode& node) {
        value = node.GetDoubleMin();
        return Result::Success;
    });
}

Result DeviceFeature::GetValueDoubleMax(DeviceFeatureEntry entry, double& value) {
    return access(entry, Access::GetDoubleMax, "GetValueDoubleMax", [&](CGenAPINode& node) {
        value = node.GetDoubleMax();
        return Result::Success;
    });
}

Result DeviceFeature::GetValueDoubleInc(DeviceFeatureEntry entry, double& value) {
    return access(entry, Access::GetDoubleInc, "GetValueDoubleInc", [&](CGenAPINode& node) {
        value = node.HasInc() ? node.GetDoubleInc() : 0.0;
        return Result::Success;
    });
}

Result DeviceFeature::GetValueString(DeviceFeatureEntry entry, std::string& value) {
    return access(entry, Access::GetString, "GetValueString", [&](CGenAPINode& node) {
        value = node.GetValue();
        return Result::Success;
    });
}

Result DeviceFeature::SetValueString(DeviceFeatureEntry entry, const std::string& value) {
    return access(entry, Access::SetString, "SetValueString", [&](CGenAPINode& node) {
        node.SetValue(value);
        return Result::Success;
    });
}

}  // namespace corvid2
