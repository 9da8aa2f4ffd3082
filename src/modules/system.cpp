// SPDX-License-Identifier: BSD-3-Clause
// The public SystemList and System: the producers of the machine as objects that keep their
// identity across refreshes.
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/exceptions.h"
#include "core/last_error.h"
#include "core/public_method.h"
#include "corvid2/interface.h"
#include "modules/consumer_base.h"
#include "modules/info_query.h"
#include "modules/object_list.h"
#include "modules/producerobj.h"
#include "modules/system_data.h"
#include "nodes/node_views.h"
#include "platform/platform.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::SystemData;
using CORVID2::Internal::SystemListData;

namespace CORVID2 {
namespace {

// The one instance. Its mutex serialises creation and release; methods on the instance go
// through the list guard instead.
SystemList* ms_pInstance = nullptr;
std::mutex& instanceMutex() {
    static std::mutex m;
    return m;
}

// Restores the search-path variable to what it was when the library started.
bool restoreSearchPath() {
    auto& context = CConsumerBase::instance();
    const auto current = platform::getEnv(CConsumerBase::kSearchPathVariable);
    if (context.hadStartupSearchPath()) {
        if (current == context.startupSearchPath()) return true;
        return context.producers().setEnv(context.startupSearchPath().c_str());
    }
    return !current || platform::unsetEnv(CConsumerBase::kSearchPathVariable);
}

void releaseAtExit() { SystemList::ReleaseInstance(); }

// Where a system list entry keeps its id and its System; the list deletes only the Systems it made.
struct SystemEntryTraits {
    using Item = System;
    static const std::string& id(const SystemListData::Entry& entry) { return entry.key.id; }
    static System* item(const SystemListData::Entry& entry) { return entry.system; }
    static bool owned(const SystemListData::Entry& entry) { return entry.ownedByList; }
};
using SystemListCall = CListCall<CSystemListGuard, SystemEntryTraits>;

}  // namespace

// ---- SystemList ----------------------------------------------------------------------------

SystemList::SystemList() : data_(new SystemListData()) {
    registerHolder<CSystemListGuard>(CORVID2_METHOD(SystemList, SystemList), this, data_);
}

SystemList* SystemList::GetInstance() {
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (ms_pInstance == nullptr) {
        auto& context = CConsumerBase::instance();
        context.producers().setPathMode(false);
        if (CLibraryTrace::instance().enabledByEnableFile()) CLibraryTrace::instance().trace().setEnabled(true);
        static const bool registered = std::atexit(&releaseAtExit) == 0;
        (void)registered;
        ms_pInstance = new SystemList();
    }
    return ms_pInstance;
}

SystemList* SystemList::CreateInstanceFromPath(const String& path) {
    const MethodSite site = CORVID2_METHOD(SystemList, CreateInstanceFromPath);
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (ms_pInstance != nullptr)
        failAt(site, Result::ResourceInUse, "System List is already instantiated. Please use ReleaseInstance() first.");
    auto& context = CConsumerBase::instance();
    context.producers().setPathMode(true);
    if (!context.producers().setEnv(path.get())) throwIfFailed(site, Result::Error);
    static const bool registered = std::atexit(&releaseAtExit) == 0;
    (void)registered;
    ms_pInstance = new SystemList();
    return ms_pInstance;
}

void SystemList::ReleaseInstance() {
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (ms_pInstance == nullptr) return;
    delete ms_pInstance;
    ms_pInstance = nullptr;
    auto& context = CConsumerBase::instance();
    context.producers().destroyAll(false);
    CLibraryTrace::instance().trace().setEnabled(false);
    if (!restoreSearchPath()) throwIfFailed(CORVID2_METHOD(SystemList, ReleaseInstance), Result::Error);
}

void SystemList::Refresh() {
    CPublicCall<CSystemListGuard> call(CORVID2_METHOD(SystemList, Refresh), kShared, this, &data_);
    auto& producers = CConsumerBase::instance().producers();
    call.check(producers.UpdateTLProducerList());

    struct Found {
        CProducerKey key;
        CProducerObj* producer;
    };
    std::vector<Found> found;
    const auto count = static_cast<std::int64_t>(producers.size());
    for (std::int64_t index = 0; index < count; ++index) {
        // A producer kept only because its System is open is not found: that System goes once it
        // is closed.
        if (!producers.foundByLastSearch(static_cast<std::size_t>(index))) continue;
        CProducerObj* producer = nullptr;
        CProducerKey key;
        producers.LoadTLProducerByIndex(index, &producer, &key);
        if (producer == nullptr) continue;
        traceInfo("%s; Refresh; TLProducer Id: %s", producer->traceName().c_str(), key.id.c_str());
        found.push_back({key, producer});
    }

    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    auto& entries = call->entries_;
    for (const Found& f : found) {
        const bool known = std::any_of(entries.begin(), entries.end(),
                                       [&f](const SystemListData::Entry& e) { return e.key == f.key; });
        if (!known) entries.push_back({f.key, new System(System::FromList{}, f.producer, f.key.id.c_str()), true});
    }
    // A System whose producer was not found again goes, unless the application has it open.
    std::vector<System*> gone;
    for (auto it = entries.begin(); it != entries.end();) {
        const bool stillFound =
            std::any_of(found.begin(), found.end(), [&it](const Found& f) { return f.key == it->key; });
        if (!stillFound && it->ownedByList && !it->system->data_->open_) {
            gone.push_back(it->system);
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    for (System* system : gone) delete system;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SystemListData::Entry& a, const SystemListData::Entry& b) { return a.key < b.key; });
}

void SystemList::Add(System* system) {
    const MethodSite site = CORVID2_METHOD(SystemList, Add);
    CPublicCall<CSystemListGuard> call(site, kShared, this, &data_);
    if (system == nullptr) failAt(site, Result::InvalidParameter, "System is NULL");
    CPublicCall<CSystemGuard> systemCall(site, kShared, system, &system->data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    auto& entries = call->entries_;
    if (std::any_of(entries.begin(), entries.end(),
                    [system](const SystemListData::Entry& e) { return e.system == system; }))
        failAt(site, Result::InvalidParameter, "System already in SystemList");
    CProducerObj* producer = systemCall->producer_;
    std::string id, vendor, tlType;
    systemCall.check(producer->getInfoString(TL_INFO_ID, id));
    systemCall.check(producer->getInfoString(TL_INFO_VENDOR, vendor));
    systemCall.check(producer->getInfoString(TL_INFO_TLTYPE, tlType));
    producer->setVendor(vendor);
    const auto key = CProducerKey::make(producer->isOwnVendor(), CProducerKey::kOriginAdded, tlType, id);
    entries.push_back({key, system, false});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SystemListData::Entry& a, const SystemListData::Entry& b) { return a.key < b.key; });
}

