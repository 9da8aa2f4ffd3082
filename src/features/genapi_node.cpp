// SPDX-License-Identifier: BSD-3-Clause
// Node wrappers: per-type tables of what each operation does, the fixed texts, and the conversion
// of engine exceptions into the one error class of the feature layer.
#include "features/genapi_node.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "features/igenapi.h"

namespace corvid2 {

namespace {

using genapi::EInterfaceType;
using Interfaces = GenAPINodeInterfaces;

constexpr std::size_t kTypeCount = genapi::intfIPort + 1;

// A table with one entry per principal interface type; null where the operation does not apply.
template <class Fn>
struct ByType {
    std::array<Fn, kTypeCount> entries{};
    constexpr ByType(std::initializer_list<std::pair<EInterfaceType, Fn>> list) {
        for (const auto& [type, fn] : list) entries[static_cast<std::size_t>(type)] = fn;
    }
    constexpr const Fn* data() const { return entries.data(); }
};

template <class R>
using Getter = R (*)(const Interfaces&);
template <class T>
using Setter = void (*)(const Interfaces&, T, bool verify);

// Indexed by EInterfaceType: entries answer as their enumeration does.
constexpr const char* kInterfaceTexts[kTypeCount] = {
    "",        "",          "IInteger",  "IBoolean",     "ICommand",     "IFloat",
    "IString", "IRegister", "ICategory", "IEnumeration", "IEnumeration", "IPort"};
constexpr const char* kVisibilityTexts[] = {"Beginner", "Expert", "Guru", "Invisible"};
constexpr const char* kAccessModeTexts[] = {"NI", "NA", "WO", "RO", "RW"};
constexpr const char* kRepresentationTexts[] = {"Linear",    "Logarithmic", "Boolean",   "PureNumber",
                                                "HexNumber", "IPV4Address", "MACAddress"};

template <std::size_t N>
const char* textOf(const char* const (&texts)[N], int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N ? texts[index] : "";
}

// Saturating and rounding, so that no double is cast out of the range of the integer type.
std::int64_t toInt64(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kMax = 9223372036854775807.0;
    if (value >= kMax) return std::numeric_limits<std::int64_t>::max();
    if (value <= -kMax) return std::numeric_limits<std::int64_t>::min();
    return std::llround(value);
}

using genapi::intfIBoolean;
using genapi::intfICategory;
using genapi::intfICommand;
using genapi::intfIEnumEntry;
using genapi::intfIEnumeration;
using genapi::intfIFloat;
using genapi::intfIInteger;
using genapi::intfIRegister;
using genapi::intfIString;

// ---- value tables --------------------------------------------------------------------------------
std::string valueText(const Interfaces& n) { return n.value->ToString(); }

constexpr ByType<Getter<std::string>> kGetValue{
    {intfIInteger, valueText},
    {intfIBoolean, valueText},
    {intfICommand, [](const Interfaces& n) -> std::string { return n.command->IsDone() ? "Done" : "InProgress"; }},
    {intfIFloat, valueText},
    {intfIString, [](const Interfaces& n) { return n.string->GetValue(); }},
    {intfIEnumeration, valueText},
    {intfIEnumEntry, [](const Interfaces& n) { return n.entry->GetSymbolic(); }}};

void valueFromText(const Interfaces& n, const std::string& text, bool verify) { n.value->FromString(text, verify); }
constexpr ByType<Setter<const std::string&>> kSetValue{
    {intfIInteger, valueFromText},
    {intfIBoolean, valueFromText},
    {intfICommand, [](const Interfaces& n, const std::string&, bool verify) { n.command->Execute(verify); }},
    {intfIFloat, valueFromText},
    {intfIString, [](const Interfaces& n, const std::string& text, bool verify) { n.string->SetValue(text, verify); }},
    {intfIEnumeration, valueFromText}};

constexpr ByType<Getter<std::int64_t>> kGetInt{
    {intfIInteger, [](const Interfaces& n) { return n.integer->GetValue(); }},
    {intfIBoolean, [](const Interfaces& n) -> std::int64_t { return n.boolean->GetValue() ? 1 : 0; }},
    {intfIFloat, [](const Interfaces& n) { return toInt64(n.floating->GetValue()); }},
    {intfIEnumeration, [](const Interfaces& n) { return n.enumeration->GetIntValue(); }},
    {intfIEnumEntry, [](const Interfaces& n) { return n.entry->GetValue(); }}};

constexpr ByType<Setter<std::int64_t>> kSetInt{
    {intfIInteger, [](const Interfaces& n, std::int64_t v, bool verify) { n.integer->SetValue(v, verify); }},
    {intfIBoolean, [](const Interfaces& n, std::int64_t v, bool verify) { n.boolean->SetValue(v != 0, verify); }},
    {intfIFloat,
     [](const Interfaces& n, std::int64_t v, bool verify) { n.floating->SetValue(static_cast<double>(v), verify); }},
    {intfIEnumeration,
     [](const Interfaces& n, std::int64_t v, bool verify) { n.enumeration->SetIntValue(v, verify); }}};

constexpr ByType<Getter<double>> kGetDouble{
    {intfIInteger, [](const Interfaces& n) { return static_cast<double>(n.integer->GetValue()); }},
    {intfIBoolean, [](const Interfaces& n) { return n.boolean->GetValue() ? 1.0 : 0.0; }},
    {intfIFloat, [](const Interfaces& n) { return n.floating->GetValue(); }},
    {intfIEnumeration, [](const Interfaces& n) { return static_cast<double>(n.enumeration->GetIntValue()); }},
    {intfIEnumEntry, [](const Interfaces& n) { return static_cast<double>(n.entry->GetValue()); }}};

constexpr ByType<Setter<double>> kSetDouble{
    {intfIInteger, [](const Interfaces& n, double v, bool verify) { n.integer->SetValue(toInt64(v), verify); }},
    {intfIBoolean, [](const Interfaces& n, double v, bool verify) { n.boolean->SetValue(v != 0.0, verify); }},
    {intfIFloat, [](const Interfaces& n, double v, bool verify) { n.floating->SetValue(v, verify); }},
    {intfIEnumeration,
     [](const Interfaces& n, double v, bool verify) { n.enumeration->SetIntValue(toInt64(v), verify); }}};

constexpr ByType<Getter<bool>> kGetBool{{intfIBoolean, [](const Interfaces& n) { return n.boolean->GetValue(); }}};
constexpr ByType<Setter<bool>> kSetBool{
    {intfIBoolean, [](const Interfaces& n, bool v, bool verify) { n.boolean->SetValue(v, verify); }}};

// ---- limits and presentation of numbers ----------------------------------------------------------
// Integer and float nodes answer every number question; each table holds the two ways to ask.
template <class R>
constexpr ByType<Getter<R>> numeric(Getter<R> ofInteger, Getter<R> ofFloat) {
    return ByType<Getter<R>>{{intfIInteger, ofInteger}, {intfIFloat, ofFloat}};
}

constexpr auto kGetIntMin = numeric<std::int64_t>([](const Interfaces& n) { return n.integer->GetMin(); },
                                                  [](const Interfaces& n) { return toInt64(n.floating->GetMin()); });
constexpr auto kGetIntMax = numeric<std::int64_t>([](const Interfaces& n) { return n.integer->GetMax(); },
                                                  [](const Interfaces& n) { return toInt64(n.floating->GetMax()); });
constexpr auto kGetIntInc = numeric<std::int64_t>([](const Interfaces& n) { return n.integer->GetInc(); },
                                                  [](const Interfaces& n) { return toInt64(n.floating->GetInc()); });
constexpr auto kGetDoubleMin =
    numeric<double>([](const Interfaces& n) { return static_cast<double>(n.integer->GetMin()); },
                    [](const Interfaces& n) { return n.floating->GetMin(); });
constexpr auto kGetDoubleMax =
    numeric<double>([](const Interfaces& n) { return static_cast<double>(n.integer->GetMax()); },
                    [](const Interfaces& n) { return n.floating->GetMax(); });
constexpr auto kGetDoubleInc =
    numeric<double>([](const Interfaces& n) { return static_cast<double>(n.integer->GetInc()); },
                    [](const Interfaces& n) { return n.floating->GetInc(); });
constexpr auto kHasInc =
    numeric<bool>([](const Interfaces& n) { return n.integer->GetIncMode() != genapi::noIncrement; },
                  [](const Interfaces& n) { return n.floating->HasInc(); });
constexpr auto kGetUnit = numeric<std::string>([](const Interfaces& n) { return n.integer->GetUnit(); },
                                               [](const Interfaces& n) { return n.floating->GetUnit(); });
constexpr auto kGetRepresentation = numeric<std::string>(
    [](const Interfaces& n) -> std::string { return textOf(kRepresentationTexts, n.integer->GetRepresentation()); },
    [](const Interfaces& n) -> std::string { return textOf(kRepresentationTexts, n.floating->GetRepresentation()); });

constexpr ByType<Getter<std::int64_t>> kGetPrecision{
    {intfIFloat, [](const Interfaces& n) { return n.floating->GetDisplayPrecision(); }}};
constexpr ByType<Getter<std::int64_t>> kGetMaxStringLength{
    {intfIString, [](const Interfaces& n) { return n.string->GetMaxLength(); }}};

// ---- commands and registers ----------------------------------------------------------------------
constexpr ByType<Getter<bool>> kExecute{{intfICommand, [](const Interfaces& n) {
                                             n.command->Execute();
                                             return true;
                                         }}};
constexpr ByType<Getter<bool>> kIsDone{{intfICommand, [](const Interfaces& n) { return n.command->IsDone(); }}};
constexpr ByType<Getter<std::int64_t>> kGetAddress{
    {intfIRegister, [](const Interfaces& n) { return n.reg->GetAddress(); }}};
constexpr ByType<Getter<std::int64_t>> kGetLength{
    {intfIRegister, [](const Interfaces& n) { return n.reg->GetLength(); }}};
// Raw transfers take their buffer through the invoking lambda; the table only says "registers".
constexpr ByType<genapi::IRegister* (*)(const Interfaces&)> kRegister{
    {intfIRegister, [](const Interfaces& n) { return n.reg; }}};

// ---- texts of the "not supported" failures -------------------------------------------------------
constexpr char kGetValuePrefix[] = "getValue";
constexpr char kSetValuePrefix[] = "setValue";
constexpr char kGetIntPrefix[] = "getValueInt";
constexpr char kSetIntPrefix[] = "setValueInt";
constexpr char kGetDoublePrefix[] = "getValueDouble";
constexpr char kSetDoublePrefix[] = "setValueDouble";
constexpr char kGetBoolPrefix[] = "getValueBool";
constexpr char kSetBoolPrefix[] = "setValueBool";

[[noreturn]] void throwConverted(const genapi::GenericException& error) {
    const char* className = kGenAPIClassError;
    if (dynamic_cast<const genapi::AccessException*>(&error) != nullptr)
        className = kGenAPIClassAccessDenied;
    else if (dynamic_cast<const genapi::InvalidArgumentException*>(&error) != nullptr ||
             dynamic_cast<const genapi::OutOfRangeException*>(&error) != nullptr)
        className = kGenAPIClassInvalidParameter;
    throw CGenAPIException(error.GetDescription(), className);
}

[[noreturn]] void throwNotInitialized() { throw CGenAPIException("node is not initialized.", kGenAPIClassError); }

}  // namespace

bool parseHexId(const std::string& text, std::uint64_t& id) {
    if (text.empty()) return false;
    char* end = nullptr;
    id = std::strtoull(text.c_str(), &end, 16);
    return end != text.c_str() && *end == '\0';
}

// ---- genAPINodeMap -------------------------------------------------------------------------------
CGenAPINode* genAPINodeMap::find(const std::string& name) const {
    const auto it = map_.find(name);
    return it == map_.end() ? nullptr : it->second;
}

CGenAPINode* genAPINodeMap::findAvailable(const std::string& name) const {
    CGenAPINode* node = find(name);
    if (node == nullptr) return nullptr;
    try {
        return node->GetAvailable() ? node : nullptr;
    } catch (const CGenAPIException&) {
        return nullptr;
    }
}

CGenAPINode* genAPINodeMap::findFirst(std::initializer_list<const char*> names, bool availableOnly) const {
    for (const char* name : names) {
        if (CGenAPINode* node = availableOnly ? findAvailable(name) : find(name)) return node;
    }
    return nullptr;
}

// ---- construction --------------------------------------------------------------------------------
CGenAPINodeBase::CGenAPINodeBase(genapi::INode* node, IGenAPI* owner) : node_(node), owner_(owner) {
    if (node_ == nullptr) return;
    name_ = node_->GetName();
    type_ = node_->GetPrincipalInterfaceType();
    typed_.value = genapi::CastNode<genapi::IValue>(node_);
    typed_.selector = genapi::CastNode<genapi::ISelector>(node_);
    // Each type's interface pointer; a node that does not offer its principal interface is
    // treated as a node without value.
    using Slot = void (*)(GenAPINodeInterfaces&, genapi::INode*);
    static const std::array<Slot, kTypeCount> kSlots = {
        nullptr,
        nullptr,
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.integer = genapi::CastNode<genapi::IInteger>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.boolean = genapi::CastNode<genapi::IBoolean>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.command = genapi::CastNode<genapi::ICommand>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.floating = genapi::CastNode<genapi::IFloat>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.string = genapi::CastNode<genapi::IString>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.reg = genapi::CastNode<genapi::IRegister>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.category = genapi::CastNode<genapi::ICategory>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.enumeration = genapi::CastNode<genapi::IEnumeration>(n); },
        [](GenAPINodeInterfaces& t, genapi::INode* n) { t.entry = genapi::CastNode<genapi::IEnumEntry>(n); },
        nullptr};
    const auto index = static_cast<std::size_t>(type_);
    if (index >= kTypeCount) {
        type_ = genapi::intfIBase;
    } else if (kSlots[index] != nullptr) {
        kSlots[index](typed_, node_);
        const bool offered = typed_.integer || typed_.boolean || typed_.command || typed_.floating || typed_.string ||
                             typed_.reg || typed_.category || typed_.enumeration || typed_.entry;
        if (!offered || (type_ != genapi::intfICategory && typed_.value == nullptr)) type_ = genapi::intfIBase;
    }

