// SPDX-License-Identifier: BSD-3-Clause
// The iterator of the library's object lists (systems, interfaces, ...): a position in a list.
#ifndef CORVID2_LIST_ITERATOR_H
#define CORVID2_LIST_ITERATOR_H

#include <cstddef>
#include <iterator>

namespace CORVID2 {

// Dereferencing asks the list for the item at the position (`List::operator[](std::size_t)`), so
// every step goes through the list's own guard and sees the list as it is now.
template <class List, class Item>
class ListIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Item*;
    using difference_type = std::ptrdiff_t;
    using pointer = Item*;
    using reference = Item*;

    ListIterator() = default;
    ListIterator(List* list, std::size_t position) : list_(list), position_(position) {}

    ListIterator& operator++() {
        ++position_;
        return *this;
    }
    Item* operator*() const { return (*list_)[position_]; }
    Item* operator->() const { return **this; }
    bool operator==(const ListIterator& other) const { return list_ == other.list_ && position_ == other.position_; }
    bool operator!=(const ListIterator& other) const { return !(*this == other); }

private:
    List* list_ = nullptr;
    std::size_t position_ = 0;
};

}  // namespace CORVID2

#endif
