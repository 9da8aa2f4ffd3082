// SPDX-License-Identifier: BSD-3-Clause
// Enumeration and EnumEntry nodes; entries are scoped to their enumeration ("EnumEntry_<Enum>_<Entry>").
#include "computed_nodes.h"

namespace corvid2::genapi::detail {

namespace {

class EnumEntryNode : public Node, public virtual IEnumEntry {
public:
    /// An entry inside its enumeration is named "EnumEntry_<Enumeration>_<Entry>"; a free-standing one
    /// (schema 1.0, referenced through pEnumEntry) keeps its own name.
    EnumEntryNode(NodeMapImpl& map, const NodeXml& xml, const std::string& enumeration)
        : Node(map, xml, enumeration.empty() ? nodeName(xml) : "EnumEntry_" + enumeration + "_" + nodeName(xml),
               "EnumEntry") {
        isEntry_ = true;
        const char* symbolic = xml.self.child_value("Symbolic");
        symbolic_ = *symbolic ? symbolic : nodeName(xml);
        value_ = parseInteger(xml.self.child_value("Value"), name_, "Value");
        const char* numeric = xml.self.child_value("NumericValue");
        numeric_ = *numeric ? parseFloat(numeric, name_, "NumericValue") : static_cast<double>(value_);
        selfClearing_ = parseYesNo(xml.self.child_value("IsSelfClearing"), false);
    }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIEnumEntry; }
    EAccessMode ownAccessMode() const override { return RO; }
    gcstring ToString(bool, bool) override { return symbolic_; }
    void FromString(const gcstring&, bool) override {
        CORVID2_NODE_THROW(AccessException, *this, "an enumeration entry cannot be set");
    }
    bool IsValueCacheValid() const override { return true; }
    int64_t GetValue() override { return value_; }
    gcstring GetSymbolic() const override { return symbolic_; }
    double GetNumericValue() override { return numeric_; }
    bool IsSelfClearing() override { return selfClearing_; }
    int64_t getInt(bool, bool) override { return value_; }
    int64_t value() const { return value_; }
    const std::string& symbolic() const { return symbolic_; }

private:
    std::string symbolic_;
    int64_t value_ = 0;
    double numeric_ = 0;
    bool selfClearing_ = false;
};

class EnumerationNode : public Node, public virtual IEnumeration {
public:
    EnumerationNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Node(map, xml, nodeName(xml), type) {}
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIEnumeration; }
    void addEntry(EnumEntryNode* entry) { entries_.push_back(entry); }

    void link(Linker& linker) override {
        Node::link(linker);
        value_.link(linker, xml_, name_);
        for (Node* node : linker.resolveAll(xml_, "pEnumEntry", false)) {
            auto* entry = dynamic_cast<EnumEntryNode*>(node);
            if (!entry)
                CORVID2_NODE_THROW(RuntimeException, *this,
                                   "<pEnumEntry> names '" + node->name() + "', which is no entry");
            entries_.push_back(entry);
        }
    }
    EAccessMode ownAccessMode() const override { return value_.accessMode(); }
    bool hasValidCache() const override { return value_.hasValidCache(); }
    int64_t getInt(bool verify, bool ignoreCache) override { return value_.get(verify, ignoreCache); }
    void setInt(int64_t value, bool verify) override {
        EnumEntryNode* entry = byValue(value);
        if (!entry) CORVID2_NODE_THROW(OutOfRangeException, *this, "no entry has the value " + std::to_string(value));
        if (!IsAvailable(entry->accessMode())) {
            CORVID2_NODE_THROW(AccessException, *this, "entry '" + entry->symbolic() + "' is not available");
        }
        value_.set(value, verify);
    }
    int64_t intMin() override { return extreme(false); }
    int64_t intMax() override { return extreme(true); }

