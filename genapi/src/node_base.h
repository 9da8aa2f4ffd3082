// SPDX-License-Identifier: BSD-3-Clause
// Common part of every node: description access, reference linking, access mode, invalidation and callbacks.
#pragma once

#include <cstdint>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "corvid2/genapi/interfaces.h"

namespace corvid2::genapi::detail {

class NodeMapImpl;
class Node;

/// Where evaluations of one map stand; the map owns it, every node points to it.
struct EvaluationState {
    int depth = 0;            // units of stack in use (see DepthGuard)
    uint32_t steps = 0;       // guards entered since the outermost one
    uint64_t evaluation = 1;  // number of the current evaluation: a new one with every outermost guard and change
};

/// Description elements of one node; `shared` is the enclosing StructReg whose children a StructEntry inherits.
struct NodeXml {
    pugi::xml_node self;
    pugi::xml_node shared;

    pugi::xml_node child(const char* name) const;
    std::vector<pugi::xml_node> children(const char* name) const;
    const char* text(const char* name, const char* fallback = nullptr) const;
};

/// Number parsing of description texts; errors name the node and the element.
int64_t parseInteger(const char* text, const std::string& node, const char* element);
double parseFloat(const char* text, const std::string& node, const char* element);
bool parseYesNo(const char* text, bool fallback);
EAccessMode parseAccessMode(const char* text, EAccessMode fallback);
/// Intersection of two access modes (what both allow).
EAccessMode combineAccess(EAccessMode a, EAccessMode b);

/// Resolves node names to pointers while a map is built; records the dependency edges.
class Linker {
public:
    Linker(NodeMapImpl& map, Node& self) : map_(map), self_(self) {}
    /// Node named in a reference element; raises naming both nodes when it is missing.
    Node* resolve(const char* name, const char* element, bool dependency = true);
    /// All nodes of the repeated element `element`.
    std::vector<Node*> resolveAll(const NodeXml& xml, const char* element, bool dependency = true);
    /// Node of an optional element, or null.
    Node* resolveOptional(const NodeXml& xml, const char* element, bool dependency = true);
    NodeMapImpl& map() { return map_; }

private:
    NodeMapImpl& map_;
    Node& self_;
};

/// Raises exception E with a text that starts with the node's name.
#define CORVID2_NODE_THROW(E, node, text) \
    throw E(std::string("node '") + (node).name() + "': " + (text), __FILE__, __LINE__)

class Node : public virtual ISelector {
public:
    Node(NodeMapImpl& map, NodeXml xml, std::string name, const char* nodeType);
    ~Node() override;

    // INode
    gcstring GetName(bool fullQualified = false) const override;
    gcstring GetNodeType() const override { return nodeType_; }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIBase; }
    EAccessMode GetAccessMode() const override;
    ENameSpace GetNameSpace() const override;
    EVisibility GetVisibility() const override;
    ECachingMode GetCachingMode() const override;
    int64_t GetPollingTime() const override { return pollingTime_; }
    gcstring GetToolTip() const override;
    gcstring GetDescription() const override;
    gcstring GetDisplayName() const override;
    gcstring GetDocuURL() const override;
    gcstring GetEventID() const override;
    bool IsDeprecated() const override;
    bool IsStreamable() const override;
    bool IsFeature() const override;
    bool IsAccessModeCacheable() const override { return !volatile_; }
    void InvalidateNode() override;
    void GetChildren(node_vector& children, ELinkType linkType) const override;
    void GetParents(node_vector& parents) const override;
    INode* GetAlias() const override;
    INode* GetCastAlias() const override;
    INodeMap* GetNodeMap() const override;
    bool GetProperty(const gcstring& propertyName, gcstring& valueStr, gcstring& attributeStr) const override;
    void GetPropertyNames(gcstring_vector& propertyNames) const override;
    void ImposeAccessMode(EAccessMode mode) override;
    void ImposeVisibility(EVisibility visibility) override;
    CallbackHandleType RegisterCallback(NodeCallback callback) override;
    bool DeregisterCallback(CallbackHandleType handle) override;
    // ISelector
    bool IsSelector() const override { return !selected_.empty(); }
    void GetSelectedFeatures(value_vector& features) const override;
    void GetSelectingFeatures(value_vector& features) const override;

