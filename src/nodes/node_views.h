// SPDX-License-Identifier: BSD-3-Clause
// How a module class shows a module object's node map: the views of CORVID2::INode, and the same
// views for any other node map a module class offers (a device's remote device).
#pragma once

#include "core/public_method.h"
#include "corvid2/string.h"

namespace CORVID2 {
class INode;
class Node;
class NodeMap;
namespace Internal {
struct INodeData;
}
}  // namespace CORVID2

namespace corvid2 {

class IGenAPI;

// Called by a module class when its module object is opened: the views are made from `source`
// on first use. Called with null when the module closes: the views and their Node objects go.
void attachNodeSource(CORVID2::INode& front, IGenAPI* source);
void attachNodeSource(CORVID2::Internal::INodeData& views, IGenAPI* source);

// A feature of the views by name (categories too), made on first use; InvalidParameterException
// "The node '<name>' does not exist." when absent.
CORVID2::Node* viewNode(CORVID2::Internal::INodeData& views, const CORVID2::String& name, const MethodSite& site);
// The tree (categories from the root down) or the flat view (every feature); NotInitializedException
// without a node map.
CORVID2::NodeMap* viewTree(CORVID2::Internal::INodeData& views, const MethodSite& site);
CORVID2::NodeMap* viewList(CORVID2::Internal::INodeData& views, const MethodSite& site);

}  // namespace corvid2
