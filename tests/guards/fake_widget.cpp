// SPDX-License-Identifier: BSD-3-Clause
// The fake public class's methods, each written in the library's one public-method shape.
#include "fake_widget.h"

#include <cstdio>
#include <new>

#include "core/last_error.h"
#include "core/public_method.h"
#include "trace/trace.h"

namespace guards_test {

Result FakeWidgetObj::getValue(int& value) {
    ++calls_;
    value = value_;
    return Result::Success;
}

Result FakeWidgetObj::setValue(int value) {
    ++calls_;
    if (value < 0)
        return SetLastError(Result::InvalidParameter, "FakeWidgetObj", "setValue", "Invalid parameter, value %d",
                            value);
    value_ = value;
    return Result::Success;
}

namespace {

// The method's own case of a wrapper whose module is not open.
auto notOpen(const FakeWidgetData& data, const char* method) {
    return [&data, method] {
        return SetLastError(Result::NotInitialized, data.traceName_, method, "The widget is not open.");
    };
}

}  // namespace

FakeWidget::FakeWidget(FakeWidgetObj* object, void* holderStorage)
    : data_(holderStorage ? new (holderStorage) FakeWidgetData : new FakeWidgetData), ownsStorage_(!holderStorage) {
    data_->object_ = object;
    std::snprintf(data_->traceName_, sizeof data_->traceName_, "Widget_%p", static_cast<void*>(this));
    registerHolder<CFakeWidgetGuard>(CORVID2_METHOD(FakeWidget, FakeWidget), this, data_);
}

FakeWidget::~FakeWidget() { destroyBehind(); }

void FakeWidget::destroyBehind() {
    unregisterHolder<CFakeWidgetGuard>(CORVID2_METHOD(FakeWidget, ~FakeWidget), this, &data_,
                                       [this](FakeWidgetData* data) {
                                           if (ownsStorage_)
                                               delete data;
                                           else
                                               data->~FakeWidgetData();
                                       });
}

int FakeWidget::GetValue() {
    constexpr auto site = CORVID2_METHOD(FakeWidget, GetValue);
    int value = 0;
    return callGuarded<CFakeWidgetGuard>(
        site, kShared, this, &data_,
        [&](FakeWidgetData& data) {
            return withInternal<CFakeWidgetObjGuard>(
                site, &data.object_, [&](FakeWidgetObj& object) { return object.getValue(value); },
                notOpen(data, "GetValue"));
        },
        [&](FakeWidgetData& data) {
            traceInfo("%s; GetValue; %d", data.traceName_, value);
            return value;
        });
}

void FakeWidget::SetValue(int value) {
    constexpr auto site = CORVID2_METHOD(FakeWidget, SetValue);
    callGuarded<CFakeWidgetGuard>(site, kSharedChecked, this, &data_, [&](FakeWidgetData& data) {
        return withInternal<CFakeWidgetObjGuard>(
            site, &data.object_, [&](FakeWidgetObj& object) { return object.setValue(value); },
            notOpen(data, "SetValue"));
    });
}

void FakeWidget::Reset() {
    constexpr auto site = CORVID2_METHOD(FakeWidget, Reset);
    // The longer form, for bodies of more than one step.
    CPublicCall<CFakeWidgetGuard> call(site, kExclusiveChecked, this, &data_);
    call.check(withInternal<CFakeWidgetObjGuard>(
        site, &call->object_, [](FakeWidgetObj& object) { return object.setValue(0); }, notOpen(*call, "Reset")));
    traceInfo("%s; Reset", call->traceName_);
}

void registerInternal(FakeWidgetObj* object) { CFakeWidgetObjGuard("FakeWidgetObj::create").Register(nullptr, object); }

void unregisterInternal(FakeWidgetObj* object) {
    CFakeWidgetObjGuard("FakeWidgetObj::destroy").Unregister(nullptr, &object);
}

}  // namespace guards_test
