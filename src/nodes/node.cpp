// SPDX-License-Identifier: BSD-3-Clause
// Node: one feature of a module, reached through its wrapper under the node guards, with a trace
// line per successful call and the library's exception for every failure.
#include <mutex>
#include <string>

#include "features/igenapi.h"
#include "nodes/node_data.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::NodeAccess;
using CORVID2::Internal::NodeData;
using CORVID2::Internal::NodeView;

namespace CORVID2 {
namespace {

// One public operation: its site (whose label starts the trace and error lines) and how it traces
// a boolean.
struct NodeOp {
    MethodSite site;
    bool lowercaseBool;  // GetBool and SetBool trace "true"/"false", the predicates "True"/"False"
};

#define CORVID2_NODE_METHOD(Method) (NodeOp{CORVID2_METHOD(Node, Method), false})
#define CORVID2_NODE_BOOL_METHOD(Method) (NodeOp{CORVID2_METHOD(Node, Method), true})

// Results that trace without a value of their own.
struct Called {};
struct NoValue {};

void traceResult(const NodeOp& op, const char* node, std::int64_t value) {
    traceInfo("Node [%s]; %s; %lld", node, op.site.label, static_cast<long long>(value));
}
void traceResult(const NodeOp& op, const char* node, double value) {
    traceInfo("Node [%s]; %s; %f", node, op.site.label, value);
}
void traceResult(const NodeOp& op, const char* node, bool value) {
    const char* text = op.lowercaseBool ? (value ? "true" : "false") : (value ? "True" : "False");
    traceInfo("Node [%s]; %s; %s", node, op.site.label, text);
}
void traceResult(const NodeOp& op, const char* node, const std::string& value) {
    traceInfo("Node [%s]; %s; %s", node, op.site.label, value.c_str());
}
void traceResult(const NodeOp& op, const char* node, Called) {
    traceInfo("Node [%s]; %s; called", node, op.site.label);
}
void traceResult(const NodeOp& op, const char* node, NoValue) { traceInfo("Node [%s]; %s", node, op.site.label); }

// A wrapper failure becomes the last error and the exception of the code its class names.
[[noreturn]] void throwForWrapperError(const NodeOp& op, const std::string& nodeName, const CGenAPIException& error) {
    const Result code = ErrorCodeFromText(error.className().c_str());
    failAt(op.site, code, "'%s' - %s", nodeName.empty() ? "unknown!" : nodeName.c_str(), error.description().c_str());
}

constexpr bool kRead = false;
constexpr bool kWrite = true;

// The wrapper behind a Node, proven alive, in one pass over each registry. This is what a shared
// CINodeGuard acquisition of the holder (with the write-lock check for setters), a lookup-only
// GenAPINodeGuard lookup of the wrapper, the identity check between the two and the release of the
// holder before the wrapper runs amount to, written out for the library's hottest path: a cached
// feature read costs the engine a few tens of nanoseconds, and the generic guard's virtual
// accessors and use counting would double that. The holder needs no use count here because
// everything the call needs from it is copied while its registry lock is held, and a Node's
// destructor must take that lock to unregister before it frees the holder. Failures are reported
// by the guards themselves, so texts and codes are theirs.
enum class HolderState { Read, Busy, Invalid, Denied };

struct HolderCopy {
    CGenAPINode* node = nullptr;
    ObjectIdentity nodeIdentity = kNoIdentity;
};

// The caller holds the registry lock. The Node itself is read only once its registration proves it
// alive, so a call on a Node that its module has destroyed fails cleanly instead of reading freed
// memory.
HolderState readHolder(CObjectRegistry& holders, const Node* owner, NodeData* const* slot, bool write,
                       HolderCopy& copy) {
    const ObjectIdentity* ownerIdentity = holders.findOwner(owner);
    if (ownerIdentity == nullptr) return HolderState::Invalid;
    NodeData* data = *slot;
    const ObjectIdentity* registered = data != nullptr ? holders.findObject(data) : nullptr;
    if (registered == nullptr || *registered != *ownerIdentity || *registered != data->access_.identity_)
        return HolderState::Invalid;
    const CorvidObjectAccessControl& record = data->access_;
    if (record.exclusive_.load(std::memory_order_acquire) != 0) return HolderState::Busy;
    if (write && record.writeLockCount_.load(std::memory_order_acquire) != 0 &&
        record.writeLockOwner_.load(std::memory_order_relaxed) != guardThreadId())
        return HolderState::Denied;
    copy.node = data->node_;
    copy.nodeIdentity = data->nodeIdentity_;
    return HolderState::Read;
}

// The wrapper of a call, with the call entered on the wrapper's map until it is done: the map and
// the wrapper stay while it runs, even when the module closes meanwhile.
class CalledNode {
public:
    CalledNode(CGenAPINode& node, bool inSlot) : node_(node), inSlot_(inSlot) {}
    ~CalledNode() { node_.owner()->leaveCall(inSlot_); }
    CalledNode(const CalledNode&) = delete;
    CalledNode& operator=(const CalledNode&) = delete;
    CGenAPINode& operator*() const { return node_; }
    CGenAPINode* operator->() const { return &node_; }

private:
    CGenAPINode& node_;
    bool inSlot_;
};

// The wrapper behind the Node, proven alive, with the call entered on its map.
CalledNode resolve(Node* self, const NodeOp& op, bool write) {
    CMapCalls::prepareThread();
    static CObjectRegistry& holders = registryOf(RegistryKind::NodeControlData);
    static CObjectRegistry& wrappers = registryOf(RegistryKind::GenAPINode);
    NodeData* const* slot = NodeAccess::slot(*self);
    HolderCopy copy;
    HolderState state;
    CSpinWait spin;
    for (;;) {
        holders.lock().lock();
        state = readHolder(holders, self, slot, write, copy);
        holders.lock().unlock();
        if (state != HolderState::Busy) break;
        spin.once();
    }
    if (state == HolderState::Invalid) CINodeGuard(op.site.name).OnInvalid();
    if (state == HolderState::Denied) CINodeGuard(op.site.name).OnAccessDenied();

    wrappers.lock().lock();
    const ObjectIdentity* registered = wrappers.findObject(copy.node);
    // The wrapper's own fields are read only once its registration proves it alive.
    const bool alive = registered != nullptr && *registered == copy.node->identity_ && *registered == copy.nodeIdentity;
    const bool denied = alive && write && copy.node->writeLockCount_.load(std::memory_order_acquire) != 0 &&
                        copy.node->writeLockOwner_.load(std::memory_order_relaxed) != guardThreadId();
    // Entered under the lock that unregistering the wrapper takes too: see IGenAPI::enterCall.
    const bool inSlot = alive && !denied && copy.node->owner()->enterCall();
    wrappers.lock().unlock();
    if (!alive) GenAPINodeGuard(op.site.name, true).OnInvalid();
    if (denied) GenAPINodeGuard(op.site.name, true).OnAccessDenied();
    return CalledNode(*copy.node, inSlot);
}

// The whole of a Node method: guards, the wrapper operation, error conversion, trace line. Names
// come from the wrapper, which outlives the call by the guards' contract; the holder may not.
template <class Operation>
auto run(Node* self, const NodeOp& op, bool write, Operation&& operation) {
    const CalledNode node = resolve(self, op, write);
    try {
        auto result = operation(*node);
        traceResult(op, node->GetName().c_str(), result);
        return result;
    } catch (const CGenAPIException& error) {
        throwForWrapperError(op, node->GetName(), error);
    }
}

String toString(const std::string& text) { return String(text.c_str(), static_cast<int>(text.size())); }

// SetValue and SetString: the text goes through the node type's own text conversion.
void setText(Node* self, const NodeOp& op, const String& value) {
    run(self, op, kWrite, [&value](CGenAPINode& n) {
        std::string text(value.get());
        n.SetValue(text);
        return text;
    });
}

// A view of the node's wrapper, made once and kept with the Node (whose holder is held meanwhile).
NodeMap* nodeView(Node* self, const NodeOp& op, NodeView which,
                  const genAPINodeMap& (CGenAPINodeBase::*source)() const) {
    const CalledNode node = resolve(self, op, kRead);
    CINodeGuard holderGuard(op.site.name);
    NodeData& data = *holderGuard.Acquire(self, NodeAccess::slot(*self));
    std::lock_guard<std::mutex> lock(data.viewsMutex_);
    NodeMap*& view = data.views_[static_cast<std::size_t>(which)];
    if (view == nullptr) {
        try {
            view = NodeAccess::makeNodeMap(((*node).*source)());
        } catch (const CGenAPIException& error) {
            throwForWrapperError(op, data.name_, error);
        }
    }
    traceResult(op, data.name_.c_str(), NoValue{});
    return view;
}

}  // namespace

namespace Internal {

Node* NodeAccess::makeNode(corvid2::CGenAPINode* node) {
    auto* made = new Node();
    made->data_->node_ = node;
    made->data_->nodeIdentity_ = node->identity();
    made->data_->name_ = node->GetName();
    return made;
}

}  // namespace Internal

Node::Node() : data_(new NodeData()) { registerHolder<CINodeGuard>(CORVID2_METHOD(Node, Node), this, data_); }

Node::~Node() {
    unregisterHolder<CINodeGuard>(CORVID2_METHOD(Node, ~Node), this, &data_, [](NodeData*) {});
    for (NodeMap* view : data_->views_) NodeAccess::destroyNodeMap(view);
    delete data_;
}

// The getters that only read one wrapper value: the public name is the wrapper's, and so is the
// trace label.
#define CORVID2_NODE_GETTER(Type, Method)                                                                \
    Type Node::Method() {                                                                                \
        return run(this, CORVID2_NODE_METHOD(Method), kRead, [](CGenAPINode& n) { return n.Method(); }); \
    }
#define CORVID2_NODE_TEXT_GETTER(Method)                                                                           \
    String Node::Method() {                                                                                        \
        return toString(run(this, CORVID2_NODE_METHOD(Method), kRead, [](CGenAPINode& n) { return n.Method(); })); \
    }

// ---- every node type

CORVID2_NODE_TEXT_GETTER(GetName)
CORVID2_NODE_TEXT_GETTER(GetInterface)
CORVID2_NODE_TEXT_GETTER(GetToolTip)
CORVID2_NODE_TEXT_GETTER(GetDescription)
CORVID2_NODE_TEXT_GETTER(GetDisplayName)
CORVID2_NODE_TEXT_GETTER(GetVisibility)
CORVID2_NODE_GETTER(std::int64_t, GetEventID)
CORVID2_NODE_GETTER(bool, GetImplemented)
CORVID2_NODE_GETTER(bool, GetAvailable)
CORVID2_NODE_GETTER(bool, GetLocked)
CORVID2_NODE_TEXT_GETTER(GetImposedAccessMode)
CORVID2_NODE_TEXT_GETTER(GetCurrentAccessMode)
CORVID2_NODE_GETTER(bool, IsReadable)
bool Node::IsWriteable() {
    return run(this, NodeOp{CORVID2_METHOD_AS(Node, IsWriteable, "IsWritable"), false}, kRead,
               [](CGenAPINode& n) { return n.IsWriteable(); });
}
CORVID2_NODE_TEXT_GETTER(GetAlias)
CORVID2_NODE_GETTER(bool, IsSelector)

// ---- values

CORVID2_NODE_TEXT_GETTER(GetValue)
void Node::SetValue(const String& value) { setText(this, CORVID2_NODE_METHOD(SetValue), value); }
String Node::GetString() {
    return toString(run(this, CORVID2_NODE_METHOD(GetString), kRead, [](CGenAPINode& n) { return n.GetValue(); }));
}
void Node::SetString(const String& value) { setText(this, CORVID2_NODE_METHOD(SetString), value); }
CORVID2_NODE_GETTER(std::int64_t, GetInt)
void Node::SetInt(std::int64_t value) {
    run(this, CORVID2_NODE_METHOD(SetInt), kWrite, [value](CGenAPINode& n) {
        n.SetInt(value);
        return value;
    });
}
CORVID2_NODE_GETTER(double, GetDouble)
void Node::SetDouble(double value) {
    run(this, CORVID2_NODE_METHOD(SetDouble), kWrite, [value](CGenAPINode& n) {
        n.SetDouble(value);
        return value;
    });
}
bool Node::GetBool() {
    return run(this, CORVID2_NODE_BOOL_METHOD(GetBool), kRead, [](CGenAPINode& n) { return n.GetBool(); });
}
void Node::SetBool(bool value) {
    run(this, CORVID2_NODE_BOOL_METHOD(SetBool), kWrite, [value](CGenAPINode& n) {
        n.SetBool(value);
        return value;
    });
}
CORVID2_NODE_GETTER(std::int64_t, GetIntMin)
CORVID2_NODE_GETTER(std::int64_t, GetIntMax)
CORVID2_NODE_GETTER(std::int64_t, GetIntInc)
CORVID2_NODE_GETTER(double, GetDoubleMin)
CORVID2_NODE_GETTER(double, GetDoubleMax)
CORVID2_NODE_GETTER(double, GetDoubleInc)
CORVID2_NODE_GETTER(bool, HasInc)
CORVID2_NODE_GETTER(std::int64_t, GetDoublePrecision)
CORVID2_NODE_TEXT_GETTER(GetUnit)
CORVID2_NODE_GETTER(bool, HasUnit)
CORVID2_NODE_TEXT_GETTER(GetRepresentation)
CORVID2_NODE_GETTER(std::int64_t, GetMaxStringLength)
void Node::Execute() {
    run(this, CORVID2_NODE_METHOD(Execute), kWrite, [](CGenAPINode& n) {
        n.Execute();
        return Called{};
    });
}
CORVID2_NODE_GETTER(bool, IsDone)
void Node::get(std::uint8_t* buffer, std::int64_t length) {
    run(this, CORVID2_NODE_METHOD(get), kRead, [buffer, length](CGenAPINode& n) {
        n.get(buffer, length);
        return NoValue{};
    });
}
void Node::set(const std::uint8_t* buffer, std::int64_t length) {
    run(this, CORVID2_NODE_METHOD(set), kWrite, [buffer, length](CGenAPINode& n) {
        n.set(buffer, length);
        return NoValue{};
    });
}
CORVID2_NODE_GETTER(std::int64_t, getAddress)
CORVID2_NODE_GETTER(std::int64_t, getLength)

// ---- views

NodeMap* Node::GetEnumNodeList() {
    return nodeView(this, CORVID2_NODE_METHOD(GetEnumNodeList), NodeView::Entries, &CGenAPINodeBase::GetEnumNodeList);
}
NodeMap* Node::GetNodeTree() {
    return nodeView(this, CORVID2_NODE_METHOD(GetNodeTree), NodeView::Tree, &CGenAPINodeBase::GetNodeTree);
}
NodeMap* Node::GetNodeList() {
    return nodeView(this, CORVID2_NODE_METHOD(GetNodeList), NodeView::Flat, &CGenAPINodeBase::GetNodeList);
}
NodeMap* Node::GetSelectedNodeList() {
    return nodeView(this, CORVID2_NODE_METHOD(GetSelectedNodeList), NodeView::Selected,
                    &CGenAPINodeBase::GetSelectedNodeList);
}

}  // namespace CORVID2