CORVID2_DEFINE_LIST_METHODS(SystemList, SystemListCall)

// ---- System --------------------------------------------------------------------------------

System::System(const String& path) : INode(false), data_(new SystemData()) {
    const MethodSite site = CORVID2_METHOD(System, System);
    CProducerObj* producer = nullptr;
    const Result code = CConsumerBase::instance().producers().LoadStandAloneTLProducer(path.get(), &producer);
    if (code != Result::Success) {
        delete data_;
        throwIfFailed(site, code);
    }
    data_->producer_ = producer;
    data_->standAlone_ = true;
    data_->interfaces_ = new InterfaceList(this);
    registerHolder<CSystemGuard>(site, this, data_);
    data_->id_ = GetID().get();
}

System::System(FromList, void* producer, const String& id) : INode(false), data_(new SystemData()) {
    data_->producer_ = static_cast<CProducerObj*>(producer);
    data_->id_ = id.get();
    data_->interfaces_ = new InterfaceList(this);
    registerHolder<CSystemGuard>(CORVID2_METHOD(System, System), this, data_);
}

System::~System() {
    unregisterHolder<CSystemGuard>(CORVID2_METHOD(System, ~System), this, &data_, [this](SystemData* data) {
        // Out of the list first, so that nobody reaches a System that is being torn down.
        if (ms_pInstance != nullptr) {
            auto* list = ms_pInstance->data_;
            std::lock_guard<std::recursive_mutex> lock(list->mutex_);
            list->entries_.erase(std::remove_if(list->entries_.begin(), list->entries_.end(),
                                                [this](const SystemListData::Entry& e) { return e.system == this; }),
                                 list->entries_.end());
        }
        // Its Interfaces and features go before the producer can close beneath them.
        delete data->interfaces_;
        attachNodeSource(*this, nullptr);
        auto& producers = CConsumerBase::instance().producers();
        if (data->standAlone_)
            producers.UnloadStandAloneTLProducer(data->producer_);
        else if (data->producer_ != nullptr && data->producer_->isProducerLoaded())
            producers.UnloadTLProducer(data->producer_);
        delete data;
    });
}

