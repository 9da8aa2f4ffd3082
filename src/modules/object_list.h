// SPDX-License-Identifier: BSD-3-Clause
// What every public object list shares (SystemList, InterfaceList, DeviceList and the lists still
// to come): the record of an id-keyed list, guarded and locked access to its entries, the seven
// access methods written once, and the refresh that makes a list follow a producer's list of ids.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/access_control.h"
#include "core/last_error.h"
#include "core/object_guard.h"
#include "core/public_method.h"
#include "core/result_codes.h"
#include "corvid2/string.h"

namespace corvid2 {

// The record behind a list whose entries are kept by id. Each list's record derives from it, since
// the public headers know the record by the list's own name. Lock order: the list's guard, then
// `mutex_` (which serialises refreshes), then the parent's guard.
template <class Parent, class Item>
struct CListData {
    CorvidObjectAccessControl access_;
    Parent* parent_ = nullptr;
    std::recursive_mutex mutex_;
    std::map<std::string, Item*> entries_;
};

// Entries kept as a map from id to object, each owned by the list.
template <class ItemType>
struct MapEntryTraits {
    using Item = ItemType;
    using Entries = std::map<std::string, Item*>;
    static const std::string& id(const typename Entries::value_type& entry) { return entry.first; }
    static Item* item(const typename Entries::value_type& entry) { return entry.second; }
    static bool owned(const typename Entries::value_type&) { return true; }
};

// One public list method: the list's guard, then its mutex, for the method's whole run. The list
// record has `mutex_` and `entries_`; `Traits` says where an entry keeps its id and its object and
// whether the list owns that object. Failures name the method's class and operation.
template <class GuardType, class TraitsType>
class CListCall {
public:
    using Guard = GuardType;
    using Traits = TraitsType;
    using Data = typename Guard::ObjectType;
    using Item = typename Traits::Item;
    using Entries = std::remove_reference_t<decltype(std::declval<Data&>().entries_)>;

    CListCall(const MethodSite& site, const void* owner, Data* const* slot)
        : call_(site, kShared, owner, slot), lock_(call_->mutex_) {}

    Data& data() { return *call_; }
    CPublicCall<Guard>& call() { return call_; }
    Entries& entries() { return call_->entries_; }

    std::size_t size() { return entries().size(); }
    // The position of the id, or size() when it is not listed.
    std::size_t position(const CORVID2::String& id) {
        const auto it = std::find_if(entries().begin(), entries().end(),
                                     [&id](const auto& entry) { return id == Traits::id(entry).c_str(); });
        return static_cast<std::size_t>(std::distance(entries().begin(), it));
    }
    Item* byId(const CORVID2::String& id) {
        const std::size_t at = position(id);
        if (at == size()) failAt(call_.site(), Result::InvalidParameter, "The ID %s is not in list.", id.get());
        return itemAt(at);
    }
    Item* byIndex(std::size_t index) {
        if (index >= size()) failAt(call_.site(), Result::InvalidParameter, "The index %zu is not in list.", index);
        return itemAt(index);
    }
    // Empties the list and hands every object it owns to `destroy`; the list stays locked until
    // the method ends.
    template <class Destroy>
    void clear(Destroy&& destroy) {
        releaseEntries(*call_, destroy);
    }

    // Takes every entry out of `data` first (an object that is destroyed may look for itself in
    // the list), then hands the objects the list owns to `destroy`.
    template <class Destroy>
    static void releaseEntries(Data& data, Destroy&& destroy) {
        Entries taken = std::move(data.entries_);
        data.entries_.clear();
        for (const auto& entry : taken)
            if (Traits::owned(entry)) destroy(Traits::item(entry));
    }

private:
    Item* itemAt(std::size_t index) {
        return Traits::item(*std::next(entries().begin(), static_cast<std::ptrdiff_t>(index)));
    }