    // Engine internals, called with the map locked.
    const std::string& name() const { return name_; }
    NodeMapImpl& map() const { return map_; }
    EvaluationState& evaluationState() const { return evaluationState_; }
    const NodeXml& xml() const { return xml_; }
    /// Resolves the references of the node; overrides call the base first.
    virtual void link(Linker& linker);
    /// Current access mode (cached while nothing it depends on changes).
    EAccessMode accessMode() const;
    /// Access the node allows by its own kind, before implemented/available/locked/imposed are applied.
    virtual EAccessMode ownAccessMode() const { return RW; }
    /// Drops cached register contents; the default node keeps none.
    virtual void dropCache() {}
    virtual bool hasValidCache() const { return false; }
    /// True for register nodes that never cache and for polled nodes: their access mode is not cached either.
    virtual bool isVolatileSource() const { return pollingTime_ > 0; }
    /// Port nodes take the application's port; other nodes refuse.
    virtual bool connectPort(IPort*) { return false; }
    /// True for a Port node that is neither a chunk nor an event port.
    virtual bool isDevicePort() const { return false; }
    /// Registers at a fixed address report their port and address so that aliases share invalidation.
    virtual bool fixedLocation(const Node*& port, int64_t& address) const { return false; }
    /// Registers answer true (terminal nodes of a write).
    virtual bool isRegister() const { return false; }
    /// Categories list their features; other nodes have none.
    virtual const std::vector<Node*>* categoryFeatures() const { return nullptr; }

    // Numeric value protocol used by references and formulas; the public interfaces sit on top.
    virtual bool isFloatValued() const { return false; }
    virtual int64_t getInt(bool verify, bool ignoreCache);
    virtual void setInt(int64_t value, bool verify);
    virtual double getFloat(bool verify, bool ignoreCache) { return static_cast<double>(getInt(verify, ignoreCache)); }
    virtual void setFloat(double value, bool verify);
    virtual int64_t intMin() { return INT64_MIN; }
    virtual int64_t intMax() { return INT64_MAX; }
    virtual int64_t intInc() { return 1; }
    virtual double floatMin() { return static_cast<double>(intMin()); }
    virtual double floatMax() { return static_cast<double>(intMax()); }
    virtual double floatInc() { return static_cast<double>(intInc()); }
    /// Both limits at once. Nodes that take their limits from another node override these, so that a chain of
    /// such nodes asks each link once instead of once per limit and level.
    virtual void intRange(int64_t& low, int64_t& high) {
        low = intMin();
        high = intMax();
    }
    virtual void floatRange(double& low, double& high);
    /// Whether floatInc()/intInc() is meaningful: integers always step; floats only where an increment is known.
    virtual bool hasIncrement() { return !isFloatValued(); }
    /// The ValidValueSet in effect (the node's own, or one it inherits with its increment); empty when none.
    virtual pugi::xml_node validValueSet() { return xml_.child("ValidValueSet"); }

    /// Checked reads and writes: access mode first, then the value; writes tell dependents afterwards.
    int64_t readInt(bool verify = false, bool ignoreCache = false);
    double readFloat(bool verify = false, bool ignoreCache = false);
    void writeInt(int64_t value, bool verify = true);
    void writeFloat(double value, bool verify = true);
    void checkReadable() const;
    void checkWritable() const;
    /// Checks pError after a verified write (fresh from the device) or after a read (through the error's cache
    /// unless the read itself bypassed caches): a non-zero error value raises with the entry's name and text.
    void checkError(bool ignoreCache = true) const;
    /// True while pBlockPolling reads non-zero: polling leaves the node alone.
    bool pollingBlocked() const;

