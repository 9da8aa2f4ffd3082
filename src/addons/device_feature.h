// SPDX-License-Identifier: BSD-3-Clause
// IDeviceFeature and DeviceFeature: typed, range-checked access to the remote device's standard
// exposure, gain, white-balance, auto-feature region and image-geometry features.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/result_codes.h"
#include "features/genapi_node.h"

namespace corvid2 {

// The features a DeviceFeature knows. Each is filled at Init from its candidate names (the first
// one the remote device offers as an available node wins); the gain entries are read and written
// with "GainSelector" set, the auto-feature region entries with "AutoFeatureRegionSelector" set.
enum class DeviceFeatureEntry : std::uint32_t {
    ExposureTime,             // "ExposureTime", "ExposureTimeAbs"
    ExposureAuto,             // "ExposureAuto"
    ExposureAutoMinValue,     // "ExposureAutoMinValue"
    ExposureAutoMaxValue,     // "ExposureAutoMaxValue"
    Gain,                     // "Gain", "GainAbs"; gain selector
    GainAuto,                 // "GainAuto"; gain selector
    GainAutoMinValue,         // "GainAutoMinValue"; gain selector
    GainAutoMaxValue,         // "GainAutoMaxValue"; gain selector
    BalanceWhiteAuto,         // "BalanceWhiteAuto"
    ColorTransformationAuto,  // "ColorTransformationAuto"
    BrightnessAutoPriority,   // "BrightnessAutoPriority"
    BrightnessAutoNominalValue,
    AutoFeatureRegionMode,  // this and the next four: region selector
    AutoFeatureOffsetX,
    AutoFeatureOffsetY,
    AutoFeatureWidth,
    AutoFeatureHeight,
    OffsetX,
    OffsetY,
    Width,
    Height,
    // The two selectors themselves, so that a caller can read which entries they offer.
    GainSelector,
    AutoFeatureRegionSelector,
};
inline constexpr std::size_t kDeviceFeatureEntryCount = 23;

// The selectors that entries are accessed under.
enum class DeviceFeatureSelector : std::uint32_t { Gain, AutoFeatureRegion };

// What other parts of the library (the brightness controller) see of a device's features. Every
// operation returns Success, or the code of the failure it recorded as the calling thread's last
// error: NotAvailable for an entry the device lacks, InvalidParameter for an unknown entry or a
// value the write checks refuse, and for a failing node access the code of the wrapper's error
// class. Outputs are written only on success. All operations may be called from any thread.
class IDeviceFeature {
public:
    virtual ~IDeviceFeature() = default;

    // Whether the device offered the entry at the last Init.
    virtual bool IsAvailable(DeviceFeatureEntry entry) const = 0;
    // Whether the entry's node is an enumeration; false for a missing entry.
    virtual bool IsEnumeration(DeviceFeatureEntry entry) const = 0;
    // The name of the node chosen for the entry ("ExposureTimeAbs"), empty for a missing entry.
    virtual std::string FeatureName(DeviceFeatureEntry entry) const = 0;

    virtual Result GetValueInt(DeviceFeatureEntry entry, std::int64_t& value) = 0;
    // On an integer or float node, refused unless minimum <= value <= maximum and, for an
    // increment other than 0, value is a multiple of the increment (counted from 0, not from the
    // minimum). Other nodes (enumeration, boolean) take or refuse the value themselves.
    virtual Result SetValueInt(DeviceFeatureEntry entry, std::int64_t value) = 0;
    virtual Result GetValueIntMin(DeviceFeatureEntry entry, std::int64_t& value) = 0;
    virtual Result GetValueIntMax(DeviceFeatureEntry entry, std::int64_t& value) = 0;
    // A float without increment gives 0.
    virtual Result GetValueIntInc(DeviceFeatureEntry entry, std::int64_t& value) = 0;

