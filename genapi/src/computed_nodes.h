// SPDX-License-Identifier: BSD-3-Clause
// Shapes shared by the integer and float families: stored/linked values (Integer, Float), formulas
// (IntSwissKnife, SwissKnife) and converters (IntConverter, Converter), written once for both number types.
#pragma once

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
            Indexed& item = select();
            return item.node ? Kind::read(item.node, verify, ignoreCache) : item.constant;
        }
        return target_ ? Kind::read(target_, verify, ignoreCache) : constant_;
    }

    void set(T value, bool verify) {
        if (index_) {
            Indexed& item = select();
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

    EAccessMode accessMode() const {
        if (target_) return target_->accessMode();
        if (index_) return IsReadable(index_->accessMode()) ? RW : NA;
        return RW;
    }
    Node* target() const { return target_; }

private:
    struct Indexed {
        int64_t index;
        T constant;
        Node* node;
    };
    Indexed& select() {
        int64_t wanted = index_->readInt();
        for (Indexed& item : indexed_) {
            if (item.index == wanted) return item;
        }
        return default_;
    }
    T constant_{};
    Node* target_ = nullptr;
    std::vector<Node*> copies_;
    Node* index_ = nullptr;
    std::vector<Indexed> indexed_;
    Indexed default_{0, T{}, nullptr};
};

/// Limits of Integer/Float nodes: Min/pMin, Max/pMax, Inc/pInc, else those of the pValue node.
template <class T>
class NumberLimits {
public:
    using Kind = NumberKind<T>;
    void link(Linker& linker, const NodeXml& xml, const std::string& owner) {
        link(linker, xml, owner, "Min", "pMin", min_);
        link(linker, xml, owner, "Max", "pMax", max_);
        link(linker, xml, owner, "Inc", "pInc", inc_);
    }
    T min(Node* target) const { return pick(min_, target, Kind::min, Kind::kLowest); }
    T max(Node* target) const { return pick(max_, target, Kind::max, Kind::kHighest); }
    T inc(Node* target) const { return pick(inc_, target, Kind::inc, T{1}); }
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
    static T pick(const Limit& limit, Node* target, T (*fromTarget)(Node*), T fallback) {
        if (limit.present) return limit.node ? Kind::read(limit.node) : limit.constant;
        return target ? fromTarget(target) : fallback;
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
    bool hasValidCache() const override { return value_.target() && value_.target()->hasValidCache(); }

protected:
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
    T evaluate() { return NumberKind<T>::fromFormula(formula_.evaluate()); }
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
    T read(bool verify, bool ignoreCache) { return convertFrom(targetValue(verify, ignoreCache)); }
    void write(T value, bool verify) {
        FormulaValue converted = to_.evaluate(NumberKind<T>::toFormula(value), {});
        if (target_->isFloatValued()) {
            target_->writeFloat(converted.asFloat(), verify);
        } else {
            int64_t integer = converted.isInt ? converted.i : std::llround(converted.d);
            target_->writeInt(integer, verify);
        }
    }
    /// The converter's limits are the converted limits of pValue, in the order the slope gives; an unbounded
    /// pValue leaves the converter unbounded (converting the extremes of 64 bits would only wrap around).
    T limit(bool wantMax) {
        try {
            bool isFloat = target_->isFloatValued();
            FormulaValue low =
                isFloat ? FormulaValue::ofFloat(target_->floatMin()) : FormulaValue::ofInt(target_->intMin());
            FormulaValue high =
                isFloat ? FormulaValue::ofFloat(target_->floatMax()) : FormulaValue::ofInt(target_->intMax());
            bool unbounded = isFloat ? (low.d <= -1.7976931348623157e308 || high.d >= 1.7976931348623157e308)
                                     : (low.i == INT64_MIN || high.i == INT64_MAX);
            if (unbounded) return wantMax ? NumberKind<T>::kHighest : NumberKind<T>::kLowest;
            T a = convertFrom(low), b = convertFrom(high);
            if (decreasing_) std::swap(a, b);
            return wantMax ? std::max(a, b) : std::min(a, b);
        } catch (const GenericException&) {
            return wantMax ? NumberKind<T>::kHighest : NumberKind<T>::kLowest;
        }
    }
    Node* target_ = nullptr;
    Formula from_;
    Formula to_;
    bool decreasing_ = false;
};

}  // namespace corvid2::genapi::detail
