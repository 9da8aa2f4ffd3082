// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public Node, NodeMap and INode, their guards, and the one friend that
// builds and tears down the public objects.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/access_control.h"
#include "core/last_error.h"
#include "core/object_guard.h"
#include "core/public_method.h"
#include "core/result_codes.h"
#include "corvid2/node.h"
#include "features/genapi_node.h"

namespace corvid2 {
class IGenAPI;
}

namespace CORVID2::Internal {

// The views a Node hands out, made on first use and owned by the Node.
enum class NodeView : std::size_t { Entries, Tree, Flat, Selected };
constexpr std::size_t kNodeViewCount = 4;

struct NodeData {
    corvid2::CorvidObjectAccessControl access_;  // first: the guard finds the record at the start
    // The wrapper this Node was made for; a wrapper rebuilt at the same address has another identity.
    corvid2::ObjectIdentity nodeIdentity_ = corvid2::kNoIdentity;
    corvid2::CGenAPINode* node_ = nullptr;
    // Kept here so that traces and messages never read a wrapper that may be gone.
    std::string name_;
    std::mutex viewsMutex_;
    std::array<NodeMap*, kNodeViewCount> views_{};
};

struct NodeMapData {
    corvid2::CorvidObjectAccessControl access_;
    // Sorted by name; the map owns its Node objects.
    std::vector<std::pair<std::string, Node*>> nodes_;

    // Index of `name`, or the size when absent.
    std::size_t indexOf(const char* name) const;
};

struct INodeData {
    explicit INodeData(bool nodeMapRequired) : nodeMapRequired_(nodeMapRequired) {}
    // The views and their Node objects go; the next use makes them again from the source.
    void destroyViews();
    std::mutex mutex_;
    corvid2::IGenAPI* source_ = nullptr;
    const bool nodeMapRequired_;
    bool made_ = false;       // views made from the current source (or found to be absent)
    bool available_ = false;  // the source had a node map when the views were made
    NodeMap* tree_ = nullptr;
    NodeMap* flat_ = nullptr;
};

// The only code that builds and destroys the public node objects and reaches their records.
struct NodeAccess {
    static Node* makeNode(corvid2::CGenAPINode* node);
    static void destroyNode(Node* node) { delete node; }
    // One Node per wrapper of `source`.
    static NodeMap* makeNodeMap(const corvid2::genAPINodeMap& source);
    static void destroyNodeMap(NodeMap* map) { delete map; }
    static INodeData& data(INode& front) { return *front.nodeData_; }
    static NodeMapData* data(NodeMap& map) { return map.data_; }
    static NodeData* const* slot(const Node& node) { return &node.data_; }
    static NodeMapData* const* slot(const NodeMap& map) { return &map.data_; }
    // The view's Node at `position` under the view's guard, null past the end.
    static Node* nodeAt(NodeMap* map, std::size_t position, const char* functionName);
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CINodeGuard = CHolderGuard<RegistryKind::NodeControlData, CORVID2::Internal::NodeData>;
using CNodeMapGuard = CHolderGuard<RegistryKind::NodeMap, CORVID2::Internal::NodeMapData>;

}  // namespace corvid2