    std::string value, attributes;
    if (node_->GetProperty("ImposedAccessMode", value, attributes) && !value.empty())
        imposedAccessMode_ = value;
    else
        imposedAccessMode_ = type_ == genapi::intfICategory ? "RO" : "RW";
}

CGenAPINodeBase::~CGenAPINodeBase() = default;

void CGenAPINodeBase::collectFlat(const genAPINodeMap& tree, std::vector<const CGenAPINodeBase*>& visited) {
    for (const auto& [name, child] : tree) {
        if (child->type_ != genapi::intfICategory) {
            flat_.insert(name, child);
            continue;
        }
        // Descriptions may list a category twice or in a cycle; each is walked once.
        if (std::find(visited.begin(), visited.end(), child) != visited.end()) continue;
        visited.push_back(child);
        genAPINodeMap grandChildren;
        genapi::value_vector features;
        child->typed_.category->GetFeatures(features);
        for (genapi::IValue* feature : features) {
            if (CGenAPINode* wrapper = owner_->nameTable().find(feature->GetName()))
                grandChildren.insert(feature->GetName(), wrapper);
        }
        collectFlat(grandChildren, visited);
    }
}

void CGenAPINodeBase::initialize() {
    if (node_ == nullptr || owner_ == nullptr) return;
    const genAPINodeMap& names = owner_->nameTable();
    if (type_ == genapi::intfICategory) {
        genapi::value_vector features;
        typed_.category->GetFeatures(features);
        for (genapi::IValue* feature : features) {
            const std::string featureName = feature->GetName();
            if (CGenAPINode* wrapper = names.find(featureName)) tree_.insert(featureName, wrapper);
        }
        std::vector<const CGenAPINodeBase*> visited{this};
        collectFlat(tree_, visited);
    } else if (type_ == genapi::intfIEnumeration) {
        // Entries are no features, so they get their wrappers here, keyed by their symbolic names.
        genapi::node_vector entries;
        typed_.enumeration->GetEntries(entries);
        for (genapi::INode* entry : entries) {
            CGenAPINode* wrapper = owner_->createWrapper(entry);
            wrapper->initialize();
            const genapi::IEnumEntry* typedEntry = wrapper->typed_.entry;
            entries_.insert(typedEntry ? typedEntry->GetSymbolic() : entry->GetName(), wrapper);
        }
    }
    if (typed_.selector != nullptr && typed_.selector->IsSelector()) {
        genapi::value_vector features;
        typed_.selector->GetSelectedFeatures(features);
        for (genapi::IValue* feature : features) {
            const std::string featureName = feature->GetName();
            if (CGenAPINode* wrapper = names.find(featureName)) selected_.insert(featureName, wrapper);
        }
    }
}

