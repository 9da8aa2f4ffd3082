// SPDX-License-Identifier: BSD-3-Clause
// Public integer, float and string operations shared by every node of those families.
#include "value_nodes.h"

#include <cmath>
#include <cstdio>

namespace corvid2::genapi::detail {

std::string nodeName(const NodeXml& xml) {
    std::string name = xml.self.attribute("Name").value();
    size_t begin = name.find_first_not_of(" \t\r\n"), end = name.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : name.substr(begin, end - begin + 1);
}

ERepresentation parseRepresentation(const char* text, ERepresentation fallback) {
    static const std::pair<const char*, ERepresentation> kNames[] = {
        {"Linear", Linear},       {"Logarithmic", Logarithmic}, {"Boolean", Boolean},      {"PureNumber", PureNumber},
        {"HexNumber", HexNumber}, {"IPV4Address", IPV4Address}, {"MACAddress", MACAddress}};
    if (!text) return fallback;
    for (const auto& [name, value] : kNames) {
        if (std::strcmp(text, name) == 0) return value;
    }
    return fallback;
}

// ---- integers

gcstring IntegerBase::ToString(bool verify, bool ignoreCache) {
    MapGuard guard(*this);
    int64_t value = readInt(verify, ignoreCache);
    if (GetRepresentation() == HexNumber) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
        return buffer;
    }
    return std::to_string(value);
}

void IntegerBase::FromString(const gcstring& value, bool verify) { SetValue(parseIntegerText(value, *this), verify); }

bool IntegerBase::IsValueCacheValid() const {
    MapGuard guard(*this);
    return hasValidCache();
}

void IntegerBase::checkRange(int64_t value) {
    int64_t low = std::max(intMin(), imposedMin_);
    int64_t high = std::min(intMax(), imposedMax_);
    if (value < low || value > high) {
        CORVID2_NODE_THROW(OutOfRangeException, *this,
                           "value " + std::to_string(value) + " is outside [" + std::to_string(low) + ", " +
                               std::to_string(high) + "]");
    }
    int64_t inc = intInc();
    if (inc > 1 && (static_cast<uint64_t>(value) - static_cast<uint64_t>(low)) % static_cast<uint64_t>(inc) != 0) {
        CORVID2_NODE_THROW(OutOfRangeException, *this,
                           "value " + std::to_string(value) + " is not min " + std::to_string(low) +
                               " plus a multiple of the increment " + std::to_string(inc));
    }
}

void IntegerBase::SetValue(int64_t value, bool verify) {
    MapGuard guard(*this);
    checkWritable();
    checkRange(value);
    writeInt(value, verify);
}

int64_t IntegerBase::GetValue(bool verify, bool ignoreCache) {
    MapGuard guard(*this);
    return readInt(verify, ignoreCache);
}

int64_t IntegerBase::GetMin() {
    MapGuard guard(*this);
    return std::max(intMin(), imposedMin_);
}

int64_t IntegerBase::GetMax() {
    MapGuard guard(*this);
    return std::min(intMax(), imposedMax_);
}

EIncMode IntegerBase::GetIncMode() {
    MapGuard guard(*this);
    return validValueSet() ? listIncrement : fixedIncrement;
}

int64_t IntegerBase::GetInc() {
    MapGuard guard(*this);
    return intInc();
}

namespace {

// The items of a ValidValueSet ("1;2;4"), each parsed by `parse`, kept when `keep` says so.
template <class Values, class Parse, class Keep>
Values parseValueList(const std::string& text, Parse parse, Keep keep) {
    Values values;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find(';', begin);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(begin, end - begin);
        if (item.find_first_not_of(" \t\r\n") != std::string::npos) {
            const auto value = parse(item.c_str());
            if (keep(value)) values.push_back(value);
        }
        begin = end + 1;
    }
    return values;
}

}  // namespace

int64_autovector_t IntegerBase::GetListOfValidValues(bool bounded) {
    MapGuard guard(*this);
    return parseValueList<int64_autovector_t>(
        validValueSet().child_value(), [this](const char* item) { return parseInteger(item, name_, "ValidValueSet"); },
        [&](int64_t value) { return !bounded || (value >= GetMin() && value <= GetMax()); });
}

ERepresentation IntegerBase::GetRepresentation() {
    return parseRepresentation(xml_.text("Representation"), PureNumber);
}

gcstring IntegerBase::GetUnit() { return xml_.text("Unit", ""); }
void IntegerBase::ImposeMin(int64_t value) { imposedMin_ = value; }
void IntegerBase::ImposeMax(int64_t value) { imposedMax_ = value; }

