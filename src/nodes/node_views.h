// SPDX-License-Identifier: BSD-3-Clause
// How a module class connects its feature side (CORVID2::INode) to the module object's node map.
#pragma once

namespace CORVID2 {
class INode;
}

namespace corvid2 {

class IGenAPI;

// Called by a module class when its module object is opened: the views are made from `source`
// on first use. Called with null when the module closes: the views and their Node objects go.
void attachNodeSource(CORVID2::INode& front, IGenAPI* source);

}  // namespace corvid2