// ---- the shared shapes ---------------------------------------------------------------------------
template <class Invoke>
decltype(auto) CGenAPINodeBase::guarded(Invoke&& invoke) const {
    if (node_ == nullptr) throwNotInitialized();
    try {
        return invoke();
    } catch (const genapi::GenericException& error) {
        throwConverted(error);
    }
}

template <class Fn, class Invoke>
decltype(auto) CGenAPINodeBase::operate(const Fn* table, const char* prefix, Invoke&& invoke) {
    if (node_ == nullptr) throwNotInitialized();
    const Fn fn = table[type_];
    if (fn == nullptr) unsupported(prefix);
    CNodeWrapperData* hook = wrapperData();
    if (hook == nullptr) return guarded([&]() -> decltype(auto) { return invoke(fn); });
    // Only CGenAPINode has a hook, so the cast is to the object's real type.
    CNodeWrapper scope(hook, static_cast<CGenAPINode&>(*this));
    return guarded([&]() -> decltype(auto) { return invoke(fn); });
}

template <class Fn>
decltype(auto) CGenAPINodeBase::read(const Fn* table, const char* prefix) {
    return operate(table, prefix, [&](auto fn) { return fn(typed_); });
}

template <class Fn, class T>
void CGenAPINodeBase::write(const Fn* table, const char* prefix, const T& value) {
    operate(table, prefix, [&](auto fn) { fn(typed_, value, verifyWrite()); });
}

