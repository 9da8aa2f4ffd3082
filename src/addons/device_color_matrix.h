// SPDX-License-Identifier: BSD-3-Clause
// DeviceColorMatrix: reads and writes the remote device's 3x3 color transformation matrix through
// its value selector, for Device::GetColorMatrix and Device::SetColorMatrix.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/result_codes.h"
#include "features/genapi_node.h"

namespace corvid2 {

// Owned by the device object, which calls Init with the remote device's flat view when it opens and
// with null when it closes; the wrappers it keeps in between belong to that view. The matrix is
// supported when the view has "ColorTransformationValueSelector" (an enumeration) and
// "ColorTransformationValue" and the selector offers all nine entries "Gain00" to "Gain22".
// Lock: mutex_, held for Init, Get and Set, selector writes included; taken before the node map's
// own lock.
class DeviceColorMatrix {
public:
    static constexpr char kTraceName[] = "DeviceColorMatrix";
    // The mask of a selector that offers all nine entries: bit row*3+column per entry.
    static constexpr std::uint32_t kAllEntries = 0x1FF;

    // Forgets the nodes and, with a view, takes them again and reads the selector's entries.
    // Success, or Error when the view raised something unexpected (nothing is kept then).
    Result Init(const genAPINodeMap* view);

    // Reads the nine values, row by row; `matrix` is written only on success.
    // Failures: InvalidParameter "missing parameter." for null; NotAvailable "Color matrix not
    // supported."; a failing node access "failed." with the code of the wrapper's error class;
    // Error "Unexpected error." for anything else. The selector's value from before the call is
    // put back in every case where the selector could be read.
    Result Get(double matrix[3][3]);
    // Writes the nine values; a value outside the range of its entry is limited to that range (with
    // a warning line). The same failures as Get; entries written before a failure keep their values.
    Result Set(const double matrix[3][3]);

    bool Supported() const;
    // Which of the nine entries the selector offers.
    std::uint32_t Mask() const;

private:
    // Runs `step(row, column)` for each entry with it selected, then restores the selector.
    template <class Step>
    Result forEachEntry(const char* method, Step&& step);
    bool supportedLocked() const;
    void clear();

    mutable std::mutex mutex_;
    CGenAPINode* selector_ = nullptr;
    CGenAPINode* value_ = nullptr;
    // Kept for the change notification of a factory reset, which the node wrappers cannot deliver
    // yet; Get and Set do not need it.
    CGenAPINode* resetToFactoryList_ = nullptr;
    std::array<std::array<std::string, 3>, 3> entries_;  // symbolic names of the selector's entries
    std::uint32_t mask_ = 0;
};

}  // namespace corvid2