// ---- floats

int64_t FloatBase::getInt(bool verify, bool ignoreCache) {
    double value = getFloat(verify, ignoreCache);
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) {
        CORVID2_NODE_THROW(OutOfRangeException, *this, "value " + formatFloat(value) + " does not fit an integer");
    }
    return std::llround(value);
}

gcstring FloatBase::ToString(bool verify, bool ignoreCache) {
    MapGuard guard(*this);
    return formatFloat(readFloat(verify, ignoreCache));
}

void FloatBase::FromString(const gcstring& value, bool verify) { SetValue(parseFloatText(value, *this), verify); }

bool FloatBase::IsValueCacheValid() const {
    MapGuard guard(*this);
    return hasValidCache();
}

void FloatBase::SetValue(double value, bool verify) {
    MapGuard guard(*this);
    checkWritable();
    double low = std::max(floatMin(), imposedMin_), high = std::min(floatMax(), imposedMax_);
    if (!(value >= low && value <= high)) {
        CORVID2_NODE_THROW(
            OutOfRangeException, *this,
            "value " + formatFloat(value) + " is outside [" + formatFloat(low) + ", " + formatFloat(high) + "]");
    }
    writeFloat(value, verify);
}

double FloatBase::GetValue(bool verify, bool ignoreCache) {
    MapGuard guard(*this);
    return readFloat(verify, ignoreCache);
}

double FloatBase::GetMin() {
    MapGuard guard(*this);
    return std::max(floatMin(), imposedMin_);
}

double FloatBase::GetMax() {
    MapGuard guard(*this);
    return std::min(floatMax(), imposedMax_);
}

bool FloatBase::HasInc() {
    MapGuard guard(*this);
    return hasIncrement();
}

EIncMode FloatBase::GetIncMode() {
    MapGuard guard(*this);
    return validValueSet() ? listIncrement : hasIncrement() ? fixedIncrement : noIncrement;
}

double FloatBase::GetInc() {
    MapGuard guard(*this);
    if (!hasIncrement()) CORVID2_NODE_THROW(AccessException, *this, "has no increment");
    return floatInc();
}

double_autovector_t FloatBase::GetListOfValidValues(bool bounded) {
    MapGuard guard(*this);
    return parseValueList<double_autovector_t>(
        validValueSet().child_value(), [this](const char* item) { return parseFloat(item, name_, "ValidValueSet"); },
        [&](double value) { return !bounded || (value >= GetMin() && value <= GetMax()); });
}

ERepresentation FloatBase::GetRepresentation() { return parseRepresentation(xml_.text("Representation"), PureNumber); }
gcstring FloatBase::GetUnit() { return xml_.text("Unit", ""); }

EDisplayNotation FloatBase::GetDisplayNotation() {
    std::string text = xml_.text("DisplayNotation", "Automatic");
    return text == "Fixed" ? fnFixed : text == "Scientific" ? fnScientific : fnAutomatic;
}

int64_t FloatBase::GetDisplayPrecision() {
    const char* text = xml_.text("DisplayPrecision");
    return text ? parseInteger(text, name_, "DisplayPrecision") : 6;
}

void FloatBase::ImposeMin(double value) { imposedMin_ = value; }
void FloatBase::ImposeMax(double value) { imposedMax_ = value; }

// ---- strings

bool StringBase::IsValueCacheValid() const {
    MapGuard guard(*this);
    return hasValidCache();
}

void StringBase::SetValue(const gcstring& value, bool verify) {
    MapGuard guard(*this);
    DepthGuard depth(*this);
    checkWritable();
    if (static_cast<int64_t>(value.size()) > maxLength()) {
        CORVID2_NODE_THROW(OutOfRangeException, *this,
                           "text of " + std::to_string(value.size()) + " bytes exceeds the maximum length " +
                               std::to_string(maxLength()));
    }
    setText(value, verify);
    if (verify) checkError();
    map_.changed(*this, false);
}

gcstring StringBase::GetValue(bool verify, bool ignoreCache) {
    MapGuard guard(*this);
    DepthGuard depth(*this);
    checkReadable();
    std::string text = getText(verify, ignoreCache);
    if (!errors_.empty()) checkError(ignoreCache);
    return text;
}

int64_t StringBase::GetMaxLength() {
    MapGuard guard(*this);
    return maxLength();
}

}  // namespace corvid2::genapi::detail
