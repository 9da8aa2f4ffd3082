// SPDX-License-Identifier: BSD-3-Clause
// A small public class of the usual make (wrapper, heap holder, internal object) to exercise guards.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/object_guard.h"

namespace guards_test {

using namespace corvid2;

// The internal object: no record of its own, an identity and a user counter, root registry.
struct FakeWidgetObj {
    const ObjectIdentity identity_ = nextObjectIdentity();
    std::atomic<std::uint32_t> users_{0};
    int value_ = 0;
    int calls_ = 0;

    Result getValue(int& value);
    Result setValue(int value);  // negative values are refused with InvalidParameter
};

// The holder behind a wrapper; the registry names it "DeviceData" in messages.
struct FakeWidgetData {
    CorvidObjectAccessControl access_;
    FakeWidgetObj* object_ = nullptr;
    char traceName_[32] = {};
};

using CFakeWidgetGuard = CObjectGuard<RegistryKind::DeviceData, FakeWidgetData, RecordMember<FakeWidgetData>>;
using CFakeWidgetObjGuard =
    CObjectGuard<RegistryKind::CDeviceObjPtr, FakeWidgetObj,
                 IdentityAndCounter<FakeWidgetObj, &FakeWidgetObj::identity_, &FakeWidgetObj::users_>>;

// Public wrapper. The holder may be built in storage the test provides, so that a new holder can
// be made to take the address of a destroyed one.
class FakeWidget {
public:
    explicit FakeWidget(FakeWidgetObj* object, void* holderStorage = nullptr);
    ~FakeWidget();
    FakeWidget(const FakeWidget&) = delete;
    FakeWidget& operator=(const FakeWidget&) = delete;

    int GetValue();            // shared, ignores write locks
    void SetValue(int value);  // shared, refused under another thread's write lock
    void Reset();              // exclusive, refused under another thread's write lock

    // What a list update does to the object behind a wrapper that the application still holds; a
    // second time (or the destructor after it) finds the holder gone and only traces a warning.
    void destroyBehind();
    FakeWidgetData* const* dataSlot() const { return &data_; }

private:
    FakeWidgetData* data_;
    bool ownsStorage_;
};

// Registers and unregisters an internal object the way its creator and destroyer would.
void registerInternal(FakeWidgetObj* object);
void unregisterInternal(FakeWidgetObj* object);

}  // namespace guards_test
