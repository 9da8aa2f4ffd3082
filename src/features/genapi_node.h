// SPDX-License-Identifier: BSD-3-Clause
// Node wrappers: one operation set for every GenApi node type, with the library's type rules,
// fixed texts and one error class (CGenAPIException), plus the hook that lets a device serialise
// or hide access to some of its features.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <corvid2/genapi/interfaces.h>

#include "core/access_control.h"
#include "core/object_guard.h"

namespace corvid2 {

class IGenAPI;
class CGenAPINode;

// Class texts of CGenAPIException; each names a result code (Error, AccessDenied, InvalidParameter, NotAvailable).
inline constexpr char kGenAPIClassError[] = "Error";
inline constexpr char kGenAPIClassAccessDenied[] = "access denied";
inline constexpr char kGenAPIClassInvalidParameter[] = "invalid parameter";
inline constexpr char kGenAPIClassNotAvailable[] = "not available";

// The one exception of the wrapper layer. what() is the description.
class CGenAPIException : public std::exception {
public:
    CGenAPIException(std::string description, std::string className)
        : description_(std::move(description)), className_(std::move(className)) {}
    const char* what() const noexcept override { return description_.c_str(); }
    const std::string& description() const { return description_; }
    const std::string& className() const { return className_; }

private:
    std::string description_;
    std::string className_;
};

// Event and chunk IDs of descriptions: hexadecimal text, with or without "0x". False for empty or
// malformed text.
bool parseHexId(const std::string& text, std::uint64_t& id);

// A view of wrappers by name (the name table, a category's children, an enumeration's entries,
// a selector's selected features). It does not own the wrappers: their IGenAPI does.
class genAPINodeMap {
public:
    using Map = std::map<std::string, CGenAPINode*>;
    using const_iterator = Map::const_iterator;

    CGenAPINode* find(const std::string& name) const;
    // Only when the node is available (access mode neither NI nor NA).
    CGenAPINode* findAvailable(const std::string& name) const;
    // The first of `names` that is present (and available, when asked).
    CGenAPINode* findFirst(std::initializer_list<const char*> names, bool availableOnly) const;

    void insert(const std::string& name, CGenAPINode* node) { map_.emplace(name, node); }
    void clear() { map_.clear(); }
    std::size_t size() const { return map_.size(); }
    bool empty() const { return map_.empty(); }
    const_iterator begin() const { return map_.begin(); }
    const_iterator end() const { return map_.end(); }

private:
    Map map_;
};

// Hook a device attaches to some wrappers: enter/leave bracket every value operation of the
// wrapper; the filters may narrow what the wrapper reports about availability and access.
class CNodeWrapperData {
public:
    virtual ~CNodeWrapperData() = default;
    virtual void enter(CGenAPINode& node) = 0;
    virtual void leave(CGenAPINode& node) = 0;
    virtual bool filterBool(CGenAPINode& /*node*/, bool answer) { return answer; }
    virtual std::string filterAccessMode(CGenAPINode& /*node*/, std::string text) { return text; }
};

// Scope of one value operation: enter on construction, leave on destruction (also when the
// operation raises). Does nothing without hook.
class CNodeWrapper {
public:
    CNodeWrapper(CNodeWrapperData* hook, CGenAPINode& node) : hook_(hook), node_(node) {
        if (hook_ != nullptr) hook_->enter(node_);
    }
    ~CNodeWrapper() {
        if (hook_ != nullptr) hook_->leave(node_);
    }
    CNodeWrapper(const CNodeWrapper&) = delete;
    CNodeWrapper& operator=(const CNodeWrapper&) = delete;

private:
    CNodeWrapperData* hook_;
    CGenAPINode& node_;
};

// The node's typed interfaces, looked up once when the wrapper is made so that value operations
// need no cast. Only the one of the node's principal type is set (plus value and selector).
struct GenAPINodeInterfaces {
    genapi::IValue* value = nullptr;
    genapi::IInteger* integer = nullptr;
    genapi::IFloat* floating = nullptr;
    genapi::IString* string = nullptr;
    genapi::IBoolean* boolean = nullptr;
    genapi::ICommand* command = nullptr;
    genapi::IEnumeration* enumeration = nullptr;
    genapi::IEnumEntry* entry = nullptr;
    genapi::IRegister* reg = nullptr;
    genapi::ICategory* category = nullptr;
    genapi::ISelector* selector = nullptr;
};

// One GenApi node with the operations of the public Node. Operations that the node's type does
// not support raise CGenAPIException class "not available" ("<op> not supported for Node '<name>'");
// GenApi's own exceptions are converted (AccessException -> "access denied", InvalidArgument and
// OutOfRange -> "invalid parameter", others -> "Error"). A wrapper without node raises
// "node is not initialized.", class "Error".
class CGenAPINodeBase : public CorvidObjectAccessControl {
public:
    CGenAPINodeBase(genapi::INode* node, IGenAPI* owner);
    virtual ~CGenAPINodeBase();
    CGenAPINodeBase(const CGenAPINodeBase&) = delete;
    CGenAPINodeBase& operator=(const CGenAPINodeBase&) = delete;