void CGenAPINodeBase::unsupported(const char* prefix) const {
    throw CGenAPIException(std::string(prefix) + " not supported for Node '" + name_ + "'", kGenAPIClassNotAvailable);
}

bool CGenAPINodeBase::verifyWrite() const { return owner_ == nullptr || owner_->noteFeatureWrite(name_); }

genapi::EAccessMode CGenAPINodeBase::accessMode() const {
    return guarded([&] { return node_->GetAccessMode(); });
}

bool CGenAPINodeBase::filterBool(bool answer) {
    CNodeWrapperData* hook = wrapperData();
    return hook == nullptr ? answer : hook->filterBool(static_cast<CGenAPINode&>(*this), answer);
}

std::string CGenAPINodeBase::filterAccessMode(std::string text) {
    CNodeWrapperData* hook = wrapperData();
    return hook == nullptr ? text : hook->filterAccessMode(static_cast<CGenAPINode&>(*this), std::move(text));
}

// ---- every node type -----------------------------------------------------------------------------
std::string CGenAPINodeBase::GetInterface() const {
    return guarded([&]() -> std::string { return kInterfaceTexts[type_]; });
}

std::string CGenAPINodeBase::GetExtension() const {
    return guarded([&] {
        std::string value, attributes;
        node_->GetProperty("Extension", value, attributes);
        return value;
    });
}

