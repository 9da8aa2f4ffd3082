// SPDX-License-Identifier: BSD-3-Clause
// DeviceColorMatrix: finding the matrix entries among the selector's entries, and reading and
// writing them one selection at a time.
#include "addons/device_color_matrix.h"

#include <exception>

#include "core/last_error.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {

constexpr char kSelectorName[] = "ColorTransformationValueSelector";
constexpr char kValueName[] = "ColorTransformationValue";
constexpr char kResetName[] = "ColorTransformationResetToFactoryList";

// "Gain" and two digits, both below 3: the entry of that row and column.
bool matrixPosition(const std::string& symbolic, int& row, int& column) {
    if (symbolic.size() != 6 || symbolic.compare(0, 4, "Gain") != 0) return false;
    const char r = symbolic[4];
    const char c = symbolic[5];
    if (r < '0' || r > '2' || c < '0' || c > '2') return false;
    row = r - '0';
    column = c - '0';
    return true;
}

}  // namespace

void DeviceColorMatrix::clear() {
    selector_ = nullptr;
    value_ = nullptr;
    resetToFactoryList_ = nullptr;
    for (auto& row : entries_) row.fill(std::string());
    mask_ = 0;
}

Result DeviceColorMatrix::Init(const genAPINodeMap* view) {
    traceInfo("%s; Init; called;", kTraceName);
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    if (view == nullptr) return Result::Success;
    try {
        selector_ = view->find(kSelectorName);
        value_ = view->find(kValueName);
        resetToFactoryList_ = view->find(kResetName);
        if (selector_ != nullptr && selector_->GetInterface() == "IEnumeration") {
            for (const auto& [symbolic, entry] : selector_->GetEnumNodeList()) {
                int row = 0;
                int column = 0;
                if (!matrixPosition(symbolic, row, column)) continue;
                entries_[row][column] = symbolic;
                mask_ |= 1u << (row * 3 + column);
            }
        }
    } catch (const std::exception& e) {
        clear();
        return SetLastError(Result::Error, kTraceName, "Init", "Unexpected exception (%s);", e.what());
    } catch (...) {
        clear();
        return SetLastError(Result::Error, kTraceName, "Init", "Unexpected exception (%s);", "unknown");
    }
    return Result::Success;
}

bool DeviceColorMatrix::supportedLocked() const {
    return selector_ != nullptr && value_ != nullptr && mask_ == kAllEntries;
}

bool DeviceColorMatrix::Supported() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return supportedLocked();
}

std::uint32_t DeviceColorMatrix::Mask() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mask_;
}

template <class Step>
Result DeviceColorMatrix::forEachEntry(const char* method, Step&& step) {
    if (!supportedLocked())
        return SetLastError(Result::NotAvailable, kTraceName, method, "Color matrix not supported.");
    std::string previous;
    bool restore = false;
    Result result = Result::Success;
    try {
        previous = selector_->GetValue();
        restore = true;
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                selector_->SetValue(entries_[row][column]);
                step(row, column);
            }
        }
        restore = false;
        selector_->SetValue(previous);
    } catch (const CGenAPIException& e) {
        result = SetLastError(ErrorCodeFromText(e.className().c_str()), kTraceName, method, "failed.");
    } catch (...) {
        result = SetLastError(Result::Error, kTraceName, method, "Unexpected error.");
    }
    if (restore) {
        // The failure is what the caller needs to hear about; a selector that will not go back is
        // only worth a line.
        try {
            selector_->SetValue(previous);
        } catch (const std::exception& e) {
            traceWarning("%s; %s; selector not restored (%s);", kTraceName, method, e.what());
        }
    }
    return result;
}

Result DeviceColorMatrix::Get(double matrix[3][3]) {
    static constexpr char kMethod[] = "Get";
    if (matrix == nullptr) return SetLastError(Result::InvalidParameter, kTraceName, kMethod, "missing parameter.");
    std::lock_guard<std::mutex> lock(mutex_);
    double values[3][3] = {};
    const Result result =
        forEachEntry(kMethod, [&](int row, int column) { values[row][column] = value_->GetDouble(); });
    if (result != Result::Success) return result;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) matrix[row][column] = values[row][column];
    }
    return Result::Success;
}

Result DeviceColorMatrix::Set(const double matrix[3][3]) {
    static constexpr char kMethod[] = "Set";
    if (matrix == nullptr) return SetLastError(Result::InvalidParameter, kTraceName, kMethod, "missing parameter.");
    std::lock_guard<std::mutex> lock(mutex_);
    return forEachEntry(kMethod, [&](int row, int column) {
        double value = matrix[row][column];
        const double minimum = value_->GetDoubleMin();
        const double maximum = value_->GetDoubleMax();
        // Written so that NaN counts as out of range too; it is limited to the minimum.
        if (!(value >= minimum && value <= maximum)) {
            traceWarning("%s; Set/%i; ColorGain value out of range and will be limited;", kTraceName, row * 3 + column);
            value = value > maximum ? maximum : minimum;
        }
        value_->SetDouble(value);
    });
}

}  // namespace corvid2
