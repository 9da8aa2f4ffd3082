// SPDX-License-Identifier: BSD-3-Clause
// Formulas of SwissKnife and Converter nodes: compiled once into an expression tree, evaluated many times.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace corvid2::genapi::detail {

class Node;

/// A formula value: 64-bit integer or double, as the standard's mixed arithmetic needs.
struct FormulaValue {
    bool isInt = true;
    int64_t i = 0;
    double d = 0;
    static FormulaValue ofInt(int64_t v) { return {true, v, static_cast<double>(v)}; }
    static FormulaValue ofFloat(double v) { return {false, 0, v}; }
    double asFloat() const { return isInt ? static_cast<double>(i) : d; }
    int64_t asInt() const;
};

/// What a pVariable name stands for: a property of a node.
struct FormulaVariable {
    enum Property { kValue, kMin, kMax, kInc, kEntry, kAccessMode, kVisibility, kCachingMode } property = kValue;
    Node* node = nullptr;
    std::string entry;   // for ".Entry.<name>"
    std::string suffix;  // as written, for messages
};

/// Names usable in one formula, gathered from the node's pVariable, Constant and Expression elements.
struct FormulaSymbols {
    std::map<std::string, FormulaVariable, std::less<>> variables;
    std::map<std::string, FormulaValue, std::less<>> constants;
    std::map<std::string, std::string, std::less<>> expressions;
    bool hasFromTo = false;  // converters: FROM and TO
};

class Linker;
struct NodeXml;

/// Reads the pVariable, Constant and Expression elements of a node (constants as integers for the Int kinds).
FormulaSymbols gatherFormulaSymbols(Linker& linker, const NodeXml& xml, bool integerConstants,
                                    const std::string& owner);

class Formula {
public:
    enum class Mode { kInteger, kFloat };
    /// Compiles the text; raises RuntimeException naming `owner` when it does not parse or names something unknown.
    static Formula compile(const std::string& text, const FormulaSymbols& symbols, Mode mode, const std::string& owner);

    /// Evaluates with the current node values; `from` and `to` are the converter variables.
    FormulaValue evaluate(FormulaValue from = {}, FormulaValue to = {}) const;
    bool empty() const { return ops_.empty(); }
    /// Height of the expression tree: how deep evaluating it recurses.
    int height() const { return height_; }
    const std::vector<Node*>& nodes() const { return nodes_; }

    enum class Op : uint8_t;
    struct Instruction {
        Op op;
        uint8_t arity = 0;
        int32_t a = -1, b = -1, c = -1;  // operand indices into ops_
        FormulaValue literal;
        int32_t slot = -1;
        double (*func)(double) = nullptr;
    };

private:
    friend class FormulaParser;
    FormulaValue eval(int32_t index, const FormulaValue& from, const FormulaValue& to) const;
    FormulaValue readVariable(const FormulaVariable& variable) const;

    std::vector<Instruction> ops_;
    std::vector<int> heights_;  // tree height of each instruction, while compiling
    std::vector<FormulaVariable> slots_;
    std::vector<Node*> nodes_;
    int32_t root_ = -1;
    int height_ = 1;
    Mode mode_ = Mode::kInteger;
    std::string owner_;
    std::string text_;
};

}  // namespace corvid2::genapi::detail