std::string CGenAPINodeBase::GetToolTip() const {
    return guarded([&] { return node_->GetToolTip(); });
}
std::string CGenAPINodeBase::GetDescription() const {
    return guarded([&] { return node_->GetDescription(); });
}
std::string CGenAPINodeBase::GetDisplayName() const {
    return guarded([&] { return node_->GetDisplayName(); });
}
std::string CGenAPINodeBase::GetVisibility() const {
    return guarded([&]() -> std::string { return textOf(kVisibilityTexts, node_->GetVisibility()); });
}

std::int64_t CGenAPINodeBase::GetEventID() const {
    const std::string text = guarded([&] { return node_->GetEventID(); });
    std::uint64_t id = 0;
    if (!parseHexId(text, id))
        throw CGenAPIException("getEventID not available for Node '" + name_ + "'", kGenAPIClassNotAvailable);
    return static_cast<std::int64_t>(id);
}

bool CGenAPINodeBase::GetImplemented() const { return accessMode() != genapi::NI; }

bool CGenAPINodeBase::GetAvailable() {
    const genapi::EAccessMode mode = accessMode();
    return filterBool(mode != genapi::NI && mode != genapi::NA);
}

bool CGenAPINodeBase::GetLocked() const { return accessMode() == genapi::RO; }

