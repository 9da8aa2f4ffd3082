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

[[noreturn]] void throwInvalidParameter(const char* method, const std::string& message) {
    SetLastError(Result::InvalidParameter, "SystemList", method, "%s", message.c_str());
    ThrowWithText(Result::InvalidParameter, __FILE__, __LINE__, method, message.c_str());
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

// Where a system list entry keeps its id and its System.
struct SystemEntryTraits {
    static const std::string& id(const SystemListData::Entry& entry) { return entry.key.id; }
    static System* item(const SystemListData::Entry& entry) { return entry.system; }
};
using SystemListCall = CListCall<CSystemListGuard, SystemEntryTraits>;

}  // namespace

// ---- SystemList ----------------------------------------------------------------------------

SystemList::SystemList() : data_(new SystemListData()) {
    CSystemListGuard guard("CORVID2::SystemList::SystemList");
    guard.Register(this, data_);
}

SystemList::~SystemList() {
    try {
        CSystemListGuard guard("CORVID2::SystemList::~SystemList");
        guard.Unregister(this, &data_);
    } catch (const Exceptions::ObjectInvalidException&) {
        traceWarning("SystemList; ~SystemList; Object invalid.");
    }
    // Taken out first: a System leaving takes itself out of the list it finds.
    auto entries = std::move(data_->entries_);
    data_->entries_.clear();
    for (auto& entry : entries)
        if (entry.ownedByList) delete entry.system;
    delete data_;
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
    static constexpr char kMethod[] = "CORVID2::SystemList::CreateInstanceFromPath";
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (ms_pInstance != nullptr) {
        SetLastError(Result::ResourceInUse, "SystemList", kMethod,
                     "System List is already instantiated. Please use ReleaseInstance() first.");
        ThrowForCode(Result::ResourceInUse, __FILE__, __LINE__, kMethod);
    }
    auto& context = CConsumerBase::instance();
    context.producers().setPathMode(true);
    if (!context.producers().setEnv(path.get())) ThrowForCode(Result::Error, __FILE__, __LINE__, kMethod);
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
    if (!restoreSearchPath()) ThrowForCode(Result::Error, __FILE__, __LINE__, "CORVID2::SystemList::ReleaseInstance");
}

