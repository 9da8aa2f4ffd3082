// SPDX-License-Identifier: BSD-3-Clause
// Node: one feature of a module, reached through its wrapper under the node guards, with a trace
// line per successful call and the library's exception for every failure.
#include "nodes/node_data.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::NodeAccess;
using CORVID2::Internal::NodeData;
using CORVID2::Internal::NodeView;

namespace CORVID2 {

namespace Internal {

Node* NodeAccess::makeNode(corvid2::CGenAPINode* node) {
    auto* made = new Node();
    made->data_->node_ = node;
    made->data_->nodeIdentity_ = node->identity();
    made->data_->name_ = node->GetName();
    return made;
}

}  // namespace Internal

Node::Node() : data_(new NodeData()) { registerHolder<CINodeGuard>("CORVID2::Node::Node", this, data_); }

Node::~Node() {
    unregisterHolder<CINodeGuard>("CORVID2::Node::~Node", this, &data_, "Node", "~Node", [](NodeData*) {});
    for (NodeMap* view : data_->views_) NodeAccess::destroyNodeMap(view);
    delete data_;
}

}  // namespace CORVID2