    genapi::INode* node() const { return node_; }
    IGenAPI* owner() const { return owner_; }
    // Fills the child views (category), the entry map (enumeration) and the selected-feature map
    // from the owner's name table; called by the owner once all wrappers exist.
    void initialize();

    // ---- every node type
    const std::string& GetName() const { return name_; }
    std::string GetInterface() const;  // "IInteger", ..., "" for other types
    std::string GetExtension() const;
    std::string GetToolTip() const;
    std::string GetDescription() const;
    std::string GetDisplayName() const;
    std::string GetVisibility() const;  // "Beginner", "Expert", "Guru", "Invisible"
    std::int64_t GetEventID() const;
    bool GetImplemented() const;
    bool GetAvailable();
    bool GetLocked() const;
    std::string GetImposedAccessMode();
    std::string GetCurrentAccessMode();  // "NI", "NA", "WO", "RO", "RW"
    bool IsReadable() const;
    bool IsWriteable();
    std::string GetAlias() const;
    bool IsSelector() const;

    // ---- values
    std::string GetValue();
    void SetValue(const std::string& value);
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
    std::string GetUnit();
    bool HasUnit();
    std::string GetRepresentation();
    std::int64_t GetMaxStringLength();
    void Execute();
    bool IsDone();
    void get(std::uint8_t* buffer, std::int64_t length);
    void set(const std::uint8_t* buffer, std::int64_t length);
    std::int64_t getAddress();
    std::int64_t getLength();

    // ---- views
    const genAPINodeMap& GetEnumNodeList() const;
    const genAPINodeMap& GetNodeTree() const;
    const genAPINodeMap& GetNodeList() const;
    const genAPINodeMap& GetSelectedNodeList() const;

    // Forgets the node's cached value and that of its terminal nodes (next read goes to the device).
    void invalidate();

protected:
    // The hook of CGenAPINode; none here.
    virtual CNodeWrapperData* wrapperData() const { return nullptr; }

private:
    // Runs a value operation: the table entry of the node's type (or "<prefix> not supported"),
    // inside the hook's scope, with engine exceptions converted.
    template <class Fn, class Invoke>
    decltype(auto) operate(const Fn* table, const char* prefix, Invoke&& invoke);
    template <class Fn>
    decltype(auto) read(const Fn* table, const char* prefix);
    // Writes ask the owner first whether GenApi should verify (no read-back while stacking).
    template <class Fn, class T>
    void write(const Fn* table, const char* prefix, const T& value);
    const genAPINodeMap& view(genapi::EInterfaceType type, const char* prefix, const genAPINodeMap& member) const;
    // Node check and exception conversion only.
    template <class Invoke>
    decltype(auto) guarded(Invoke&& invoke) const;
    [[noreturn]] void unsupported(const char* prefix) const;
    // The answer of noteFeatureWrite: whether GenApi should verify this write.
    bool verifyWrite() const;
    genapi::EAccessMode accessMode() const;
    bool filterBool(bool answer);
    std::string filterAccessMode(std::string text);
    void collectFlat(const genAPINodeMap& tree, std::vector<const CGenAPINodeBase*>& visited);

    genapi::INode* node_;
    IGenAPI* owner_;
    std::string name_;
    std::string imposedAccessMode_;  // read once
    genapi::EInterfaceType type_ = genapi::intfIBase;
    GenAPINodeInterfaces typed_;
    genAPINodeMap tree_, flat_, entries_, selected_;
};

// The wrapper IGenAPI creates: CGenAPINodeBase plus the optional device hook.
class CGenAPINode : public CGenAPINodeBase {
public:
    using CGenAPINodeBase::CGenAPINodeBase;
    void setWrapperData(CNodeWrapperData* hook) { hook_ = hook; }
    CNodeWrapperData* getWrapperData() const { return hook_; }

protected:
    CNodeWrapperData* wrapperData() const override { return hook_; }

private:
    CNodeWrapperData* hook_ = nullptr;
};

// Wrappers are registered (root kind, no owner) while they live; the public Node looks its wrapper
// up through this guard, lookup-only, before every operation.
using GenAPINodeGuard = CObjectGuard<RegistryKind::GenAPINode, CGenAPINode, UncountedRecordBase<CGenAPINode>>;

}  // namespace corvid2
