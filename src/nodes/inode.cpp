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

namespace CORVID2 {
namespace {

[[noreturn]] void fail(Result code, const char* operation, const char* qualifiedName, const char* message) {
    SetLastError(code, "INode", operation, "%s", message);
    ThrowWithText(code, __FILE__, __LINE__, qualifiedName, message);
}

// Makes the views from the source once; the caller holds the data's mutex.
void makeViews(INodeData& data, const char* qualifiedName) {
    if (data.made_) return;
    if (data.source_ != nullptr && data.source_->nodeMapAvailable()) {
        try {
            data.tree_ = NodeAccess::makeNodeMap(data.source_->getNodeMap());
            data.flat_ = NodeAccess::makeNodeMap(data.source_->getNodeMapFlat());
        } catch (const CGenAPIException& error) {
            data.destroyViews();
            fail(Result::Error, "CreateNodeMap", qualifiedName, error.what());
        }
        data.available_ = true;
    } else if (data.nodeMapRequired_) {
        fail(Result::NotInitialized, "CreateNodeMap", qualifiedName, "Node interface not initialized");
    } else {
        traceInfo("INode: %s; %s", "CreateNodeMap", "Node interface not available");
    }
    data.made_ = true;
}

NodeMap* view(INodeData& data, NodeMap* INodeData::*which, const char* operation, const char* qualifiedName) {
    std::lock_guard<std::mutex> lock(data.mutex_);
    makeViews(data, qualifiedName);
    if (!data.available_) {
        char message[64];
        std::snprintf(message, sizeof message, "base_modul is not initialized (Line: %d)", __LINE__);
        fail(Result::NotInitialized, operation, qualifiedName, message);
    }
    return data.*which;
}

}  // namespace

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

Node* INode::GetNode(const String& name) {
    static constexpr char kMethod[] = "CORVID2::INode::GetNode";
    INodeData& data = *nodeData_;
    std::lock_guard<std::mutex> lock(data.mutex_);
    makeViews(data, kMethod);
    // Features first; categories are only in the tree.
    for (NodeMap* map : {data.flat_, data.tree_}) {
        if (map == nullptr) continue;
        NodeMapData& mapData = *NodeAccess::data(*map);
        const std::size_t index = mapData.indexOf(name.get());
        if (index < mapData.nodes_.size()) return mapData.nodes_[index].second;
    }
    SetLastError(Result::InvalidParameter, "INode", "GetNode", "The node '%s' does not exist.", name.get());
    throwRecorded(Result::InvalidParameter, CORVID2_METHOD(kMethod));
}

NodeMap* INode::GetNodeTree() {
    return view(*nodeData_, &INodeData::tree_, "GetNodeTree", "CORVID2::INode::GetNodeTree");
}

NodeMap* INode::GetNodeList() {
    return view(*nodeData_, &INodeData::flat_, "GetNodeList", "CORVID2::INode::GetNodeList");
}

}  // namespace CORVID2

namespace corvid2 {

void attachNodeSource(CORVID2::INode& front, IGenAPI* source) {
    INodeData& data = NodeAccess::data(front);
    std::lock_guard<std::mutex> lock(data.mutex_);
    data.destroyViews();
    data.source_ = source;
}

}  // namespace corvid2
