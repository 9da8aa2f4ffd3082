// SPDX-License-Identifier: BSD-3-Clause
// The public InterfaceList and Interface: the interfaces of an open System as objects that keep
// their identity across refreshes, opened and closed on demand.
#include <string>
#include <vector>

#include "core/last_error.h"
#include "core/public_method.h"
#include "corvid2/device.h"
#include "modules/event_data.h"
#include "modules/info_query.h"
#include "modules/interface_data.h"
#include "modules/interfaceobj.h"
#include "modules/object_list.h"
#include "modules/producerobj.h"
#include "modules/system_data.h"
#include "nodes/node_views.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::EventAccess;
using CORVID2::Internal::InterfaceData;
using CORVID2::Internal::InterfaceEventControlData;
using CORVID2::Internal::InterfaceListData;

namespace CORVID2 {
namespace {

using InterfaceListCall = CListCall<CInterfaceListGuard, MapEntryTraits<Interface>>;

// The producer object of a System, held through the System's guard for the length of the call.
class SystemProducer {
public:
    SystemProducer(const MethodSite& site, System* system, Internal::SystemData* const* slot)
        : call_(site, kShared, system, slot) {}
    CProducerObj& operator*() const { return *call_->producer_; }
    CProducerObj* operator->() const { return call_->producer_; }

private:
    CPublicCall<CSystemGuard> call_;
};

}  // namespace

// ---- InterfaceList -------------------------------------------------------------------------

InterfaceList::InterfaceList(System* system)
    : data_(makeList<InterfaceListCall>(CORVID2_METHOD(InterfaceList, InterfaceList), this, system)) {}

void InterfaceList::Refresh(std::uint64_t timeout) {
    const MethodSite site = CORVID2_METHOD(InterfaceList, Refresh);
    InterfaceListCall list(site, this, &data_);
    System* system = list.data().parent_;
    SystemProducer producer(site, system, &system->data_);

    bool changed = false;
    list.call().check(producer->updateInterfaceList(&changed, timeout));
    if (!changed) return;
    std::vector<std::string> ids;
    list.call().check(
        listedIds([&](std::uint32_t* count) { return producer->GetNumInterfaces(count); },
                  [&](std::uint32_t index, std::string* id) { return producer->getInterfaceID(index, id); }, ids));
    // An open Interface outlives its id, as its object inside the System does, so that no
    // application pointer to it dangles; it goes at the first refresh after it was closed.
    const auto gone = followIds(
        list.entries(), ids, [system](const std::string& id) { return new Interface(system, id.c_str()); },
        [](Interface*) {}, [](Interface* iface) { return iface->data_->open_.load(); });
    for (Interface* iface : gone) delete iface;
}

CORVID2_DEFINE_LIST_METHODS(InterfaceList, InterfaceListCall)

// ---- Interface -----------------------------------------------------------------------------

Interface::Interface(System* system, const String& id) : INode(false), data_(new InterfaceData()) {
    data_->system_ = system;
    data_->id_ = id.get();
    data_->devices_ = new DeviceList(this);
    auto* events = new InterfaceEventControlData();
    EventAccess::control(this) = events;
    EventAccess::base(this) = events;
    registerHolder<CInterfaceGuard>(CORVID2_METHOD(Interface, Interface), this, data_);
    registerHolder<CInterfaceEventControlGuard>(CORVID2_METHOD(Interface, Interface),
                                                static_cast<Events::InterfaceEventControl*>(this), events);
}

Interface::~Interface() {
    const MethodSite site = CORVID2_METHOD(Interface, ~Interface);
    // The event thread ends and waiting fetches return before anything waits for their guards.
    InterfaceEventOps::end(site, *EventAccess::control(this), data_->interface_.load(std::memory_order_acquire),
                           CInterfaceObj::kPnPEventType);
    unregisterHolder<CInterfaceEventControlGuard>(site, static_cast<Events::InterfaceEventControl*>(this),
                                                  &EventAccess::control(this),
                                                  [](InterfaceEventControlData* events) { delete events; });
    unregisterHolder<CInterfaceGuard>(CORVID2_METHOD(Interface, ~Interface), this, &data_, [this](InterfaceData* data) {
        // Devices and features go before the interface closes beneath them.
        delete data->devices_;
        attachNodeSource(*this, nullptr);
        CInterfaceObj* iface = data->interface_;
        if (iface != nullptr && iface->isOpen()) iface->CloseInterface();
        delete data;
    });
}

void Interface::Open() {
    const MethodSite site = CORVID2_METHOD(Interface, Open);
    CPublicCall<CInterfaceGuard> call(site, kShared, this, &data_);
    System* system = call->system_;
    SystemProducer producer(site, system, &system->data_);
    CInterfaceObj* iface = nullptr;
    call.check(producer->getInterface(call->id_, &iface));
    call.check(iface->OpenInterface());
    call->interface_ = iface;
    call->open_ = true;
    attachNodeSource(*this, iface);
    traceInfo("%s; Open", iface->traceName().c_str());
}

void Interface::Close() {
    const MethodSite site = CORVID2_METHOD(Interface, Close);
    CPublicCall<CInterfaceGuard> call(site, kShared, this, &data_);
    {
        // The plug-and-play handler ends before any lock of the interface is taken.
        CPublicCall<CInterfaceEventControlGuard> events(
            site, kShared, static_cast<Events::InterfaceEventControl*>(this), &EventAccess::control(this));
        events.check(InterfaceEventOps::stop(site, *events));
    }
    call->devices_->clear();
    CInterfaceObj* iface = call->interface_;
    if (iface == nullptr) {
        // Closed already: the System's object of this id says so in its own words.
        System* system = call->system_;
        SystemProducer producer(site, system, &system->data_);
        call.check(producer->getInterface(call->id_, &iface));
    }
    attachNodeSource(*this, nullptr);
    call.check(iface->CloseInterface());
    call->interface_ = nullptr;
    call->open_ = false;
    traceInfo("%s; Close", iface->traceName().c_str());
}

bool Interface::IsOpen() {
    CPublicCall<CInterfaceGuard> call(CORVID2_METHOD(Interface, IsOpen), kShared, this, &data_);
    return call->open_;
}

String Interface::GetID() {
    CPublicCall<CInterfaceGuard> call(CORVID2_METHOD(Interface, GetID), kShared, this, &data_);
    traceInfo("%s; GetID; Interface Id: %s", call->id_.c_str(), call->id_.c_str());
    return call->id_.c_str();
}

System* Interface::GetParent() {
    CPublicCall<CInterfaceGuard> call(CORVID2_METHOD(Interface, GetParent), kShared, this, &data_);
    traceInfo("%s; GetParent; System* %p", call->id_.c_str(), static_cast<void*>(call->system_));
    return call->system_;
}

namespace {

// One interface information text: from the interface while it is open, from its System while it is
// closed, each with its own success line.
String interfaceInfo(Interface* self, InterfaceData* const* slot, const MethodSite& site,
                     GenTL::INTERFACE_INFO_CMD command, const char* label) {
    CPublicCall<CInterfaceGuard> call(site, kShared, self, slot);
    std::string text;
    const std::string closedOperation = std::string("GetInterface") + label;
    if (CInterfaceObj* iface = call->interface_) {
        call.check(traceFailedGetter(iface->getInfoString(command, text), iface->traceName(), site.label));
        traceInfo("%s; %s; Interface %s: %s", iface->traceName().c_str(), site.label, label, text.c_str());
    } else {
        System* system = call->system_;
        CProducerObj* producer = static_cast<Internal::SystemData*>(system->GetReserved())->producer_;
        call.check(traceFailedGetter(producer->getInterfaceInfoString(call->id_, command, text), producer->traceName(),
                                     closedOperation.c_str()));
        traceInfo("%s; GetInterface%s; TLProducer Interface%s: %s", producer->traceName().c_str(), label, label,
                  text.c_str());
    }
    return text.c_str();
}

}  // namespace

String Interface::GetDisplayName() {
    return interfaceInfo(this, &data_, CORVID2_METHOD(Interface, GetDisplayName), GenTL::INTERFACE_INFO_DISPLAYNAME,
                         "DisplayName");
}

String Interface::GetTLType() {
    return interfaceInfo(this, &data_, CORVID2_METHOD(Interface, GetTLType), GenTL::INTERFACE_INFO_TLTYPE, "TLType");
}

DeviceList* Interface::GetDevices() {
    const MethodSite site = CORVID2_METHOD(Interface, GetDevices);
    return callGuarded<CInterfaceGuard>(
        site, kShared, this, &data_,
        [&site](InterfaceData& data) {
            return data.open_ ? Result::Success : recordFailure(site, Result::NotInitialized, "Interface not opened.");
        },
        [](InterfaceData& data) { return data.devices_; });
}

void* Interface::GetReserved() {
    CPublicCall<CInterfaceGuard> call(CORVID2_METHOD(Interface, GetReserved), kShared, this, &data_);
    return &*call;
}

}  // namespace CORVID2
