// SPDX-License-Identifier: BSD-3-Clause
// NodeMap: a view of features by name, in name order, with lookups by name and by index.
#include <algorithm>
#include <cstring>

#include "core/last_error.h"
#include "core/public_method.h"
#include "core/result_codes.h"
#include "nodes/node_data.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::NodeAccess;
using CORVID2::Internal::NodeMapData;

namespace CORVID2 {
namespace {

// The map's record for the length of one method.
struct MapCall : CPublicCall<CNodeMapGuard> {
    MapCall(const MethodSite& site, NodeMap* map) : CPublicCall(site, kShared, map, NodeAccess::slot(*map)) {}
};

Node* byName(NodeMap* map, const MethodSite& site, const String& name) {
    MapCall call(site, map);
    const std::size_t index = call->indexOf(name.get());
    if (index == call->nodes_.size())
        failAt(site, Result::InvalidParameter, "The node '%s' does not exist.", name.get());
    return call->nodes_[index].second;
}

Node* byIndex(NodeMap* map, const MethodSite& site, std::size_t index) {
    MapCall call(site, map);
    if (index >= call->nodes_.size())
        failAt(site, Result::InvalidParameter, "invalid index %llu", static_cast<unsigned long long>(index));
    return call->nodes_[index].second;
}

std::size_t count(NodeMap* map, const MethodSite& site) {
    MapCall call(site, map);
    const std::size_t size = call->nodes_.size();
    traceInfo("NodeMap; %s; %zu", site.label, size);
    return size;
}

}  // namespace

namespace Internal {

std::size_t NodeMapData::indexOf(const char* name) const {
    const auto it = std::lower_bound(nodes_.begin(), nodes_.end(), name,
                                     [](const std::pair<std::string, Node*>& entry, const char* key) {
                                         return std::strcmp(entry.first.c_str(), key) < 0;
                                     });
    return it != nodes_.end() && it->first == name ? static_cast<std::size_t>(it - nodes_.begin()) : nodes_.size();
}

NodeMap* NodeAccess::makeNodeMap(const corvid2::genAPINodeMap& source) {
    auto* map = new NodeMap();
    auto& nodes = map->data_->nodes_;
    nodes.reserve(source.size());
    // The source is a std::map, so the entries arrive sorted.
    for (const auto& entry : source) nodes.emplace_back(entry.first, makeNode(entry.second));
    return map;
}

Node* NodeAccess::nodeAt(NodeMap* map, std::size_t position, const char* functionName) {
    CNodeMapGuard guard(functionName);
    NodeMapData* data = guard.Acquire(map, slot(*map));
    return position < data->nodes_.size() ? data->nodes_[position].second : nullptr;
}

}  // namespace Internal

NodeMap::NodeMap() : data_(new NodeMapData()) {
    registerHolder<CNodeMapGuard>(CORVID2_METHOD(NodeMap, NodeMap), this, data_);
}

NodeMap::~NodeMap() {
    unregisterHolder<CNodeMapGuard>(CORVID2_METHOD(NodeMap, ~NodeMap), this, &data_, [](NodeMapData*) {});
    for (auto& entry : data_->nodes_) NodeAccess::destroyNode(entry.second);
    delete data_;
}

Node* NodeMap::GetNode(const String& name) { return byName(this, CORVID2_METHOD(NodeMap, GetNode), name); }

Node* NodeMap::operator[](const String& name) {
    return byName(this, CORVID2_METHOD_AS(NodeMap, operator[], "GetNode"), name);
}

Node* NodeMap::GetNodeByIndex(std::size_t index) {
    return byIndex(this, CORVID2_METHOD(NodeMap, GetNodeByIndex), index);
}

Node* NodeMap::operator[](std::size_t index) {
    return byIndex(this, CORVID2_METHOD_AS(NodeMap, operator[], "GetNodeByIndex"), index);
}

bool NodeMap::GetNodePresent(const String& name) {
    MapCall call(CORVID2_METHOD(NodeMap, GetNodePresent), this);
    const bool present = call->indexOf(name.get()) != call->nodes_.size();
    traceInfo(present ? "NodeMap; GetNodePresent; The node '%s' exists."
                      : "NodeMap; GetNodePresent; The node '%s' does not exist.",
              name.get());
    return present;
}

std::size_t NodeMap::GetNodeCount() { return count(this, CORVID2_METHOD(NodeMap, GetNodeCount)); }

std::size_t NodeMap::size() { return count(this, CORVID2_METHOD(NodeMap, size)); }

NodeMap::iterator NodeMap::find(const String& name) {
    MapCall call(CORVID2_METHOD(NodeMap, find), this);
    return iterator(this, call->indexOf(name.get()));
}

NodeMap::iterator NodeMap::begin() { return iterator(this, 0); }

NodeMap::iterator NodeMap::end() {
    MapCall call(CORVID2_METHOD(NodeMap, end), this);
    return iterator(this, call->nodes_.size());
}

NodeMap::iterator& NodeMap::iterator::operator++() {
    ++position_;
    return *this;
}

Node* NodeMap::iterator::operator*() const {
    return map_ == nullptr ? nullptr : NodeAccess::nodeAt(map_, position_, "CORVID2::NodeMap::iterator::operator*");
}

Node* NodeMap::iterator::operator->() const { return **this; }

bool NodeMap::iterator::operator==(const iterator& other) const {
    return map_ == other.map_ && position_ == other.position_;
}

bool NodeMap::iterator::operator!=(const iterator& other) const { return !(*this == other); }

}  // namespace CORVID2
