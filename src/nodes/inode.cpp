// SPDX-License-Identifier: BSD-3-Clause
// INode: the feature side of every module class, with its tree and flat views made on first use.
#include <cstdio>
#include <mutex>

#include "core/last_error.h"
#include "core/result_codes.h"
#include "features/igenapi.h"
#include "nodes/node_data.h"
#include "nodes/node_views.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::INodeData;
using CORVID2::Internal::NodeAccess;
using CORVID2::Internal::NodeMapData;

namespace corvid2 {
namespace {

using CORVID2::NodeMap;

// The views are made by the step "CreateNodeMap", whose failures its lines name.
[[noreturn]] void failCreating(const MethodSite& site, Result code, const char* message) {
    SetLastError(code, "INode", "CreateNodeMap", "%s", message);
    throwRecorded(site, code);
}

// Makes the views from the source once; the caller holds the data's mutex.
void makeViews(INodeData& data, const MethodSite& site) {
    if (data.made_) return;
    if (data.source_ != nullptr && data.source_->nodeMapAvailable()) {
        try {
            data.tree_ = NodeAccess::makeNodeMap(data.source_->getNodeMap());
            data.flat_ = NodeAccess::makeNodeMap(data.source_->getNodeMapFlat());
        } catch (const CGenAPIException& error) {
            data.destroyViews();
            failCreating(site, Result::Error, error.what());
        }
        data.available_ = true;
    } else if (data.nodeMapRequired_) {
        failCreating(site, Result::NotInitialized, "Node interface not initialized");
    } else {
        traceInfo("INode: %s; %s", "CreateNodeMap", "Node interface not available");
    }
    data.made_ = true;
}

NodeMap* view(INodeData& data, NodeMap* INodeData::*which, const MethodSite& site) {
    std::lock_guard<std::mutex> lock(data.mutex_);
    makeViews(data, site);
    if (!data.available_) failAt(site, Result::NotInitialized, "base_modul is not initialized (Line: %d)", __LINE__);
    return data.*which;
}

}  // namespace
}  // namespace corvid2

namespace CORVID2 {
namespace Internal {

void INodeData::destroyViews() {
    NodeAccess::destroyNodeMap(tree_);
    NodeAccess::destroyNodeMap(flat_);
    tree_ = flat_ = nullptr;
    made_ = available_ = false;
}

}  // namespace Internal

INode::INode(bool nodeMapRequired) : nodeData_(new INodeData(nodeMapRequired)) {}

INode::~INode() {
    nodeData_->destroyViews();
    delete nodeData_;
}

Node* INode::GetNode(const String& name) { return viewNode(*nodeData_, name, CORVID2_METHOD(INode, GetNode)); }
NodeMap* INode::GetNodeTree() { return viewTree(*nodeData_, CORVID2_METHOD(INode, GetNodeTree)); }
NodeMap* INode::GetNodeList() { return viewList(*nodeData_, CORVID2_METHOD(INode, GetNodeList)); }

}  // namespace CORVID2

namespace corvid2 {

void attachNodeSource(CORVID2::INode& front, IGenAPI* source) { attachNodeSource(NodeAccess::data(front), source); }

void attachNodeSource(INodeData& data, IGenAPI* source) {
    std::lock_guard<std::mutex> lock(data.mutex_);
    data.destroyViews();
    data.source_ = source;
}

CORVID2::Node* viewNode(INodeData& data, const CORVID2::String& name, const MethodSite& site) {
    std::lock_guard<std::mutex> lock(data.mutex_);
    makeViews(data, site);
    // Features first; categories are only in the tree.
    for (CORVID2::NodeMap* map : {data.flat_, data.tree_}) {
        if (map == nullptr) continue;
        NodeMapData& mapData = *NodeAccess::data(*map);
        const std::size_t index = mapData.indexOf(name.get());
        if (index < mapData.nodes_.size()) return mapData.nodes_[index].second;
    }
    failAt(site, Result::InvalidParameter, "The node '%s' does not exist.", name.get());
}

CORVID2::NodeMap* viewTree(INodeData& data, const MethodSite& site) { return view(data, &INodeData::tree_, site); }
CORVID2::NodeMap* viewList(INodeData& data, const MethodSite& site) { return view(data, &INodeData::flat_, site); }

}  // namespace corvid2