namespace {

// One system information text, read through the System's guard, with its success trace line.
String infoText(System* system, SystemData* const* slot, const MethodSite& site, TL_INFO_CMD command,
                const char* label) {
    std::string text;
    return callGuarded<CSystemGuard>(
        site, kShared, system, slot,
        [&](SystemData& data) {
            return traceFailedGetter(data.producer_->getInfoString(command, text), data.producer_->traceName(),
                                     site.label);
        },
        [&](SystemData& data) {
            traceInfo("%s; %s; TLProducer %s: %s", data.producer_->traceName().c_str(), site.label, label,
                      text.c_str());
            return String(text.c_str());
        });
}

// As infoText, but a producer that cannot tell leaves a warning and `fallback` instead of failing.
String infoTextOr(System* system, SystemData* const* slot, const MethodSite& site, TL_INFO_CMD command,
                  std::string (*fallback)(const CProducerObj&)) {
    CPublicCall<CSystemGuard> call(site, kShared, system, slot);
    std::string text;
    if (call->producer_->getInfoString(command, text) != Result::Success) {
        std::string message;
        GetLastErrorText(message);
        traceWarning("%s; %s; %s", call->producer_->traceName().c_str(), site.label, message.c_str());
        text = fallback(*call->producer_);
    }
    return text.c_str();
}

}  // namespace

String System::GetID() { return infoText(this, &data_, CORVID2_METHOD(System, GetID), TL_INFO_ID, "Id"); }
String System::GetVendor() {
    return infoText(this, &data_, CORVID2_METHOD(System, GetVendor), TL_INFO_VENDOR, "Vendor");
}
String System::GetModel() { return infoText(this, &data_, CORVID2_METHOD(System, GetModel), TL_INFO_MODEL, "Model"); }
String System::GetVersion() {
    return infoText(this, &data_, CORVID2_METHOD(System, GetVersion), TL_INFO_VERSION, "Version");
}
String System::GetTLType() {
    return infoText(this, &data_, CORVID2_METHOD(System, GetTLType), TL_INFO_TLTYPE, "TLType");
}
String System::GetDisplayName() {
    return infoText(this, &data_, CORVID2_METHOD(System, GetDisplayName), TL_INFO_DISPLAYNAME, "DisplayName");
}
String System::GetFileName() {
    return infoTextOr(this, &data_, CORVID2_METHOD(System, GetFileName), TL_INFO_NAME,
                      [](const CProducerObj& p) { return p.path().filename().string(); });
}
String System::GetPathName() {
    return infoTextOr(this, &data_, CORVID2_METHOD(System, GetPathName), TL_INFO_PATHNAME,
                      [](const CProducerObj&) { return std::string(); });
}

void System::Open() {
    callGuarded<CSystemGuard>(
        CORVID2_METHOD(System, Open), kShared, this, &data_, [](SystemData& data) { return data.producer_->open(); },
        [this](SystemData& data) {
            data.open_ = true;
            attachNodeSource(*this, data.producer_);
            traceInfo("%s; Open", data.producer_->traceName().c_str());
        });
}

void System::Close() {
    CPublicCall<CSystemGuard> call(CORVID2_METHOD(System, Close), kShared, this, &data_);
    call->interfaces_->clear();
    attachNodeSource(*this, nullptr);
    call.check(call->producer_->close());
    call->open_ = false;
    traceInfo("%s; Close", call->producer_->traceName().c_str());
}

bool System::IsOpen() {
    CPublicCall<CSystemGuard> call(CORVID2_METHOD(System, IsOpen), kShared, this, &data_);
    return call->open_;
}

InterfaceList* System::GetInterfaces() {
    const MethodSite site = CORVID2_METHOD(System, GetInterfaces);
    return callGuarded<CSystemGuard>(
        site, kShared, this, &data_,
        [&site](SystemData& data) {
            return data.open_ ? Result::Success : recordFailure(site, Result::NotInitialized, "System not opened.");
        },
        [](SystemData& data) { return data.interfaces_; });
}

void* System::GetReserved() {
    CPublicCall<CSystemGuard> call(CORVID2_METHOD(System, GetReserved), kShared, this, &data_);
    return &*call;
}

}  // namespace CORVID2