    gcstring ToString(bool verify, bool ignoreCache) override {
        MapGuard guard(*this);
        int64_t value = readInt(verify, ignoreCache);
        EnumEntryNode* entry = byValue(value);
        if (!entry) CORVID2_NODE_THROW(RuntimeException, *this, "value " + std::to_string(value) + " matches no entry");
        return entry->symbolic();
    }
    void FromString(const gcstring& symbolic, bool verify) override {
        MapGuard guard(*this);
        EnumEntryNode* entry = bySymbolic(symbolic);
        if (!entry) CORVID2_NODE_THROW(InvalidArgumentException, *this, "has no entry '" + symbolic + "'");
        writeInt(entry->value(), verify);
    }
    bool IsValueCacheValid() const override {
        MapGuard guard(*this);
        return hasValidCache();
    }
    void GetSymbolics(gcstring_vector& symbolics) override {
        MapGuard guard(*this);
        symbolics.clear();
        for (EnumEntryNode* entry : entries_) {
            if (IsAvailable(entry->accessMode())) symbolics.push_back(entry->symbolic());
        }
    }
    void GetEntries(node_vector& entries) override {
        MapGuard guard(*this);
        entries.assign(entries_.begin(), entries_.end());
    }
    void SetIntValue(int64_t value, bool verify) override {
        MapGuard guard(*this);
        writeInt(value, verify);
    }
    int64_t GetIntValue(bool verify, bool ignoreCache) override {
        MapGuard guard(*this);
        return readInt(verify, ignoreCache);
    }
    IEnumEntry* GetCurrentEntry(bool verify, bool ignoreCache) override {
        MapGuard guard(*this);
        return byValue(readInt(verify, ignoreCache));
    }
    IEnumEntry* GetEntryByName(const gcstring& symbolic) override {
        MapGuard guard(*this);
        return bySymbolic(symbolic);
    }
    IEnumEntry* GetEntry(int64_t value) override {
        MapGuard guard(*this);
        return byValue(value);
    }

private:
    // An entry that is not implemented does not count, so that entries sharing a value stay distinguishable.
    EnumEntryNode* byValue(int64_t value) {
        EnumEntryNode* fallback = nullptr;
        for (EnumEntryNode* entry : entries_) {
            if (entry->value() != value) continue;
            if (IsImplemented(entry->accessMode())) return entry;
            if (!fallback) fallback = entry;
        }
        return fallback;
    }
    EnumEntryNode* bySymbolic(const std::string& symbolic) {
        for (EnumEntryNode* entry : entries_) {
            if (entry->symbolic() == symbolic) return entry;
        }
        return nullptr;
    }
    int64_t extreme(bool wantMax) {
        if (entries_.empty()) return 0;
        int64_t result = entries_.front()->value();
        for (EnumEntryNode* entry : entries_) {
            result = wantMax ? std::max(result, entry->value()) : std::min(result, entry->value());
        }
        return result;
    }
    StoredNumber<int64_t> value_;
    std::vector<EnumEntryNode*> entries_;
};

void createEnumeration(Builder& builder, const NodeXml& xml) {
    auto enumeration = std::make_unique<EnumerationNode>(builder.map(), xml, xml.self.name());
    EnumerationNode* owner = enumeration.get();
    std::string name = owner->name();
    builder.add(std::move(enumeration));
    for (pugi::xml_node element = xml.self.child("EnumEntry"); element; element = element.next_sibling("EnumEntry")) {
        auto entry = std::make_unique<EnumEntryNode>(builder.map(), NodeXml{element, {}}, name);
        owner->addEntry(entry.get());
        builder.add(std::move(entry));
    }
}

void createFreeEntry(Builder& builder, const NodeXml& xml) {
    builder.add(std::make_unique<EnumEntryNode>(builder.map(), xml, std::string()));
}

}  // namespace

void addEnumerationCreators(CreatorTable& table) {
    table["Enumeration"] = createEnumeration;
    table["EnumEntry"] = createFreeEntry;
}

}  // namespace corvid2::genapi::detail
