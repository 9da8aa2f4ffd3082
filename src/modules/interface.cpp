// SPDX-License-Identifier: BSD-3-Clause
// The public InterfaceList and Interface: the interfaces of an open System as objects that keep
// their identity across refreshes.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "core/last_error.h"
#include "core/public_method.h"
#include "modules/interface_data.h"
#include "modules/producerobj.h"
#include "modules/system_data.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::InterfaceData;
using CORVID2::Internal::InterfaceListData;

namespace CORVID2 {
namespace {

[[noreturn]] void throwInvalidParameter(const char* method, const std::string& message) {
    SetLastError(-1009, "InterfaceList", method, "%s", message.c_str());
    ThrowWithText(-1009, __FILE__, __LINE__, method, message.c_str());
}

// The ids the producer lists now, in index order.
std::int32_t listedIds(CProducerObj& producer, std::vector<std::string>& ids) {
    std::uint32_t count = 0;
    if (const std::int32_t code = producer.GetNumInterfaces(&count)) return code;
    ids.assign(count, std::string());
    for (std::uint32_t index = 0; index < count; ++index)
        if (const std::int32_t code = producer.getInterfaceID(index, &ids[index])) return code;
    return 0;
}

}  // namespace

// ---- InterfaceList -------------------------------------------------------------------------

InterfaceList::InterfaceList(System* system) : data_(new InterfaceListData()) {
    data_->system_ = system;
    registerHolder<CInterfaceListGuard>("CORVID2::InterfaceList::InterfaceList", this, data_);
}

InterfaceList::~InterfaceList() {
    unregisterHolder<CInterfaceListGuard>("CORVID2::InterfaceList::~InterfaceList", this, &data_, "InterfaceList",
                                          "~InterfaceList", [](InterfaceListData* data) {
                                              for (auto& entry : data->entries_) delete entry.second;
                                              delete data;
                                          });
}

void InterfaceList::Refresh(std::uint64_t timeout) {
    static constexpr char kMethod[] = "CORVID2::InterfaceList::Refresh";
    CPublicCall<CInterfaceListGuard> call(CORVID2_METHOD(kMethod), kShared, this, &data_);
    System* system = call->system_;
    CPublicCall<CSystemGuard> systemCall(CORVID2_METHOD(kMethod), kShared, system, &system->data_);
    CProducerObj& producer = *systemCall->producer_;
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);

    bool changed = false;
    call.check(producer.updateInterfaceList(&changed, timeout));
    if (!changed) return;
    std::vector<std::string> ids;
    call.check(listedIds(producer, ids));

    auto& entries = call->entries_;
    for (const std::string& id : ids)
        if (entries.count(id) == 0) entries.emplace(id, new Interface(system, id.c_str()));
    std::vector<Interface*> gone;
    for (auto it = entries.begin(); it != entries.end();) {
        if (std::find(ids.begin(), ids.end(), it->first) == ids.end()) {
            gone.push_back(it->second);
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    for (Interface* iface : gone) delete iface;
}

InterfaceList::iterator InterfaceList::begin() { return iterator(this, 0); }
InterfaceList::iterator InterfaceList::end() { return iterator(this, size()); }

InterfaceList::iterator InterfaceList::find(const String& id) {
    CPublicCall<CInterfaceListGuard> call(CORVID2_METHOD("CORVID2::InterfaceList::find"), kShared, this, &data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    const auto& entries = call->entries_;
    const auto it = entries.find(id.get());
    return iterator(this, static_cast<std::size_t>(std::distance(entries.begin(), it)));
}

Interface* InterfaceList::operator[](const String& id) {
    static constexpr char kMethod[] = "CORVID2::InterfaceList::operator[]";
    CPublicCall<CInterfaceListGuard> call(CORVID2_METHOD(kMethod), kShared, this, &data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    const auto it = call->entries_.find(id.get());
    if (it == call->entries_.end()) throwInvalidParameter(kMethod, std::string("The ID ") + id.get() + " is not in list.");
    return it->second;
}

Interface* InterfaceList::operator[](std::size_t index) {
    static constexpr char kMethod[] = "CORVID2::InterfaceList::operator[]";
    CPublicCall<CInterfaceListGuard> call(CORVID2_METHOD(kMethod), kShared, this, &data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    if (index >= call->entries_.size())
        throwInvalidParameter(kMethod, "The index " + std::to_string(index) + " is not in list.");
    return std::next(call->entries_.begin(), static_cast<std::ptrdiff_t>(index))->second;
}

std::size_t InterfaceList::size() {
    CPublicCall<CInterfaceListGuard> call(CORVID2_METHOD("CORVID2::InterfaceList::size"), kShared, this, &data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    return call->entries_.size();
}

void InterfaceList::clear() {
    CPublicCall<CInterfaceListGuard> call(CORVID2_METHOD("CORVID2::InterfaceList::clear"), kShared, this, &data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    auto entries = std::move(call->entries_);
    call->entries_.clear();
    for (auto& entry : entries) delete entry.second;
}


// ---- Interface -----------------------------------------------------------------------------

Interface::Interface(System* system, const String& id) : data_(new InterfaceData()) {
    data_->system_ = system;
    data_->id_ = id.get();
    registerHolder<CInterfaceGuard>("CORVID2::Interface::Interface", this, data_);
}

Interface::~Interface() {
    unregisterHolder<CInterfaceGuard>("CORVID2::Interface::~Interface", this, &data_, "Interface", "~Interface",
                                      [](InterfaceData* data) { delete data; });
}

String Interface::GetID() {
    return callGuarded<CInterfaceGuard>(
        CORVID2_METHOD("CORVID2::Interface::GetID"), kShared, this, &data_, [](InterfaceData&) { return 0; },
        [](InterfaceData& data) {
            traceInfo("Interface; GetID; %s", data.id_.c_str());
            return String(data.id_.c_str());
        });
}

}  // namespace CORVID2