std::string CGenAPINodeBase::GetImposedAccessMode() {
    if (node_ == nullptr) throwNotInitialized();
    return filterAccessMode(imposedAccessMode_);
}

std::string CGenAPINodeBase::GetCurrentAccessMode() { return filterAccessMode(textOf(kAccessModeTexts, accessMode())); }

bool CGenAPINodeBase::IsReadable() const {
    const genapi::EAccessMode mode = accessMode();
    return mode == genapi::RO || mode == genapi::RW;
}

bool CGenAPINodeBase::IsWriteable() {
    const genapi::EAccessMode mode = accessMode();
    return filterBool(mode == genapi::WO || mode == genapi::RW);
}

std::string CGenAPINodeBase::GetAlias() const {
    const genapi::INode* alias = guarded([&] { return node_->GetAlias(); });
    if (alias == nullptr)
        throw CGenAPIException("getAliasNode not available for Node '" + name_ + "'", kGenAPIClassNotAvailable);
    return alias->GetName();
}

bool CGenAPINodeBase::IsSelector() const {
    return guarded([&] { return typed_.selector != nullptr && typed_.selector->IsSelector(); });
}

// ---- values --------------------------------------------------------------------------------------
std::string CGenAPINodeBase::GetValue() { return read(kGetValue.data(), kGetValuePrefix); }
void CGenAPINodeBase::SetValue(const std::string& value) { write(kSetValue.data(), kSetValuePrefix, value); }
std::int64_t CGenAPINodeBase::GetInt() { return read(kGetInt.data(), kGetIntPrefix); }
void CGenAPINodeBase::SetInt(std::int64_t value) { write(kSetInt.data(), kSetIntPrefix, value); }
double CGenAPINodeBase::GetDouble() { return read(kGetDouble.data(), kGetDoublePrefix); }
void CGenAPINodeBase::SetDouble(double value) { write(kSetDouble.data(), kSetDoublePrefix, value); }
bool CGenAPINodeBase::GetBool() { return read(kGetBool.data(), kGetBoolPrefix); }
void CGenAPINodeBase::SetBool(bool value) { write(kSetBool.data(), kSetBoolPrefix, value); }

