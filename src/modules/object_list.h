// SPDX-License-Identifier: BSD-3-Clause
// The shape that SystemList, InterfaceList and DeviceList share: guarded, locked access to an
// ordered set of (id, object) entries, and the refresh that makes such a set follow a list of ids.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/last_error.h"
#include "core/public_method.h"
#include "core/result_codes.h"
#include "corvid2/string.h"

namespace corvid2 {

// Entries kept as a map from id to object: the interface and device lists.
template <class Item>
struct MapEntryTraits {
    using Entries = std::map<std::string, Item*>;
    static const std::string& id(const typename Entries::value_type& entry) { return entry.first; }
    static Item* item(const typename Entries::value_type& entry) { return entry.second; }
};

// One public list method: the list's guard, then its mutex, for the method's whole run. The list
// data has `mutex_` and `entries_`; `Traits` says where an entry keeps its id and its object.
template <class Guard, class Traits>
class CListCall {
public:
    using Data = typename Guard::ObjectType;
    using Entries = std::remove_reference_t<decltype(std::declval<Data&>().entries_)>;
    using Item = std::remove_pointer_t<decltype(Traits::item(std::declval<const typename Entries::value_type&>()))>;

    // `listClass` names the list in failure lines ("InterfaceList").
    CListCall(const MethodSite& site, const void* owner, Data* const* slot, const char* listClass)
        : call_(site, kShared, owner, slot), lock_(call_->mutex_), listClass_(listClass) {}

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
        if (at == size()) fail(std::string("The ID ") + id.get() + " is not in list.");
        return itemAt(at);
    }
    Item* byIndex(std::size_t index) {
        if (index >= size()) fail("The index " + std::to_string(index) + " is not in list.");
        return itemAt(index);
    }
    // Every entry, taken out of the list, for the caller to destroy.
    Entries takeAll() {
        Entries taken = std::move(entries());
        entries().clear();
        return taken;
    }

    // Records the failure with the list's name and throws InvalidParameterException.
    [[noreturn]] void fail(const std::string& message) {
        SetLastError(Result::InvalidParameter, listClass_, call_.site().name, "%s", message.c_str());
        ThrowWithText(Result::InvalidParameter, call_.site().file, call_.site().line, call_.site().name,
                      message.c_str());
    }

private:
    Item* itemAt(std::size_t index) {
        return Traits::item(*std::next(entries().begin(), static_cast<std::ptrdiff_t>(index)));
    }

    CPublicCall<Guard> call_;
    std::lock_guard<std::recursive_mutex> lock_;
    const char* listClass_;
};

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
