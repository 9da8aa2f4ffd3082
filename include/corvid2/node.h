// SPDX-License-Identifier: BSD-3-Clause
// Features of a module: Node (one feature), NodeMap (a view of features by name) and INode, the
// feature side every module class (System, Interface, ...) inherits.
#ifndef CORVID2_NODE_H
#define CORVID2_NODE_H

#include <cstddef>
#include <cstdint>

#include "corvid2/export.h"
#include "corvid2/string.h"

namespace CORVID2 {

class NodeMap;
namespace Internal {
struct NodeData;
struct NodeMapData;
struct INodeData;
struct NodeAccess;
}  // namespace Internal

// One feature of a module. Every operation throws the library's exceptions; an operation the
// feature's type does not support throws NotAvailableException.
class CORVID2_API Node {
public:
    String GetName();
    // "IInteger", "IBoolean", "ICommand", "IFloat", "IString", "IRegister", "ICategory",
    // "IEnumeration" (also for enumeration entries), "IPort"; empty for other types.
    String GetInterface();
    String GetToolTip();
    String GetDescription();
    String GetDisplayName();
    String GetVisibility();
    std::int64_t GetEventID();
    bool GetImplemented();
    bool GetAvailable();
    bool GetLocked();
    String GetImposedAccessMode();
    String GetCurrentAccessMode();
    bool IsReadable();
    bool IsWriteable();
    String GetAlias();
    bool IsSelector();

    String GetValue();
    void SetValue(const String& value);
    String GetString();
    void SetString(const String& value);
    std::int64_t GetInt();
    void SetInt(std::int64_t value);
    double GetDouble();
    void SetDouble(double value);
    bool GetBool();
    void SetBool(bool value);
    std::int64_t GetIntMin();
    std::int64_t GetIntMax();
    std::int64_t GetIntInc();
    double GetDoubleMin();
    double GetDoubleMax();
    double GetDoubleInc();
    bool HasInc();
    std::int64_t GetDoublePrecision();
    String GetUnit();
    bool HasUnit();
    String GetRepresentation();
    std::int64_t GetMaxStringLength();
    void Execute();
    bool IsDone();
    // Raw register bytes.
    void get(std::uint8_t* buffer, std::int64_t length);
    void set(const std::uint8_t* buffer, std::int64_t length);
    std::int64_t getAddress();
    std::int64_t getLength();

    // Entries of an enumeration, children of a category (tree: direct ones, list: every feature
    // below), features a selector selects.
    NodeMap* GetEnumNodeList();
    NodeMap* GetNodeTree();
    NodeMap* GetNodeList();
    NodeMap* GetSelectedNodeList();

    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

private:
    friend struct Internal::NodeAccess;
    Node();
    ~Node();
    Internal::NodeData* data_;
};

// Features by name, in name order.
class CORVID2_API NodeMap {
public:
    class CORVID2_API iterator {
    public:
        iterator() = default;
        iterator& operator++();
        Node* operator*() const;
        Node* operator->() const;
        bool operator==(const iterator& other) const;
        bool operator!=(const iterator& other) const;

    private:
        friend class NodeMap;
        iterator(NodeMap* map, std::size_t position) : map_(map), position_(position) {}
        NodeMap* map_ = nullptr;
        std::size_t position_ = 0;
    };

    // Throw InvalidParameterException for a name or index not in the map.
    Node* GetNode(const String& name);
    Node* operator[](const String& name);
    Node* GetNodeByIndex(std::size_t index);
    Node* operator[](std::size_t index);
    bool GetNodePresent(const String& name);
    std::size_t GetNodeCount();
    std::size_t size();
    iterator find(const String& name);
    iterator begin();
    iterator end();

    NodeMap(const NodeMap&) = delete;
    NodeMap& operator=(const NodeMap&) = delete;

private:
    friend struct Internal::NodeAccess;
    NodeMap();
    ~NodeMap();
    Internal::NodeMapData* data_;
};

// The feature side of a module class; views are made on first use.
class CORVID2_API INode {
public:
    // Throws InvalidParameterException "The node '<name>' does not exist." for an unknown name.
    Node* GetNode(const String& name);
    // Categories and features from the root down, and every feature without categories.
    NodeMap* GetNodeTree();
    NodeMap* GetNodeList();

    INode(const INode&) = delete;
    INode& operator=(const INode&) = delete;

protected:
    // `nodeMapRequired`: a module without node map throws instead of showing no features.
    explicit INode(bool nodeMapRequired);
    ~INode();

private:
    friend struct Internal::NodeAccess;
    Internal::INodeData* nodeData_;
};

}  // namespace CORVID2

#endif