void SystemList::Refresh() {
    CPublicCall<CSystemListGuard> call(CORVID2_METHOD("CORVID2::SystemList::Refresh"), kShared, this, &data_);
    auto& producers = CConsumerBase::instance().producers();
    call.check(producers.UpdateTLProducerList());

    struct Found {
        CProducerKey key;
        CProducerObj* producer;
    };
    std::vector<Found> found;
    const auto count = static_cast<std::int64_t>(producers.size());
    for (std::int64_t index = 0; index < count; ++index) {
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
    static constexpr char kMethod[] = "CORVID2::SystemList::Add";
    CPublicCall<CSystemListGuard> call(CORVID2_METHOD(kMethod), kShared, this, &data_);
    if (system == nullptr) throwInvalidParameter(kMethod, "System is NULL");
    CPublicCall<CSystemGuard> systemCall(CORVID2_METHOD(kMethod), kShared, system, &system->data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    auto& entries = call->entries_;
    if (std::any_of(entries.begin(), entries.end(),
                    [system](const SystemListData::Entry& e) { return e.system == system; }))
        throwInvalidParameter(kMethod, "System already in SystemList");
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

SystemList::iterator SystemList::begin() { return iterator(this, 0); }
SystemList::iterator SystemList::end() { return iterator(this, size()); }

SystemList::iterator SystemList::find(const String& id) {
    SystemListCall list(CORVID2_METHOD("CORVID2::SystemList::find"), this, &data_, "SystemList");
    return iterator(this, list.position(id));
}

System* SystemList::operator[](const String& id) {
    return SystemListCall(CORVID2_METHOD("CORVID2::SystemList::operator[]"), this, &data_, "SystemList").byId(id);
}

System* SystemList::operator[](std::size_t index) {
    return SystemListCall(CORVID2_METHOD("CORVID2::SystemList::operator[]"), this, &data_, "SystemList").byIndex(index);
}

std::size_t SystemList::size() {
    return SystemListCall(CORVID2_METHOD("CORVID2::SystemList::size"), this, &data_, "SystemList").size();
}

void SystemList::clear() {
    SystemListCall list(CORVID2_METHOD("CORVID2::SystemList::clear"), this, &data_, "SystemList");
    for (auto& entry : list.takeAll())
        if (entry.ownedByList) delete entry.system;
}

// ---- System --------------------------------------------------------------------------------

System::System(const String& path) : INode(false), data_(new SystemData()) {
    static constexpr char kMethod[] = "CORVID2::System::System";
    CProducerObj* producer = nullptr;
    const Result code = CConsumerBase::instance().producers().LoadStandAloneTLProducer(path.get(), &producer);
    if (code != Result::Success) {
        delete data_;
        ThrowForCode(code, __FILE__, __LINE__, kMethod);
    }
    data_->producer_ = producer;
    data_->standAlone_ = true;
    data_->interfaces_ = new InterfaceList(this);
    CSystemGuard guard(kMethod);
    guard.Register(this, data_);
    data_->id_ = GetID().get();
}

System::System(FromList, void* producer, const String& id) : INode(false), data_(new SystemData()) {
    data_->producer_ = static_cast<CProducerObj*>(producer);
    data_->id_ = id.get();
    data_->interfaces_ = new InterfaceList(this);
    CSystemGuard guard("CORVID2::System::System");
    guard.Register(this, data_);
}

System::~System() {
    SystemData* data = data_;
    try {
        CSystemGuard guard("CORVID2::System::~System");
        guard.Unregister(this, &data_);
    } catch (const Exceptions::ObjectInvalidException&) {
        traceWarning("System; ~System; Object invalid.");
        return;
    }
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
}

namespace {

// One system information text, read through the System's guard, with its success trace line.
String infoText(System* system, SystemData* const* slot, const MethodSite& site, TL_INFO_CMD command,
                const char* operation, const char* label) {
    std::string text;
    return callGuarded<CSystemGuard>(
        site, kShared, system, slot,
        [&](SystemData& data) {
            return traceFailedGetter(data.producer_->getInfoString(command, text), data.producer_->traceName(),
                                     operation);
        },
        [&](SystemData& data) {
            traceInfo("%s; %s; TLProducer %s: %s", data.producer_->traceName().c_str(), operation, label, text.c_str());
            return String(text.c_str());
        });
}

// As infoText, but a producer that cannot tell leaves a warning and `fallback` instead of failing.
String infoTextOr(System* system, SystemData* const* slot, const MethodSite& site, TL_INFO_CMD command,
                  const char* operation, std::string (*fallback)(const CProducerObj&)) {
    CPublicCall<CSystemGuard> call(site, kShared, system, slot);
    std::string text;
    if (call->producer_->getInfoString(command, text) != Result::Success) {
        std::string message;
        GetLastErrorText(message);
        traceWarning("%s; %s; %s", call->producer_->traceName().c_str(), operation, message.c_str());
        text = fallback(*call->producer_);
    }
    return text.c_str();
}

}  // namespace

String System::GetID() {
    return infoText(this, &data_, CORVID2_METHOD("CORVID2::System::GetID"), TL_INFO_ID, "GetID", "Id");
}
String System::GetVendor() {
    return infoText(this, &data_, CORVID2_METHOD("CORVID2::System::GetVendor"), TL_INFO_VENDOR, "GetVendor", "Vendor");
}
String System::GetModel() {
    return infoText(this, &data_, CORVID2_METHOD("CORVID2::System::GetModel"), TL_INFO_MODEL, "GetModel", "Model");
}
String System::GetVersion() {
    return infoText(this, &data_, CORVID2_METHOD("CORVID2::System::GetVersion"), TL_INFO_VERSION, "GetVersion",
                    "Version");
}
String System::GetTLType() {
    return infoText(this, &data_, CORVID2_METHOD("CORVID2::System::GetTLType"), TL_INFO_TLTYPE, "GetTLType", "TLType");
}
String System::GetDisplayName() {
    return infoText(this, &data_, CORVID2_METHOD("CORVID2::System::GetDisplayName"), TL_INFO_DISPLAYNAME,
                    "GetDisplayName", "DisplayName");
}
String System::GetFileName() {
    return infoTextOr(this, &data_, CORVID2_METHOD("CORVID2::System::GetFileName"), TL_INFO_NAME, "GetFileName",
                      [](const CProducerObj& p) { return p.path().filename().string(); });
}
String System::GetPathName() {
    return infoTextOr(this, &data_, CORVID2_METHOD("CORVID2::System::GetPathName"), TL_INFO_PATHNAME, "GetPathName",
                      [](const CProducerObj&) { return std::string(); });
}

void System::Open() {
    callGuarded<CSystemGuard>(
        CORVID2_METHOD("CORVID2::System::Open"), kShared, this, &data_,
        [](SystemData& data) { return data.producer_->open(); },
        [this](SystemData& data) {
            data.open_ = true;
            attachNodeSource(*this, data.producer_);
            traceInfo("%s; Open", data.producer_->traceName().c_str());
        });
}

void System::Close() {
    CPublicCall<CSystemGuard> call(CORVID2_METHOD("CORVID2::System::Close"), kShared, this, &data_);
    call->interfaces_->clear();
    attachNodeSource(*this, nullptr);
    call.check(call->producer_->close());
    call->open_ = false;
    traceInfo("%s; Close", call->producer_->traceName().c_str());
}

bool System::IsOpen() {
    CPublicCall<CSystemGuard> call(CORVID2_METHOD("CORVID2::System::IsOpen"), kShared, this, &data_);
    return call->open_;
}

InterfaceList* System::GetInterfaces() {
    return callGuarded<CSystemGuard>(
        CORVID2_METHOD("CORVID2::System::GetInterfaces"), kShared, this, &data_,
        [](SystemData& data) {
            return data.open_ ? Result::Success
                              : SetLastError(Result::NotInitialized, "System", "GetInterfaces", "System not opened.");
        },
        [](SystemData& data) { return data.interfaces_; });
}

void* System::GetReserved() {
    CPublicCall<CSystemGuard> call(CORVID2_METHOD("CORVID2::System::GetReserved"), kShared, this, &data_);
    return &*call;
}

}  // namespace CORVID2
