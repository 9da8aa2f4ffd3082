// SPDX-License-Identifier: BSD-3-Clause
// The public Polarizer.
#include "corvid2/polarizer.h"

#include <memory>
#include <string>

#include "core/public_method.h"
#include "corvid2/device.h"
#include "corvid2/exceptions.h"
#include "corvid2/node.h"
#include "imaging/image_data.h"
#include "imaging/polarizerobj.h"

using namespace corvid2;
using CORVID2::Internal::ImageData;
using CORVID2::Internal::ImagingAccess;

namespace CORVID2 {
namespace Internal {

struct PolarizerData {
    CPolarizerObj* polarizer_ = nullptr;  // owned
    CorvidObjectAccessControl access_;
};

}  // namespace Internal

namespace {

using Internal::PolarizerData;
using CPolarizerGuard = CHolderGuard<RegistryKind::Polarizer, PolarizerData>;

// For each channel in turn: ADOLP, Intensity, POL, UNPOL, AOP, DOLP, POL0, POL45, POL90, POL135, POLMIN, POLMAX.
struct FormatList {
    Polarizer::Formats codes[Polarizer::formatlist::kCount] = {};
    constexpr FormatList() {
        constexpr Polarizer::Formats kOrder[] = {Polarizer::ADOLP,  Polarizer::Intensity, Polarizer::POL,
                                                 Polarizer::UNPOL,  Polarizer::AOP,       Polarizer::DOLP,
                                                 Polarizer::POL0,   Polarizer::POL45,     Polarizer::POL90,
                                                 Polarizer::POL135, Polarizer::POLMIN,    Polarizer::POLMAX};
        constexpr std::size_t kPerChannel = sizeof kOrder / sizeof kOrder[0];
        for (std::size_t index = 0; index < Polarizer::formatlist::kCount; ++index)
            codes[index] = kOrder[index % kPerChannel] | static_cast<Polarizer::Formats>(index / kPerChannel) << 8;
    }
};
constexpr FormatList kFormatList;

// Runs `operation(polarizer)` on the object behind the Polarizer, throwing its failure.
template <class Operation>
void withPolarizer(const MethodSite& site, CallShape shape, Polarizer* self, PolarizerData* const* slot,
                   Operation&& operation) {
    callGuarded<CPolarizerGuard>(site, shape, self, slot,
                                 [&](PolarizerData& data) { return operation(*data.polarizer_); });
}

// The object behind an Image, held exclusively while a result is delivered into it.
template <class Operation>
Result withImage(const MethodSite& site, Image* image, Operation&& operation) {
    if (image == nullptr) return recordFailure(site, Result::InvalidParameter, "image missing");
    CImageGuard guard(site.name);
    ImageData* data = nullptr;
    try {
        data = guard.Acquire(image, ImagingAccess::slot(image), AcquireMode::Exclusive);
    } catch (const Exceptions::ObjectInvalidException&) {
        return recordFailure(site, Result::InvalidParameter, "image missing");
    }
    return operation(data->image_);
}

}  // namespace

const Polarizer::Formats& Polarizer::formatlist::const_iterator::operator*() const {
    return kFormatList.codes[position_];
}

Polarizer::Polarizer() : data_(new PolarizerData()) {
    const MethodSite site = CORVID2_METHOD(Polarizer, Polarizer);
    std::unique_ptr<CPolarizerObj> polarizer;
    if (CPolarizerObj::create(polarizer) != Result::Success) {
        delete data_;
        data_ = nullptr;
        throwRecorded(site, Result::NotAvailable);
    }
    data_->polarizer_ = polarizer.release();
    registerHolder<CPolarizerGuard>(site, this, data_);
}

Polarizer::~Polarizer() {
    unregisterHolder<CPolarizerGuard>(CORVID2_METHOD(Polarizer, ~Polarizer), this, &data_, [](PolarizerData* data) {
        delete data->polarizer_;
        delete data;
    });
}

bool Polarizer::IsPolarized(Device* device, bool* isColour) {
    const MethodSite site = CORVID2_METHOD(Polarizer, IsPolarized);
    if (device == nullptr) failAt(site, Result::InvalidParameter, "device missing");
    if (isColour != nullptr) *isColour = false;
    std::string component, pixelFormat;
    try {
        component = device->GetRemoteNode("ComponentSelector")->GetValue().get();
        pixelFormat = device->GetRemoteNode("PixelFormat")->GetValue().get();
    } catch (const Exceptions::InvalidParameterException&) {
        return false;  // a camera without these features is no polarization camera
    }
    if (component != "PolarizedRaw") return false;
    bool colour = false;
    if (polarizedFormatOf(pixelFormat, &colour) == nullptr) return false;
    if (isColour != nullptr) *isColour = colour;
    return true;
}

bool Polarizer::IsFormatAvailable(Formats format, bool colour) {
    PolarizerFormat decoded;
    if (!decodePolarizerFormat(format, &decoded)) {
        SetLastError(Result::InvalidParameter, "CPolarizerObj", "CPolarizerObj::IsComponentAvailable",
                     "invalid parameter");
        return false;
    }
    return polarizerComponentAvailable(decoded, colour);
}

String Polarizer::GetFormatString(Formats format) {
    const MethodSite site = CORVID2_METHOD(Polarizer, GetFormatString);
    PolarizerFormat decoded;
    if (!decodePolarizerFormat(format, &decoded)) failAt(site, Result::InvalidParameter, "format invalid");
    static constexpr const char* kChannels[] = {"", " R", " G", " B"};
    return (std::string(polarizerComponentName(decoded.component)) + kChannels[decoded.channel]).c_str();
}

void Polarizer::ReadCalibrationData(Device* device) {
    withPolarizer(CORVID2_METHOD(Polarizer, ReadCalibrationData), kShared, this, &data_,
                  [&](CPolarizerObj& polarizer) { return polarizer.readCalibration(device); });
}

void Polarizer::Enable(Formats format, bool enable) {
    withPolarizer(CORVID2_METHOD(Polarizer, Enable), kShared, this, &data_,
                  [&](CPolarizerObj& polarizer) { return polarizer.enable(format, enable, false); });
}

void Polarizer::EnableSingleFormat(Formats format) {
    withPolarizer(CORVID2_METHOD(Polarizer, EnableSingleFormat), kShared, this, &data_,
                  [&](CPolarizerObj& polarizer) { return polarizer.enable(format, true, true); });
}

void Polarizer::EnableInterpolation(bool enable) {
    withPolarizer(CORVID2_METHOD(Polarizer, EnableInterpolation), kShared, this, &data_, [&](CPolarizerObj& polarizer) {
        polarizer.setInterpolation(enable);
        return Result::Success;
    });
}

void Polarizer::Initialize(Buffer* buffer) {
    withPolarizer(CORVID2_METHOD(Polarizer, Initialize), kShared, this, &data_,
                  [&](CPolarizerObj& polarizer) { return polarizer.initialize(buffer); });
}

void Polarizer::Get(Formats format, Image* image) {
    const MethodSite site = CORVID2_METHOD(Polarizer, Get);
    withPolarizer(site, kExclusive, this, &data_, [&](CPolarizerObj& polarizer) {
        return withImage(site, image, [&](CImageObj* target) { return polarizer.get(format, target, false); });
    });
}

void Polarizer::GetByPredefinedImage(Formats format, Image* image) {
    const MethodSite site = CORVID2_METHOD(Polarizer, GetByPredefinedImage);
    withPolarizer(site, kExclusive, this, &data_, [&](CPolarizerObj& polarizer) {
        return withImage(site, image, [&](CImageObj* target) { return polarizer.get(format, target, true); });
    });
}

void Polarizer::SetMaxThreads(unsigned int threads) {
    withPolarizer(CORVID2_METHOD(Polarizer, SetMaxThreads), kShared, this, &data_,
                  [&](CPolarizerObj& polarizer) { return polarizer.setConcurrentThreads(threads); });
}

}  // namespace CORVID2
