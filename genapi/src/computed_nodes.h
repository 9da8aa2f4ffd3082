// SPDX-License-Identifier: BSD-3-Clause
// Shapes shared by the integer and float families: stored/linked values (Integer, Float), formulas
// (IntSwissKnife, SwissKnife) and converters (IntConverter, Converter), written once for both number types.
#pragma once

#include <algorithm>
#include <cmath>

#include "formula.h"
#include "value_nodes.h"

namespace corvid2::genapi::detail {

/// What differs between the integer and the float family.
template <class T>
struct NumberKind;

template <>
struct NumberKind<int64_t> {
    static constexpr Formula::Mode kMode = Formula::Mode::kInteger;
    static int64_t parse(const char* text, const std::string& owner, const char* element) {
        return parseInteger(text, owner, element);
    }
    static int64_t read(Node* node, bool verify = false, bool ignoreCache = false) {
        return node->readInt(verify, ignoreCache);
    }
    static void write(Node* node, int64_t value, bool verify) { node->writeInt(value, verify); }
    static int64_t min(Node* node) { return node->intMin(); }
    static int64_t max(Node* node) { return node->intMax(); }
    static int64_t inc(Node* node) { return node->intInc(); }
    static void range(Node* node, int64_t& low, int64_t& high) { node->intRange(low, high); }
    static int64_t fromFormula(const FormulaValue& value) { return value.asInt(); }
    static FormulaValue toFormula(int64_t value) { return FormulaValue::ofInt(value); }
    static constexpr int64_t kLowest = INT64_MIN;
    static constexpr int64_t kHighest = INT64_MAX;
};

template <>
struct NumberKind<double> {
    static constexpr Formula::Mode kMode = Formula::Mode::kFloat;
    static double parse(const char* text, const std::string& owner, const char* element) {
        return parseFloat(text, owner, element);
    }
    static double read(Node* node, bool verify = false, bool ignoreCache = false) {
        return node->readFloat(verify, ignoreCache);
    }
    static void write(Node* node, double value, bool verify) { node->writeFloat(value, verify); }
    static double min(Node* node) { return node->floatMin(); }
    static double max(Node* node) { return node->floatMax(); }
    static double inc(Node* node) { return node->floatInc(); }
    static void range(Node* node, double& low, double& high) { node->floatRange(low, high); }
    static double fromFormula(const FormulaValue& value) { return value.asFloat(); }
    static FormulaValue toFormula(double value) { return FormulaValue::ofFloat(value); }
    static constexpr double kLowest = -1.7976931348623157e308;
    static constexpr double kHighest = 1.7976931348623157e308;
};

/// A number, constant or linked: Value, pValue with pValueCopy, or pIndex with (p)ValueIndexed and (p)ValueDefault.
template <class T>
class StoredNumber {
public:
    using Kind = NumberKind<T>;

    void link(Linker& linker, const NodeXml& xml, const std::string& owner) {
        if (pugi::xml_node index = xml.child("pIndex")) {
            index_ = linker.resolve(index.child_value(), "pIndex");
            for (pugi::xml_node element : xml.self.children()) {
                bool constant = std::strcmp(element.name(), "ValueIndexed") == 0;
                bool linked = std::strcmp(element.name(), "pValueIndexed") == 0;
                if (!constant && !linked) continue;
                Indexed item{parseInteger(element.attribute("Index").value(), owner, "Index"), T{}, nullptr};
                if (linked) {
                    item.node = linker.resolve(element.child_value(), "pValueIndexed");
                } else {
                    item.constant = Kind::parse(element.child_value(), owner, "ValueIndexed");
                }
                indexed_.push_back(item);
            }
            if (pugi::xml_node fallback = xml.child("pValueDefault")) {
                default_.node = linker.resolve(fallback.child_value(), "pValueDefault");
            } else if (const char* text = xml.text("ValueDefault")) {
                default_.constant = Kind::parse(text, owner, "ValueDefault");
            }
            return;
        }
        if (pugi::xml_node linked = xml.child("pValue")) {
            target_ = linker.resolve(linked.child_value(), "pValue");
            copies_ = linker.resolveAll(xml, "pValueCopy");
        } else if (const char* text = xml.text("Value")) {
            constant_ = Kind::parse(text, owner, "Value");
        }
    }

