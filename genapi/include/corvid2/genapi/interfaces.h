// SPDX-License-Identifier: BSD-3-Clause
// Node and node-map interfaces of the GenApi engine, shaped like the GenICam reference interfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "corvid2/genapi/exceptions.h"
#include "corvid2/genapi/types.h"

namespace corvid2::genapi {

struct INode;
struct IValue;
struct INodeMap;
struct IEnumEntry;

using node_vector = std::vector<INode*>;
using value_vector = std::vector<IValue*>;
using CallbackHandleType = std::intptr_t;
/// Called after the node (or a node it depends on) was written or invalidated.
using NodeCallback = std::function<void(INode*)>;

/// What every node and every application port has: an access mode.
struct IBase {
    virtual ~IBase() = default;
    virtual EAccessMode GetAccessMode() const = 0;
};

/// A node of the map.
struct INode : virtual IBase {
    virtual gcstring GetName(bool fullQualified = false) const = 0;
    /// Element name of the node in the description ("IntReg", "SwissKnife", ...).
    virtual gcstring GetNodeType() const = 0;
    virtual EInterfaceType GetPrincipalInterfaceType() const = 0;
    virtual ENameSpace GetNameSpace() const = 0;
    virtual EVisibility GetVisibility() const = 0;
    virtual ECachingMode GetCachingMode() const = 0;
    virtual int64_t GetPollingTime() const = 0;
    virtual gcstring GetToolTip() const = 0;
    virtual gcstring GetDescription() const = 0;
    virtual gcstring GetDisplayName() const = 0;
    virtual gcstring GetDocuURL() const = 0;
    virtual gcstring GetEventID() const = 0;
    virtual bool IsDeprecated() const = 0;
    virtual bool IsStreamable() const = 0;
    /// True for the nodes of the category tree under "Root" (without such a tree: all but entries and ports).
    virtual bool IsFeature() const = 0;
    virtual bool IsAccessModeCacheable() const = 0;
    /// Forgets cached values of this node so that the next read goes to the device; dependents are told.
    virtual void InvalidateNode() = 0;
    virtual void GetChildren(node_vector& children, ELinkType linkType = ctReadingChildren) const = 0;
    virtual void GetParents(node_vector& parents) const = 0;
    virtual INode* GetAlias() const = 0;
    virtual INode* GetCastAlias() const = 0;
    virtual INodeMap* GetNodeMap() const = 0;
    /// Text of a description element of the node (value) and its attributes as "Name=Value" list (attribute).
    virtual bool GetProperty(const gcstring& propertyName, gcstring& valueStr, gcstring& attributeStr) const = 0;
    virtual void GetPropertyNames(gcstring_vector& propertyNames) const = 0;
    virtual void ImposeAccessMode(EAccessMode mode) = 0;
    virtual void ImposeVisibility(EVisibility visibility) = 0;
    virtual CallbackHandleType RegisterCallback(NodeCallback callback) = 0;
    virtual bool DeregisterCallback(CallbackHandleType handle) = 0;
};

/// A node whose value can be shown and set as text.
struct IValue : virtual INode {
    virtual INode* GetNode() { return this; }
    virtual gcstring ToString(bool verify = false, bool ignoreCache = false) = 0;
    virtual void FromString(const gcstring& value, bool verify = true) = 0;
    virtual bool IsValueCacheValid() const = 0;
};

struct IInteger : virtual IValue {
    virtual void SetValue(int64_t value, bool verify = true) = 0;
    virtual int64_t GetValue(bool verify = false, bool ignoreCache = false) = 0;
    virtual int64_t GetMin() = 0;
    virtual int64_t GetMax() = 0;
    virtual EIncMode GetIncMode() = 0;
    virtual int64_t GetInc() = 0;
    virtual int64_autovector_t GetListOfValidValues(bool bounded = true) = 0;
    virtual ERepresentation GetRepresentation() = 0;
    virtual gcstring GetUnit() = 0;
    virtual void ImposeMin(int64_t value) = 0;
    virtual void ImposeMax(int64_t value) = 0;
    IInteger& operator=(int64_t value) {
        SetValue(value);
        return *this;
    }
    int64_t operator()() { return GetValue(); }
};

struct IFloat : virtual IValue {
    virtual void SetValue(double value, bool verify = true) = 0;
    virtual double GetValue(bool verify = false, bool ignoreCache = false) = 0;
    virtual double GetMin() = 0;
    virtual double GetMax() = 0;
    virtual bool HasInc() = 0;
    virtual EIncMode GetIncMode() = 0;
    virtual double GetInc() = 0;
    virtual double_autovector_t GetListOfValidValues(bool bounded = true) = 0;
    virtual ERepresentation GetRepresentation() = 0;
    virtual gcstring GetUnit() = 0;
    virtual EDisplayNotation GetDisplayNotation() = 0;
    virtual int64_t GetDisplayPrecision() = 0;
    virtual void ImposeMin(double value) = 0;
    virtual void ImposeMax(double value) = 0;
    IFloat& operator=(double value) {
        SetValue(value);
        return *this;
    }
    double operator()() { return GetValue(); }
};

struct IString : virtual IValue {
    virtual void SetValue(const gcstring& value, bool verify = true) = 0;
    virtual gcstring GetValue(bool verify = false, bool ignoreCache = false) = 0;
    virtual int64_t GetMaxLength() = 0;
    IString& operator=(const gcstring& value) {
        SetValue(value);
        return *this;
    }
    gcstring operator()() { return GetValue(); }
};

struct IBoolean : virtual IValue {
    virtual void SetValue(bool value, bool verify = true) = 0;
    virtual bool GetValue(bool verify = false, bool ignoreCache = false) const = 0;
    IBoolean& operator=(bool value) {
        SetValue(value);
        return *this;
    }
    bool operator()() const { return GetValue(); }
};

struct ICommand : virtual IValue {
    virtual void Execute(bool verify = true) = 0;
    virtual bool IsDone(bool verify = true) = 0;
    void operator()() { Execute(); }
};

struct IEnumEntry : virtual IValue {
    virtual int64_t GetValue() = 0;
    virtual gcstring GetSymbolic() const = 0;
    virtual double GetNumericValue() = 0;
    virtual bool IsSelfClearing() = 0;
};

struct IEnumeration : virtual IValue {
    virtual void GetSymbolics(gcstring_vector& symbolics) = 0;
    virtual void GetEntries(node_vector& entries) = 0;
    virtual void SetIntValue(int64_t value, bool verify = true) = 0;
    virtual int64_t GetIntValue(bool verify = false, bool ignoreCache = false) = 0;
    virtual IEnumEntry* GetCurrentEntry(bool verify = false, bool ignoreCache = false) = 0;
    virtual IEnumEntry* GetEntryByName(const gcstring& symbolic) = 0;
    virtual IEnumEntry* GetEntry(int64_t intValue) = 0;
    IEnumeration& operator=(const gcstring& symbolic) {
        FromString(symbolic);
        return *this;
    }
};

struct IRegister : virtual IValue {
    virtual void Set(const uint8_t* buffer, int64_t length, bool verify = true) = 0;
    virtual void Get(uint8_t* buffer, int64_t length, bool verify = false, bool ignoreCache = false) = 0;
    virtual int64_t GetLength() = 0;
    virtual int64_t GetAddress() = 0;
};

struct ICategory : virtual IValue {
    virtual void GetFeatures(value_vector& features) const = 0;
};

/// Selector relations of a node; every node offers it (IsSelector tells whether it selects anything).
struct ISelector : virtual INode {
    virtual bool IsSelector() const = 0;
    virtual void GetSelectedFeatures(value_vector& features) const = 0;
    virtual void GetSelectingFeatures(value_vector& features) const = 0;
};

/// A register space: what the application implements and connects to the node map; port nodes offer it too.
struct IPort : virtual IBase {
    virtual void Read(void* buffer, int64_t address, int64_t length) = 0;
    virtual void Write(const void* buffer, int64_t address, int64_t length) = 0;
};

/// A port node that reads chunk or event data instead of a device.
struct IChunkPort : virtual IPort {
    /// Chunk ID of the port as hexadecimal text ("" when not a chunk port).
    virtual gcstring GetChunkID() const = 0;
    virtual bool CacheChunkData() const = 0;
    /// Makes the port read the given bytes (address 0 is data[0]); the bytes stay owned by the caller.
    virtual void AttachChunk(uint8_t* data, int64_t length) = 0;
    virtual void DetachChunk() = 0;
    virtual bool IsAttached() const = 0;
};

/// A node map made from one description.
struct INodeMap {
    virtual ~INodeMap() = default;
    virtual void GetNodes(node_vector& nodes) const = 0;
    /// The node of that name, or null. Enumeration entries are found as "EnumEntry_<Enumeration>_<Entry>".
    virtual INode* GetNode(const gcstring& name) const = 0;
    virtual void InvalidateNodes() const = 0;
    /// Connects the application port to the Port node of that name.
    virtual bool Connect(IPort* port, const gcstring& portName) const = 0;
    /// Connects the application port to the port named "Device", or the only device port.
    virtual bool Connect(IPort* port) const = 0;
    virtual gcstring GetDeviceName() const = 0;
    /// Advances polling timers by the elapsed milliseconds; nodes whose time is up are invalidated.
    virtual void Poll(int64_t elapsedTime) = 0;
    /// The lock that serialises all access to this map (recursive; hold it to group operations).
    virtual std::recursive_mutex& GetLock() const = 0;
    virtual int64_t GetNumNodes() const = 0;
    /// Engine extension: turns all register caching of the map on or off (on by default).
    virtual void SetCachingEnabled(bool enabled) = 0;
    virtual bool IsCachingEnabled() const = 0;
    /// Engine extension: verified register writes are read back and compared (off by default, since devices
    /// may legitimately adjust written values).
    virtual void SetReadBackVerification(bool enabled) = 0;
};

/// Registers a callback on a node; returns the handle for Deregister.
CallbackHandleType Register(INode* node, NodeCallback callback);
/// Removes a callback registered on that node.
bool Deregister(INode* node, CallbackHandleType handle);

/// Typed view of a node: a checked cast that raises LogicalErrorException when dereferenced while empty.
template <class T>
class CPointer {
public:
    CPointer() = default;
    CPointer(INode* node) : ptr_(node ? dynamic_cast<T*>(node) : nullptr) {}  // NOLINT: implicit like the reference
    CPointer(T* ptr) : ptr_(ptr) {}                                           // NOLINT
    template <class U>
    CPointer(const CPointer<U>& other)
        : ptr_(other.IsValid() ? dynamic_cast<T*>(other.operator->()) : nullptr) {}  // NOLINT
    T* operator->() const { return checked(); }
    T& operator*() const { return *checked(); }
    bool IsValid() const { return ptr_ != nullptr; }
    explicit operator bool() const { return ptr_ != nullptr; }
    operator T*() const { return ptr_; }  // NOLINT
    T* get() const { return ptr_; }

private:
    T* checked() const {
        if (!ptr_) CORVID2_GENAPI_THROW(LogicalErrorException, "NULL pointer dereferenced");
        return ptr_;
    }
    T* ptr_ = nullptr;
};

using CNodePtr = CPointer<INode>;
using CValuePtr = CPointer<IValue>;
using CIntegerPtr = CPointer<IInteger>;
using CFloatPtr = CPointer<IFloat>;
using CStringPtr = CPointer<IString>;
using CBooleanPtr = CPointer<IBoolean>;
using CCommandPtr = CPointer<ICommand>;
using CEnumerationPtr = CPointer<IEnumeration>;
using CEnumEntryPtr = CPointer<IEnumEntry>;
using CRegisterPtr = CPointer<IRegister>;
using CCategoryPtr = CPointer<ICategory>;
using CSelectorPtr = CPointer<ISelector>;
using CPortPtr = CPointer<IPort>;
using CChunkPortPtr = CPointer<IChunkPort>;

/// Checked cast: the typed interface or null when the node does not offer it.
template <class T>
T* CastNode(INode* node) {
    return node ? dynamic_cast<T*>(node) : nullptr;
}

/// Like CastNode but raises DynamicCastException naming the node when it does not offer the interface.
template <class T>
T& CastNodeOrThrow(INode* node, const char* interfaceName) {
    T* typed = CastNode<T>(node);
    if (!typed) {
        throw DynamicCastException(
            std::string("node '") + (node ? node->GetName() : std::string("(null)")) + "' is not " + interfaceName,
            __FILE__, __LINE__);
    }
    return *typed;
}

bool IsReadable(EAccessMode mode);
bool IsWritable(EAccessMode mode);
bool IsImplemented(EAccessMode mode);
bool IsAvailable(EAccessMode mode);
inline bool IsReadable(const IBase* node) { return node && IsReadable(node->GetAccessMode()); }
inline bool IsWritable(const IBase* node) { return node && IsWritable(node->GetAccessMode()); }
inline bool IsImplemented(const IBase* node) { return node && IsImplemented(node->GetAccessMode()); }
inline bool IsAvailable(const IBase* node) { return node && IsAvailable(node->GetAccessMode()); }

}  // namespace corvid2::genapi