    // Graph edges, filled while linking.
    std::vector<Node*> children_;      // nodes this one reads (values, limits, addresses, access conditions)
    std::vector<Node*> dependents_;    // reverse of children_
    std::vector<Node*> invalidators_;  // pInvalidator
    std::vector<Node*> invalidates_;   // reverse of pInvalidator
    std::vector<Node*> siblings_;      // registers on the same port and address
    std::vector<Node*> selected_;      // pSelected
    std::vector<Node*> selecting_;     // reverse of pSelected
    mutable uint32_t visitEpoch_ = 0;
    bool volatile_ = false;
    int64_t pollingTime_ = 0;
    int64_t pollingElapsed_ = 0;
    bool isEntry_ = false;  // EnumEntry
    bool feature_ = false;  // reachable from the category "Root" (set by the map)
    std::vector<std::pair<CallbackHandleType, NodeCallback>> callbacks_;
    mutable bool accessValid_ = false;
    mutable EAccessMode accessCache_ = NI;
    // What this node gave earlier in the current evaluation (EvaluationState::evaluation): one evaluation sees one
    // state of every node, and formulas that read a node many times ask it once.
    mutable uint64_t accessEvaluation_ = 0;
    uint64_t intEvaluation_ = 0;
    uint64_t floatEvaluation_ = 0;
    int64_t intMemo_ = 0;
    double floatMemo_ = 0;

protected:
    void collectTerminals(node_vector& terminals) const;
    NodeMapImpl& map_;
    EvaluationState& evaluationState_;
    NodeXml xml_;
    std::string name_;
    const char* nodeType_;
    Node* isImplemented_ = nullptr;
    Node* isAvailable_ = nullptr;
    Node* isLocked_ = nullptr;
    Node* alias_ = nullptr;
    Node* castAlias_ = nullptr;
    Node* blockPolling_ = nullptr;
    std::vector<Node*> errors_;
    EAccessMode imposed_ = RW;
    EVisibility imposedVisibility_ = _UndefinedVisibility;
    mutable bool computingAccess_ = false;
};

/// Lock of the node's map for one public operation.
class MapGuard {
public:
    explicit MapGuard(const Node& node);
    ~MapGuard();
    MapGuard(const MapGuard&) = delete;
    MapGuard& operator=(const MapGuard&) = delete;

private:
    std::recursive_mutex& mutex_;
};

/// Bounds what one evaluation may cost, so that a hostile description raises (naming the node) instead of
/// overflowing the stack or running for ages. Depth is counted in units of stack: a node level costs
/// kNodeLevel, a formula as many as its tree is high, and the whole nesting of one evaluation, through nodes
/// and formulas alike, stays under kMaxDepth. The steps of one outermost evaluation are counted too, as a last
/// bound on its time. The outermost guard also begins a new evaluation. Entered on every read, so it is inline.
class DepthGuard {
public:
    static constexpr int kNodeLevel = 16;
    static constexpr int kMaxDepth = 200 * kNodeLevel;
    static constexpr uint32_t kMaxSteps = 1000000;

    explicit DepthGuard(const Node& node, int weight = kNodeLevel) : state_(node.evaluationState()), weight_(weight) {
        if (state_.depth == 0) {
            state_.steps = 0;
            ++state_.evaluation;
        }
        if (state_.depth + weight > kMaxDepth || ++state_.steps > kMaxSteps) raise(node);
        state_.depth += weight;
    }
    ~DepthGuard() { state_.depth -= weight_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    /// Raises the step error when the current evaluation has used up its steps. An access mode computed after
    /// that reads NA; callers that refuse access on NA say the true reason with this.
    static void raiseIfExhausted(const Node& node);

private:
    [[noreturn]] void raise(const Node& node);
    EvaluationState& state_;
    int weight_;
};

/// Text helpers shared by the value families.
std::string formatFloat(double value);
/// The integer nearest to `value`, saturated at the ends of the 64-bit range (NaN gives 0): a float limit such as
/// +-DBL_MAX becomes the integer range instead of an undefined conversion.
int64_t saturatingRound(double value);
int64_t parseIntegerText(const std::string& text, const Node& node);
double parseFloatText(const std::string& text, const Node& node);

}  // namespace corvid2::genapi::detail