    virtual Result GetValueDouble(DeviceFeatureEntry entry, double& value) = 0;
    // On an integer or float node, refused unless minimum <= value <= maximum.
    virtual Result SetValueDouble(DeviceFeatureEntry entry, double value) = 0;
    virtual Result GetValueDoubleMin(DeviceFeatureEntry entry, double& value) = 0;
    virtual Result GetValueDoubleMax(DeviceFeatureEntry entry, double& value) = 0;
    // A float without increment gives 0.
    virtual Result GetValueDoubleInc(DeviceFeatureEntry entry, double& value) = 0;

    // The value as the node's text (an enumeration's as the symbolic name of its entry).
    virtual Result GetValueString(DeviceFeatureEntry entry, std::string& value) = 0;
    virtual Result SetValueString(DeviceFeatureEntry entry, const std::string& value) = 0;

    // The selector entry set before each access to the entries of `selector` ("All" for the gain,
    // nothing for the region at first). An access selects it only when the selector offers it, and
    // puts the selector's previous value back afterwards; an empty text accesses the entries as
    // currently selected.
    virtual void SetSelection(DeviceFeatureSelector selector, const std::string& entry) = 0;
    virtual std::string GetSelection(DeviceFeatureSelector selector) const = 0;
};

// Owned by the device object, which calls Init with the remote device's flat view when it opens and
// with null when it closes. Between the two the entries point at wrappers of that view, which must
// outlive them. Lock: mutex_, held for Init and for each access (selector write and restore
// included); it is taken before the node map's own lock and never while another lock of the device
// is awaited inside it.
class DeviceFeature : public IDeviceFeature {
public:
    static constexpr char kTraceName[] = "DeviceFeature";

    DeviceFeature();

    // Clears every entry and, with a view, fills them again. Success, or Error when the view raised
    // something unexpected (entries stay empty then).
    Result Init(const genAPINodeMap* view);

    bool IsAvailable(DeviceFeatureEntry entry) const override;
    bool IsEnumeration(DeviceFeatureEntry entry) const override;
    std::string FeatureName(DeviceFeatureEntry entry) const override;

    Result GetValueInt(DeviceFeatureEntry entry, std::int64_t& value) override;
    Result SetValueInt(DeviceFeatureEntry entry, std::int64_t value) override;
    Result GetValueIntMin(DeviceFeatureEntry entry, std::int64_t& value) override;
    Result GetValueIntMax(DeviceFeatureEntry entry, std::int64_t& value) override;
    Result GetValueIntInc(DeviceFeatureEntry entry, std::int64_t& value) override;

    Result GetValueDouble(DeviceFeatureEntry entry, double& value) override;
    Result SetValueDouble(DeviceFeatureEntry entry, double value) override;
    Result GetValueDoubleMin(DeviceFeatureEntry entry, double& value) override;
    Result GetValueDoubleMax(DeviceFeatureEntry entry, double& value) override;
    Result GetValueDoubleInc(DeviceFeatureEntry entry, double& value) override;

    Result GetValueString(DeviceFeatureEntry entry, std::string& value) override;
    Result SetValueString(DeviceFeatureEntry entry, const std::string& value) override;

    void SetSelection(DeviceFeatureSelector selector, const std::string& entry) override;
    std::string GetSelection(DeviceFeatureSelector selector) const override;

private:
    // The kinds of access, named in failure lines.
    enum class Access {
        SetInt,
        GetInt,
        GetIntMin,
        GetIntMax,
        GetIntInc,
        SetDouble,
        GetDouble,
        GetDoubleMin,
        GetDoubleMax,
        GetDoubleInc,
        SetString,
        GetString
    };
    struct Entry {
        CGenAPINode* node = nullptr;
        CGenAPINode* selector = nullptr;
        const std::string* selection = nullptr;  // one of selections_, with selector only
    };

    static const char* accessName(Access access);
    // Runs `operation(node)` on the entry with its selector set, under the lock. The operation
    // returns a Result of its own (the write checks) or raises the wrapper's exception.
    template <class Operation>
    Result access(DeviceFeatureEntry entry, Access kind, const char* method, Operation&& operation);
    void clearEntries();

    mutable std::mutex mutex_;
    std::array<Entry, kDeviceFeatureEntryCount> entries_;
    std::array<std::string, 2> selections_;  // by DeviceFeatureSelector
};

}  // namespace corvid2
