// SPDX-License-Identifier: BSD-3-Clause
// The node map: owns the nodes, their lock, the name index, invalidation propagation and polling.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "corvid2/genapi/interfaces.h"
#include "node_base.h"

namespace corvid2::genapi::detail {

/// A parsed description, shared by the factory and the node maps made from it (they read its elements).
struct Description {
    std::vector<char> text;  // owned copy, parsed in place
    pugi::xml_document document;
    pugi::xml_node root;
    std::vector<pugi::xml_node> nodes;  // node elements in document order (Groups flattened, StructReg kept)
    std::unordered_map<std::string_view, pugi::xml_node> byName;  // also StructEntry elements
};

class NodeMapImpl;

/// Collects the nodes of one map while it is built.
class Builder {
public:
    explicit Builder(NodeMapImpl& map) : map_(map) {}
    NodeMapImpl& map() { return map_; }
    void add(std::unique_ptr<Node> node);
    /// Builds the node of one element (dispatch by element name); `shared` is the StructReg of a StructEntry.
    void build(pugi::xml_node element, pugi::xml_node shared = {});

private:
    NodeMapImpl& map_;
};

using NodeCreator = void (*)(Builder& builder, const NodeXml& xml);

/// The usual creator: one node of class T, typed by its element name.
template <class T>
void createNode(Builder& builder, const NodeXml& xml) {
    builder.add(std::make_unique<T>(builder.map(), xml, xml.self.name()));
}
using CreatorTable = std::unordered_map<std::string_view, NodeCreator>;

// Each node family adds the creators of its element names.
void addIntegerCreators(CreatorTable& table);
void addFloatCreators(CreatorTable& table);
void addRegisterCreators(CreatorTable& table);
void addEnumerationCreators(CreatorTable& table);
void addMiscCreators(CreatorTable& table);
void addConfigRomCreators(CreatorTable& table);
/// Builds the named IntKey and TextDesc entries listed inside a ConfRom element.
void addConfigRomKeys(Builder& builder, const NodeXml& confRom);
const CreatorTable& creatorTable();

class NodeMapImpl final : public INodeMap {
public:
    NodeMapImpl(std::shared_ptr<const Description> description, std::string deviceName);
    ~NodeMapImpl() override;

    /// Builds the nodes of the description (all of them, or those named in `only`), links and checks them.
    void build(const std::unordered_set<std::string>* only);

    // INodeMap
    void GetNodes(node_vector& nodes) const override;
    INode* GetNode(const gcstring& name) const override;
    void InvalidateNodes() const override;
    bool Connect(IPort* port, const gcstring& portName) const override;
    bool Connect(IPort* port) const override;
    gcstring GetDeviceName() const override { return deviceName_; }
    void Poll(int64_t elapsedTime) override;
    std::recursive_mutex& GetLock() const override { return mutex_; }
    int64_t GetNumNodes() const override { return static_cast<int64_t>(nodes_.size()); }
    void SetCachingEnabled(bool enabled) override;
    bool IsCachingEnabled() const override { return caching_; }
    void SetReadBackVerification(bool enabled) override { readBack_ = enabled; }
    bool readBack() const { return readBack_; }

    // Internals
    Node* find(std::string_view name) const;
    void addNode(std::unique_ptr<Node> node);
    /// Tells everything that depends on `node` that it changed; with includeSelf the node's own cache goes too.
    void changed(Node& node, bool includeSelf) const;
    bool caching() const { return caching_; }
    EvaluationState& evaluationState() const { return evaluationState_; }
    CallbackHandleType nextCallbackHandle() { return ++callbackCounter_; }

private:
    void checkCycles() const;
    void groupSiblings();
    void markFeatures();

    std::shared_ptr<const Description> description_;
    std::string deviceName_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::unordered_map<std::string_view, Node*> byName_;
    mutable std::recursive_mutex mutex_;
    bool caching_ = true;
    bool readBack_ = false;
    mutable uint32_t epoch_ = 0;
    // What a node gave within one evaluation is reused only there: every change begins a new one.
    mutable EvaluationState evaluationState_;
    CallbackHandleType callbackCounter_ = 0;
    std::vector<Node*> polled_;
};

}  // namespace corvid2::genapi::detail