    CPublicCall<Guard> call_;
    std::lock_guard<std::recursive_mutex> lock_;
};

// The destructor of a list whose method calls are `Call`: unregisters the record (waiting for the
// methods still inside), hands the objects it owns to `destroy` and deletes the record.
template <class Call, class Destroy>
void destroyList(const MethodSite& site, const void* owner, typename Call::Data* const* slot, Destroy&& destroy) {
    unregisterHolder<typename Call::Guard>(site, owner, slot, [&destroy](typename Call::Data* data) {
        Call::releaseEntries(*data, destroy);
        delete data;
    });
}

// Defines the destructor, begin, end, find, both operator[], size and clear of the public list
// class `List`, whose record is its member `data_` and whose method calls are `Call` (a CListCall).
// The objects are deleted here, inside the list's members, because their destructors are private
// to everyone but their list.
#define CORVID2_DEFINE_LIST_METHODS(List, Call)                                                              \
    List::~List() {                                                                                          \
        destroyList<Call>(CORVID2_METHOD(List, ~List), this, &data_, [](Call::Item* item) { delete item; }); \
    }                                                                                                        \
    List::iterator List::begin() { return iterator(this, 0); }                                               \
    List::iterator List::end() { return iterator(this, size()); }                                            \
    List::iterator List::find(const String& id) {                                                            \
        return iterator(this, Call(CORVID2_METHOD(List, find), this, &data_).position(id));                  \
    }                                                                                                        \
    auto List::operator[](const String& id)->Call::Item* {                                                   \
        return Call(CORVID2_METHOD(List, operator[]), this, &data_).byId(id);                                \
    }                                                                                                        \
    auto List::operator[](std::size_t index)->Call::Item* {                                                  \
        return Call(CORVID2_METHOD(List, operator[]), this, &data_).byIndex(index);                          \
    }                                                                                                        \
    std::size_t List::size() { return Call(CORVID2_METHOD(List, size), this, &data_).size(); }               \
    void List::clear() {                                                                                     \
        Call(CORVID2_METHOD(List, clear), this, &data_).clear([](Call::Item* item) { delete item; });        \
    }

// Makes an id-keyed list follow `ids`: an id not yet listed gets `create(id)`, a listed one is
// handed to `known(item)`, and an item whose id is gone leaves the list unless `keep(item)` says
// otherwise. The items that left are returned, for the caller to destroy. An item kept across
// refreshes stays the same object.
template <class Item, class Create, class Known, class Keep>
std::vector<Item*> followIds(std::map<std::string, Item*>& entries, const std::vector<std::string>& ids,
                             Create&& create, Known&& known, Keep&& keep) {
    for (const std::string& id : ids) {
        const auto it = entries.find(id);
        if (it == entries.end())
            entries.emplace(id, create(id));
        else
            known(it->second);
    }
    std::vector<Item*> gone;
    for (auto it = entries.begin(); it != entries.end();) {
        if (std::find(ids.begin(), ids.end(), it->first) == ids.end() && !keep(it->second)) {
            gone.push_back(it->second);
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

// The record of a new list of `parent`, registered for the public list `owner`.
template <class Call>
typename Call::Data* makeList(const MethodSite& site, const void* owner,
                              decltype(std::declval<typename Call::Data&>().parent_) parent) {
    auto* data = new typename Call::Data();
    data->parent_ = parent;
    registerHolder<typename Call::Guard>(site, owner, data);
    return data;
}

// The ids a module lists now, in index order, through its count and id operations.
template <class Count, class IdAt>
Result listedIds(Count&& count, IdAt&& idAt, std::vector<std::string>& ids) {
    std::uint32_t number = 0;
    if (const Result code = count(&number); code != Result::Success) return code;
    ids.assign(number, std::string());
    for (std::uint32_t index = 0; index < number; ++index)
        if (const Result code = idAt(index, &ids[index]); code != Result::Success) return code;
    return Result::Success;
}

}  // namespace corvid2

// The id-keyed lists of the module hierarchy, and their guards.
namespace CORVID2 {
class Device;
class Interface;
class System;
}  // namespace CORVID2

namespace CORVID2::Internal {
struct InterfaceListData : corvid2::CListData<System, Interface> {};
struct DeviceListData : corvid2::CListData<Interface, Device> {};
}  // namespace CORVID2::Internal

namespace corvid2 {
using CInterfaceListGuard = CHolderGuard<RegistryKind::InterfaceListMap, CORVID2::Internal::InterfaceListData>;
using CDeviceListGuard = CHolderGuard<RegistryKind::DeviceListData, CORVID2::Internal::DeviceListData>;
}  // namespace corvid2