std::int64_t CGenAPINodeBase::GetIntMin() { return read(kGetIntMin.data(), "getMinInt"); }
std::int64_t CGenAPINodeBase::GetIntMax() { return read(kGetIntMax.data(), "getMaxInt"); }
std::int64_t CGenAPINodeBase::GetIntInc() { return read(kGetIntInc.data(), "getIncInt"); }
double CGenAPINodeBase::GetDoubleMin() { return read(kGetDoubleMin.data(), "getMinDouble"); }
double CGenAPINodeBase::GetDoubleMax() { return read(kGetDoubleMax.data(), "getMaxDouble"); }
double CGenAPINodeBase::GetDoubleInc() { return read(kGetDoubleInc.data(), "getIncDouble"); }
bool CGenAPINodeBase::HasInc() { return read(kHasInc.data(), "getIncDouble"); }
std::int64_t CGenAPINodeBase::GetDoublePrecision() { return read(kGetPrecision.data(), "getPrecisionDouble"); }
std::string CGenAPINodeBase::GetUnit() { return read(kGetUnit.data(), "getUnit"); }
std::string CGenAPINodeBase::GetRepresentation() { return read(kGetRepresentation.data(), "getRepresentation"); }
std::int64_t CGenAPINodeBase::GetMaxStringLength() { return read(kGetMaxStringLength.data(), "getMaxStringLength"); }
bool CGenAPINodeBase::IsDone() { return read(kIsDone.data(), "IsDone"); }
std::int64_t CGenAPINodeBase::getAddress() { return read(kGetAddress.data(), "getAddress"); }
std::int64_t CGenAPINodeBase::getLength() { return read(kGetLength.data(), "getLength"); }

bool CGenAPINodeBase::HasUnit() { return !GetUnit().empty(); }

void CGenAPINodeBase::Execute() { read(kExecute.data(), "Execute"); }

void CGenAPINodeBase::get(std::uint8_t* buffer, std::int64_t length) {
    operate(kRegister.data(), "get", [&](auto fn) { fn(typed_)->Get(buffer, length); });
}

void CGenAPINodeBase::set(const std::uint8_t* buffer, std::int64_t length) {
    operate(kRegister.data(), "set", [&](auto fn) { fn(typed_)->Set(buffer, length, verifyWrite()); });
}

// ---- views ---------------------------------------------------------------------------------------
const genAPINodeMap& CGenAPINodeBase::view(genapi::EInterfaceType type, const char* prefix,
                                           const genAPINodeMap& member) const {
    if (node_ == nullptr) throwNotInitialized();
    if (type_ != type) unsupported(prefix);
    return member;
}
const genAPINodeMap& CGenAPINodeBase::GetEnumNodeList() const {
    return view(intfIEnumeration, "getEnumNodeMap", entries_);
}
const genAPINodeMap& CGenAPINodeBase::GetNodeTree() const { return view(intfICategory, "getNodeMap", tree_); }
const genAPINodeMap& CGenAPINodeBase::GetNodeList() const { return view(intfICategory, "getNodeMapFlat", flat_); }

const genAPINodeMap& CGenAPINodeBase::GetSelectedNodeList() const {
    if (!IsSelector()) unsupported("getSelectedFeatures");
    return selected_;
}

void CGenAPINodeBase::invalidate() {
    guarded([&] {
        node_->InvalidateNode();
        genapi::node_vector terminals;
        node_->GetChildren(terminals, genapi::ctTerminalNodes);
        for (genapi::INode* terminal : terminals) terminal->InvalidateNode();
    });
}

}  // namespace corvid2