    T get(bool verify, bool ignoreCache) {
        if (index_) {
            const Indexed& item = selected();
            return item.node ? Kind::read(item.node, verify, ignoreCache) : item.constant;
        }
        return target_ ? Kind::read(target_, verify, ignoreCache) : constant_;
    }

    void set(T value, bool verify) {
        if (index_) {
            Indexed& item = const_cast<Indexed&>(selected());
            if (item.node) {
                Kind::write(item.node, value, verify);
            } else {
                item.constant = value;
            }
            return;
        }
        if (!target_) {
            constant_ = value;
            return;
        }
        Kind::write(target_, value, verify);
        for (Node* copy : copies_) Kind::write(copy, value, verify);
    }

    /// The node that stands behind the value now: the pValue node, or the one the index currently selects. It
    /// supplies limits, increment and access as a pValue node does; null for a constant. Selecting reads the
    /// index, which may raise.
    Node* source() const { return index_ ? selected().node : target_; }

    /// A multiplexer needs its index to be readable before the selected node's access counts.
    EAccessMode accessMode() const {
        if (target_) return target_->accessMode();
        if (!index_) return RW;
        if (!IsReadable(index_->accessMode())) return NA;
        Node* node = selected().node;
        return node ? node->accessMode() : RW;
    }

    /// Whether a read would be served without the device. A multiplexer answers only when the index itself can
    /// be read without the device: asking must not cost a read of its own.
    bool hasValidCache() const {
        if (!index_) return target_ && target_->hasValidCache();
        if (!index_->hasValidCache() && indexReadsRegisters()) return false;
        try {
            Node* node = selected().node;
            return node && node->hasValidCache();
        } catch (const GenericException&) {
            return false;
        }
    }

private:
    struct Indexed {
        int64_t index;
        T constant;
        Node* node;
    };
    const Indexed& selected() const {
        int64_t wanted = index_->readInt();
        for (const Indexed& item : indexed_) {
            if (item.index == wanted) return item;
        }
        return default_;
    }
    // Found once, when first asked: the graph is complete by then.
    bool indexReadsRegisters() const {
        if (indexReadsRegisters_ < 0) {
            std::vector<const Node*> pending{index_}, seen{index_};
            indexReadsRegisters_ = 0;
            while (!pending.empty() && !indexReadsRegisters_) {
                const Node* node = pending.back();
                pending.pop_back();
                if (node->isRegister()) indexReadsRegisters_ = 1;
                for (const Node* child : node->children_) {
                    if (std::find(seen.begin(), seen.end(), child) != seen.end()) continue;
                    seen.push_back(child);
                    pending.push_back(child);
                }
            }
        }
        return indexReadsRegisters_ != 0;
    }
    T constant_{};
    Node* target_ = nullptr;
    std::vector<Node*> copies_;
    Node* index_ = nullptr;
    std::vector<Indexed> indexed_;
    Indexed default_{0, T{}, nullptr};
    mutable int indexReadsRegisters_ = -1;  // -1 not yet known
};

/// Limits of Integer/Float nodes: Min/pMin, Max/pMax, Inc/pInc, else those of the source node (StoredNumber's
/// source()). The source is asked for only when needed, because finding a multiplexer's source reads its index.
template <class T>
class NumberLimits {
public:
    using Kind = NumberKind<T>;
    void link(Linker& linker, const NodeXml& xml, const std::string& owner) {
        link(linker, xml, owner, "Min", "pMin", min_);
        link(linker, xml, owner, "Max", "pMax", max_);
        link(linker, xml, owner, "Inc", "pInc", inc_);
    }
    template <class Source>
    T min(Source source) const {
        return pick(min_, source, Kind::min, Kind::kLowest);
    }
    template <class Source>
    T max(Source source) const {
        return pick(max_, source, Kind::max, Kind::kHighest);
    }
    template <class Source>
    T inc(Source source) const {
        return pick(inc_, source, Kind::inc, T{1});
    }
    template <class Source>
    void range(Source source, T& low, T& high) const {
        low = Kind::kLowest;
        high = Kind::kHighest;
        if (!min_.present || !max_.present) {
            if (Node* node = source()) Kind::range(node, low, high);
        }
        if (min_.present) low = value(min_);
        if (max_.present) high = value(max_);
    }
    bool hasInc() const { return inc_.present; }

private:
    struct Limit {
        bool present = false;
        T constant{};
        Node* node = nullptr;
    };
    static void link(Linker& linker, const NodeXml& xml, const std::string& owner, const char* constant,
                     const char* reference, Limit& limit) {
        if (pugi::xml_node linked = xml.self.child(reference)) {
            limit.node = linker.resolve(linked.child_value(), reference);
            limit.present = true;
        } else if (const char* text = xml.self.child_value(constant); *text) {
            limit.constant = Kind::parse(text, owner, constant);
            limit.present = true;
        }
    }
    static T value(const Limit& limit) { return limit.node ? Kind::read(limit.node) : limit.constant; }
    template <class Source>
    static T pick(const Limit& limit, Source source, T (*fromSource)(Node*), T fallback) {
        if (limit.present) return value(limit);
        Node* node = source();
        return node ? fromSource(node) : fallback;
    }
    Limit min_, max_, inc_;
};

/// Integer and Float.
template <class Base, class T>
class PlainNumberNode : public Base {
public:
    PlainNumberNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Base(map, xml, nodeName(xml), type) {}
    void link(Linker& linker) override {
        Base::link(linker);
        value_.link(linker, this->xml_, this->name_);
        limits_.link(linker, this->xml_, this->name_);
    }
    EAccessMode ownAccessMode() const override { return value_.accessMode(); }
    bool hasValidCache() const override { return value_.hasValidCache(); }
    /// Without an Inc of its own the node steps as its source does (a Float over an integer register steps by 1);
    /// a constant integer steps by 1, a constant float has no increment.
    bool hasIncrement() override {
        if (limits_.hasInc()) return true;
        DepthGuard depth(*this);
        Node* source = value_.source();
        return source ? source->hasIncrement() : !this->isFloatValued();
    }
    /// The valid values come with the increment: the node's own set, else its source's unless it has an Inc.
    pugi::xml_node validValueSet() override {
        if (pugi::xml_node own = this->xml_.child("ValidValueSet")) return own;
        if (limits_.hasInc()) return {};
        DepthGuard depth(*this);
        Node* source = value_.source();
        return source ? source->validValueSet() : pugi::xml_node();
    }

protected:
    // Limits recurse along pValue chains without a value read, so they carry their own depth guard.
    T limitMin() {
        DepthGuard depth(*this);
        return limits_.min([this] { return value_.source(); });
    }
    T limitMax() {
        DepthGuard depth(*this);
        return limits_.max([this] { return value_.source(); });
    }
    T limitInc() {
        DepthGuard depth(*this);
        return limits_.inc([this] { return value_.source(); });
    }
    void limitRange(T& low, T& high) {
        DepthGuard depth(*this);
        limits_.range([this] { return value_.source(); }, low, high);
    }
    StoredNumber<T> value_;
    NumberLimits<T> limits_;
};

/// Access mode of a computed node: read-only while every variable can be read.
inline EAccessMode formulaAccess(const std::vector<const Formula*>& formulas) {
    for (const Formula* formula : formulas) {
        for (Node* node : formula->nodes()) {
            if (!IsReadable(node->accessMode())) return NA;
        }
    }
    return RO;
}

/// IntSwissKnife and SwissKnife: a read-only formula.
template <class Base, class T>
class SwissKnifeNode : public Base {
public:
    SwissKnifeNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Base(map, xml, nodeName(xml), type) {}
    void link(Linker& linker) override {
        Base::link(linker);
        FormulaSymbols symbols =
            gatherFormulaSymbols(linker, this->xml_, NumberKind<T>::kMode == Formula::Mode::kInteger, this->name_);
        formula_ = Formula::compile(this->xml_.text("Formula", ""), symbols, NumberKind<T>::kMode, this->name_);
    }
    EAccessMode ownAccessMode() const override { return formulaAccess({&formula_}); }

protected:
    T evaluate() {
        DepthGuard depth(*this, formula_.height());
        return NumberKind<T>::fromFormula(formula_.evaluate());
    }
    Formula formula_;
};

/// IntConverter and Converter: FormulaFrom reads (TO = pValue's value), FormulaTo writes (FROM = new value).
template <class Base, class T>
class ConverterNode : public Base {
public:
    ConverterNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Base(map, xml, nodeName(xml), type) {}
    void link(Linker& linker) override {
        Base::link(linker);
        FormulaSymbols symbols =
            gatherFormulaSymbols(linker, this->xml_, NumberKind<T>::kMode == Formula::Mode::kInteger, this->name_);
        symbols.hasFromTo = true;
        target_ = linker.resolve(this->xml_.text("pValue", ""), "pValue");
        from_ = Formula::compile(this->xml_.text("FormulaFrom", ""), symbols, NumberKind<T>::kMode, this->name_);
        to_ = Formula::compile(this->xml_.text("FormulaTo", ""), symbols, NumberKind<T>::kMode, this->name_);
        const char* slope = this->xml_.text("Slope", "Automatic");
        decreasing_ = std::strcmp(slope, "Decreasing") == 0;
        linear_ = parseYesNo(this->xml_.text("IsLinear"), false);
    }
    EAccessMode ownAccessMode() const override {
        EAccessMode variables = formulaAccess({&from_, &to_});
        return variables == NA ? NA : target_->accessMode();
    }

protected:
    FormulaValue targetValue(bool verify, bool ignoreCache) {
        return target_->isFloatValued() ? FormulaValue::ofFloat(target_->readFloat(verify, ignoreCache))
                                        : FormulaValue::ofInt(target_->readInt(verify, ignoreCache));
    }
    T convertFrom(const FormulaValue& to) { return NumberKind<T>::fromFormula(from_.evaluate({}, to)); }
    T read(bool verify, bool ignoreCache) {
        DepthGuard depth(*this, from_.height());
        return convertFrom(targetValue(verify, ignoreCache));
    }
    void write(T value, bool verify) {
        DepthGuard depth(*this, to_.height());
        FormulaValue converted = to_.evaluate(NumberKind<T>::toFormula(value), {});
        if (target_->isFloatValued()) {
            target_->writeFloat(converted.asFloat(), verify);
        } else {
            int64_t integer = converted.isInt ? converted.i : std::llround(converted.d);
            target_->writeInt(integer, verify);
        }
    }
    /// The converter's limits are the converted limits of pValue, in the order the slope gives; an unbounded
    /// pValue leaves the converter unbounded (converting the extremes of 64 bits would only wrap around). Both
    /// come from one look at pValue's range, so that converters over converters cost one step per level.
    void range(T& low, T& high) {
        DepthGuard depth(*this, DepthGuard::kNodeLevel + from_.height());
        low = NumberKind<T>::kLowest;
        high = NumberKind<T>::kHighest;
        try {
            FormulaValue a, b;
            if (target_->isFloatValued()) {
                double lo = 0, hi = 0;
                target_->floatRange(lo, hi);
                if (lo <= -1.7976931348623157e308 || hi >= 1.7976931348623157e308) return;
                a = FormulaValue::ofFloat(lo);
                b = FormulaValue::ofFloat(hi);
            } else {
                int64_t lo = 0, hi = 0;
                target_->intRange(lo, hi);
                if (lo == INT64_MIN || hi == INT64_MAX) return;
                a = FormulaValue::ofInt(lo);
                b = FormulaValue::ofInt(hi);
            }
            T x = convertFrom(a), y = convertFrom(b);
            if (decreasing_) std::swap(x, y);
            low = std::min(x, y);
            high = std::max(x, y);
        } catch (const GenericException&) {
            low = NumberKind<T>::kLowest;
            high = NumberKind<T>::kHighest;
        }
    }
    T limit(bool wantMax) {
        T low{}, high{};
        range(low, high);
        return wantMax ? high : low;
    }
    /// Only a converter declared linear has a constant step: pValue's increment, converted. Any other one would
    /// need a different step at every value, so it offers none.
    bool convertsIncrement() { return linear_ && target_->hasIncrement(); }
    T convertedIncrement() {
        DepthGuard depth(*this, DepthGuard::kNodeLevel + from_.height());
        FormulaValue zero = target_->isFloatValued() ? FormulaValue::ofFloat(0) : FormulaValue::ofInt(0);
        FormulaValue step = target_->isFloatValued() ? FormulaValue::ofFloat(target_->floatInc())
                                                     : FormulaValue::ofInt(target_->intInc());
        T a = convertFrom(zero), b = convertFrom(step);
        return b >= a ? b - a : a - b;
    }
    Node* target_ = nullptr;
    Formula from_;
    Formula to_;
    bool decreasing_ = false;
    bool linear_ = false;
};

}  // namespace corvid2::genapi::detail
