// SPDX-License-Identifier: BSD-3-Clause
// Formula compiler (tokenizer and precedence parser into a flat expression tree) and its evaluator.
#include "formula.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>

#include "corvid2/genapi/exceptions.h"
#include "corvid2/genapi/interfaces.h"
#include "node_base.h"

namespace corvid2::genapi::detail {

// clang-format off
enum class Formula::Op : uint8_t {
  kLiteral, kVariable, kFrom, kTo,                                   // leaves
  kFunction, kRound2, kSgn, kNeg, kAbs,                              // functions
  kTernary, kOr, kAnd, kBitOr, kBitXor, kBitAnd, kEq, kNe,           // binary and ternary operators
  kLt, kLe, kGt, kGe, kShl, kShr, kAdd, kSub, kMul, kDiv, kMod, kPow,
  kMinus, kPlus, kBitNot, kNot                                       // unary operators
};
// clang-format on

int64_t FormulaValue::asInt() const {
    if (isInt) return i;
    if (!std::isfinite(d) || d >= 9.2233720368547758e18 || d < -9.2233720368547758e18) {
        return d < 0 ? INT64_MIN : INT64_MAX;
    }
    return static_cast<int64_t>(d);
}

namespace {

using Op = Formula::Op;

// Operators of one or two characters as a number, so that matching one is an integer compare.
constexpr uint16_t operatorCode(const char* token) {
    return static_cast<uint16_t>(static_cast<uint8_t>(token[0]) |
                                 (token[0] && token[1] ? static_cast<uint8_t>(token[1]) << 8 : 0));
}

struct BinaryOperator {
    uint16_t code;
    int level;  // higher binds tighter; all binary operators are left-associative
    Op op;
};

// Lowest precedence first; ** and the unary operators are handled by the parser itself.
const BinaryOperator kBinaryOperators[] = {
    {operatorCode("||"), 0, Op::kOr},    {operatorCode("&&"), 1, Op::kAnd},   {operatorCode("|"), 2, Op::kBitOr},
    {operatorCode("^"), 3, Op::kBitXor}, {operatorCode("&"), 4, Op::kBitAnd}, {operatorCode("="), 5, Op::kEq},
    {operatorCode("<>"), 5, Op::kNe},    {operatorCode("=="), 5, Op::kEq},    {operatorCode("!="), 5, Op::kNe},
    {operatorCode("<"), 6, Op::kLt},     {operatorCode("<="), 6, Op::kLe},    {operatorCode(">"), 6, Op::kGt},
    {operatorCode(">="), 6, Op::kGe},    {operatorCode("<<"), 7, Op::kShl},   {operatorCode(">>"), 7, Op::kShr},
    {operatorCode("+"), 8, Op::kAdd},    {operatorCode("-"), 8, Op::kSub},    {operatorCode("*"), 9, Op::kMul},
    {operatorCode("/"), 9, Op::kDiv},    {operatorCode("%"), 9, Op::kMod},
};

struct FunctionEntry {
    const char* name;
    Op op;
    double (*func)(double);
};

double roundHalfAway(double x) { return std::round(x); }

const FunctionEntry kFunctions[] = {
    {"SGN", Op::kSgn, nullptr},
    {"NEG", Op::kNeg, nullptr},
    {"ABS", Op::kAbs, nullptr},
    {"SQRT", Op::kFunction, static_cast<double (*)(double)>(std::sqrt)},
    {"EXP", Op::kFunction, static_cast<double (*)(double)>(std::exp)},
    {"LN", Op::kFunction, static_cast<double (*)(double)>(std::log)},
    {"LG", Op::kFunction, static_cast<double (*)(double)>(std::log10)},
    {"SIN", Op::kFunction, static_cast<double (*)(double)>(std::sin)},
    {"COS", Op::kFunction, static_cast<double (*)(double)>(std::cos)},
    {"TAN", Op::kFunction, static_cast<double (*)(double)>(std::tan)},
    {"ASIN", Op::kFunction, static_cast<double (*)(double)>(std::asin)},
    {"ACOS", Op::kFunction, static_cast<double (*)(double)>(std::acos)},
    {"ATAN", Op::kFunction, static_cast<double (*)(double)>(std::atan)},
    {"TRUNC", Op::kFunction, static_cast<double (*)(double)>(std::trunc)},
    {"FLOOR", Op::kFunction, static_cast<double (*)(double)>(std::floor)},
    {"CEIL", Op::kFunction, static_cast<double (*)(double)>(std::ceil)},
    {"ROUND", Op::kFunction, roundHalfAway},
};

bool sameIgnoringCase(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (std::toupper(static_cast<unsigned char>(a[k])) != b[k]) return false;
    }
    return true;
}

}  // namespace

/// Recursive-descent parser over the formula text, writing instructions into the formula.
class FormulaParser {
public:
    /// `expanding` and `nesting` belong to the whole formula: an Expression is parsed by a parser of its own,
    /// and the nesting of all of them together is what the stack has to hold.
    FormulaParser(Formula& formula, const FormulaSymbols& symbols, std::set<std::string>& expanding, int& nesting)
        : formula_(formula), symbols_(symbols), expanding_(expanding), nesting_(nesting) {}

    int32_t parseAll(const std::string& text) {
        text_ = &text;
        pos_ = 0;
        int32_t root = parseTernary();
        skipSpace();
        if (pos_ != text.size()) fail("unexpected '" + text.substr(pos_, 8) + "'");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& why) {
        std::string where = " at position " + std::to_string(pos_);
        if (!expression_.empty()) where += " of expression '" + expression_ + "'";
        throw RuntimeException(
            "node '" + formula_.owner_ + "': formula '" + formula_.text_ + "' does not parse: " + why + where, __FILE__,
            __LINE__);
    }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

    void skipSpace() {
        while (pos_ < text_->size() && isSpace((*text_)[pos_])) ++pos_;
    }

    // The operator at the current position (longest match first) as its code, 0 when there is none; remembered
    // per position because the parser asks for it several times.
    uint16_t currentOperator() {
        static const char* const kOperators[] = {"**", "<<", ">>", "<=", ">=", "<>", "==", "!=", "&&", "||",
                                                 "<",  ">",  "=",  "+",  "-",  "*",  "/",  "%",  "&",  "|",
                                                 "^",  "~",  "!",  "?",  ":",  "(",  ")",  ","};
        skipSpace();
        if (pos_ == operatorPos_) return operator_;
        operatorPos_ = pos_;
        operator_ = 0;
        const std::string& text = *text_;
        for (const char* candidate : kOperators) {
            size_t n = candidate[1] ? 2 : 1;
            if (pos_ + n <= text.size() && text[pos_] == candidate[0] && (n == 1 || text[pos_ + 1] == candidate[1])) {
                operator_ = operatorCode(candidate);
                break;
            }
        }
        return operator_;
    }

    static size_t operatorLength(uint16_t code) { return code > 0xff ? 2 : 1; }

    bool accept(const char* token) {
        uint16_t code = operatorCode(token);
        if (currentOperator() != code) return false;
        pos_ += operatorLength(code);
        return true;
    }

    void expect(const char* token) {
        if (!accept(token)) fail(std::string("expected '") + token + "'");
    }

    // Evaluation recurses along the tree, so its height is bounded; so is the parser's own nesting.
    static constexpr int kMaxHeight = 512;

    int32_t emit(Formula::Instruction instruction) {
        int height = 1;
        for (int32_t operand : {instruction.a, instruction.b, instruction.c}) {
            if (operand >= 0) height = std::max(height, heights_[static_cast<size_t>(operand)] + 1);
        }
        if (height > kMaxHeight) fail("formula nests too deeply");
        formula_.ops_.push_back(instruction);
        heights_.push_back(height);
        return static_cast<int32_t>(formula_.ops_.size() - 1);
    }

    struct NestingGuard {
        explicit NestingGuard(FormulaParser& parser) : parser_(parser) {
            if (++parser_.nesting_ > kMaxHeight) parser_.fail("formula nests too deeply");
        }
        ~NestingGuard() { --parser_.nesting_; }
        FormulaParser& parser_;
    };

    int32_t emitOp(Op op, int32_t a, int32_t b = -1, int32_t c = -1) {
        Formula::Instruction instruction{};
        instruction.op = op;
        instruction.a = a;
        instruction.b = b;
        instruction.c = c;
        return emit(instruction);
    }

    int32_t parseTernary() {
        NestingGuard guard(*this);
        int32_t condition = parseBinary(0);
        if (!accept("?")) return condition;
        int32_t whenTrue = parseTernary();
        expect(":");
        int32_t whenFalse = parseTernary();
        return emitOp(Op::kTernary, condition, whenTrue, whenFalse);
    }

    // Precedence climbing: one look at the operator per step instead of one per precedence level.
    int32_t parseBinary(int minLevel) {
        int32_t left = parseUnary();
        for (;;) {
            const BinaryOperator* found = nullptr;
            uint16_t op = currentOperator();
            for (const BinaryOperator& candidate : kBinaryOperators) {
                if (op == candidate.code) {
                    found = &candidate;
                    break;
                }
            }
            if (!found || found->level < minLevel) return left;
            pos_ += operatorLength(op);
            int32_t right = parseBinary(found->level + 1);
            left = emitOp(found->op, left, right);
        }
    }

    // Unary operators bind looser than **, so -2**2 is -4, as in mathematics.
    int32_t parseUnary() {
        NestingGuard guard(*this);
        if (accept("-")) return emitOp(Op::kMinus, parseUnary());
        if (accept("+")) return emitOp(Op::kPlus, parseUnary());
        if (accept("~")) return emitOp(Op::kBitNot, parseUnary());
        if (accept("!")) return emitOp(Op::kNot, parseUnary());
        int32_t base = parsePrimary();
        if (accept("**")) return emitOp(Op::kPow, base, parseUnary());
        return base;
    }

    int32_t parsePrimary() {
        skipSpace();
        if (pos_ >= text_->size()) fail("unexpected end");
        char c = (*text_)[pos_];
        if (c == '(') {
            ++pos_;
            int32_t inner = parseTernary();
            expect(")");
            return inner;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') return parseNumber();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return parseIdentifier();
        fail(std::string("unexpected '") + c + "'");
    }

    int32_t parseNumber() {
        const char* begin = text_->c_str() + pos_;
        char* end = nullptr;
        Formula::Instruction literal{};
        literal.op = Op::kLiteral;
        if (begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) {
            literal.literal = FormulaValue::ofInt(static_cast<int64_t>(std::strtoull(begin + 2, &end, 16)));
            if (end == begin + 2) fail("bad hexadecimal number");
        } else {
            size_t k = 0;
            while (std::isdigit(static_cast<unsigned char>(begin[k]))) ++k;
            bool isFloat = begin[k] == '.' || ((begin[k] == 'e' || begin[k] == 'E') &&
                                               (std::isdigit(static_cast<unsigned char>(begin[k + 1])) ||
                                                ((begin[k + 1] == '-' || begin[k + 1] == '+') &&
                                                 std::isdigit(static_cast<unsigned char>(begin[k + 2])))));
            if (isFloat) {
                literal.literal = FormulaValue::ofFloat(std::strtod(begin, &end));
            } else {
                literal.literal = FormulaValue::ofInt(static_cast<int64_t>(std::strtoull(begin, &end, 10)));
            }
            if (end == begin) fail("bad number");
        }
        pos_ += static_cast<size_t>(end - begin);
        if (formula_.mode_ == Formula::Mode::kFloat) literal.literal = FormulaValue::ofFloat(literal.literal.asFloat());
        return emit(literal);
    }

    int32_t parseIdentifier() {
        size_t begin = pos_;
        while (pos_ < text_->size()) {
            char c = (*text_)[pos_];
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.')) break;
            ++pos_;
        }
        std::string name = text_->substr(begin, pos_ - begin);
        skipSpace();
        if (pos_ < text_->size() && (*text_)[pos_] == '(') return parseCall(name);
        if (auto it = symbols_.variables.find(name); it != symbols_.variables.end()) {
            Formula::Instruction load{};
            load.op = Op::kVariable;
            load.slot = static_cast<int32_t>(formula_.slots_.size());
            formula_.slots_.push_back(it->second);
            formula_.nodes_.push_back(it->second.node);
            return emit(load);
        }
        if (auto it = symbols_.constants.find(name); it != symbols_.constants.end()) {
            Formula::Instruction literal{};
            literal.op = Op::kLiteral;
            literal.literal = it->second;
            return emit(literal);
        }
        if (auto it = symbols_.expressions.find(name); it != symbols_.expressions.end()) {
            if (!expanding_.insert(name).second) fail("expression '" + name + "' refers to itself");
            FormulaParser inner(formula_, symbols_, expanding_, nesting_);
            inner.expression_ = name;
            int32_t root = inner.parseAll(it->second);
            expanding_.erase(name);
            return root;
        }
        if (symbols_.hasFromTo && (name == "FROM" || name == "TO")) {
            return emitOp(name == "FROM" ? Op::kFrom : Op::kTo, -1);
        }
        if (name == "PI" || name == "E") {
            Formula::Instruction literal{};
            literal.op = Op::kLiteral;
            literal.literal = FormulaValue::ofFloat(name == "PI" ? 3.14159265358979323846 : 2.71828182845904523536);
            return emit(literal);
        }
        pos_ = begin;
        fail("unknown name '" + name + "'");
    }

    int32_t parseCall(const std::string& name) {
        for (const FunctionEntry& function : kFunctions) {
            if (!sameIgnoringCase(name, function.name)) continue;
            expect("(");
            int32_t argument = parseTernary();
            int32_t second = -1;
            if (function.func == roundHalfAway && accept(",")) second = parseTernary();
            expect(")");
            if (second >= 0) return emitOp(Op::kRound2, argument, second);
            int32_t call = emitOp(function.op, argument);
            formula_.ops_[call].func = function.func;
            return call;
        }
        fail("unknown function '" + name + "'");
    }

    Formula& formula_;
    const FormulaSymbols& symbols_;
    std::set<std::string>& expanding_;
    const std::string* text_ = nullptr;
    size_t pos_ = 0;
    size_t operatorPos_ = std::string::npos;
    uint16_t operator_ = 0;
    int& nesting_;
    std::string expression_;  // name of the Expression this parser reads; empty for the formula itself
    std::vector<int>& heights_ = formula_.heights_;
};

FormulaSymbols gatherFormulaSymbols(Linker& linker, const NodeXml& xml, bool integerConstants,
                                    const std::string& owner) {
    FormulaSymbols symbols;
    for (pugi::xml_node element : xml.children("pVariable")) {
        std::string name = element.attribute("Name").value();
        FormulaVariable variable;
        variable.node = linker.resolve(element.child_value(), "pVariable");
        static const std::pair<const char*, FormulaVariable::Property> kSuffixes[] = {
            {".Min", FormulaVariable::kMin},
            {".Max", FormulaVariable::kMax},
            {".Inc", FormulaVariable::kInc},
            {".Value", FormulaVariable::kValue},
            {".AccessMode", FormulaVariable::kAccessMode},
            {".Visibility", FormulaVariable::kVisibility},
            {".CachingMode", FormulaVariable::kCachingMode}};
        for (const auto& [suffix, property] : kSuffixes) {
            size_t n = std::strlen(suffix);
            if (name.size() > n && name.compare(name.size() - n, n, suffix) == 0) {
                variable.property = property;
                variable.suffix = suffix;
            }
        }
        for (const char* marker : {".Entry.", ".Enum."}) {
            if (size_t at = name.find(marker); at != std::string::npos) {
                variable.property = FormulaVariable::kEntry;
                variable.entry = name.substr(at + std::strlen(marker));
                variable.suffix = name.substr(at);
            }
        }
        symbols.variables[name] = variable;
    }
    for (pugi::xml_node element : xml.children("Constant")) {
        const char* text = element.child_value();
        FormulaValue value = FormulaValue::ofFloat(parseFloat(text, owner, "Constant"));
        if (integerConstants && value.d == std::trunc(value.d)) {
            value = FormulaValue::ofInt(parseInteger(text, owner, "Constant"));
        }
        symbols.constants[element.attribute("Name").value()] = value;
    }
    for (pugi::xml_node element : xml.children("Expression")) {
        symbols.expressions[element.attribute("Name").value()] = element.child_value();
    }
    return symbols;
}

Formula Formula::compile(const std::string& text, const FormulaSymbols& symbols, Mode mode, const std::string& owner) {
    Formula formula;
    formula.mode_ = mode;
    formula.owner_ = owner;
    formula.text_ = text;
    std::set<std::string> expanding;
    int nesting = 0;
    FormulaParser parser(formula, symbols, expanding, nesting);
    formula.root_ = parser.parseAll(text);
    formula.height_ = formula.heights_[static_cast<size_t>(formula.root_)];
    formula.heights_ = std::vector<int>();
    return formula;
}

FormulaValue Formula::readVariable(const FormulaVariable& variable) const {
    Node& node = *variable.node;
    bool asFloat = node.isFloatValued();
    switch (variable.property) {
        case FormulaVariable::kMin:
            node.checkReadable();
            return asFloat ? FormulaValue::ofFloat(node.floatMin()) : FormulaValue::ofInt(node.intMin());
        case FormulaVariable::kMax:
            node.checkReadable();
            return asFloat ? FormulaValue::ofFloat(node.floatMax()) : FormulaValue::ofInt(node.intMax());
        case FormulaVariable::kInc:
            node.checkReadable();
            return asFloat ? FormulaValue::ofFloat(node.floatInc()) : FormulaValue::ofInt(node.intInc());
        case FormulaVariable::kEntry: {
            auto* enumeration = dynamic_cast<IEnumeration*>(&node);
            IEnumEntry* entry = enumeration ? enumeration->GetEntryByName(variable.entry) : nullptr;
            if (!entry) {
                throw RuntimeException("node '" + owner_ + "': formula names missing entry '" + variable.entry +
                                           "' of '" + node.name() + "'",
                                       __FILE__, __LINE__);
            }
            return FormulaValue::ofInt(entry->GetValue());
        }
        case FormulaVariable::kAccessMode:
        case FormulaVariable::kVisibility:
        case FormulaVariable::kCachingMode:
            // The descriptions we follow name these properties but fix no numbers for their states; guessing an
            // encoding would let a formula compute silently wrong values, so it refuses instead.
            throw RuntimeException("node '" + owner_ + "': formula variable reads '" + node.name() + variable.suffix +
                                       "', but no numeric encoding of " + variable.suffix.substr(1) +
                                       " is defined for formulas",
                                   __FILE__, __LINE__);
        default:
            return asFloat ? FormulaValue::ofFloat(node.readFloat()) : FormulaValue::ofInt(node.readInt());
    }
}

FormulaValue Formula::evaluate(FormulaValue from, FormulaValue to) const {
    FormulaValue result = eval(root_, from, to);
    return result;
}

namespace {
// Integer arithmetic wraps around at 64 bits, as on the devices that the formulas describe.
int64_t wrapAdd(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t wrapSub(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t wrapMul(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}
int64_t shiftLeft(int64_t a, int64_t n) {
    return n < 0 || n > 63 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(a) << n);
}
int64_t shiftRight(int64_t a, int64_t n) {
    if (n < 0 || n > 63) return a < 0 ? -1 : 0;
    return a >> n;
}
int64_t intPower(int64_t base, int64_t exponent) {
    if (exponent < 0) return base == 1 ? 1 : base == -1 ? ((exponent & 1) ? -1 : 1) : 0;
    int64_t result = 1;
    while (exponent) {
        if (exponent & 1) result = wrapMul(result, base);
        base = wrapMul(base, base);
        exponent >>= 1;
    }
    return result;
}
FormulaValue truth(bool value) { return FormulaValue::ofInt(value ? 1 : 0); }
bool isTrue(const FormulaValue& v) { return v.isInt ? v.i != 0 : v.d != 0; }
}  // namespace

FormulaValue Formula::eval(int32_t index, const FormulaValue& from, const FormulaValue& to) const {
    const Instruction& in = ops_[static_cast<size_t>(index)];
    auto operand = [&](int32_t k) { return eval(k, from, to); };
    auto divisionByZero = [&]() {
        throw RuntimeException("node '" + owner_ + "': division by zero in formula '" + text_ + "'", __FILE__,
                               __LINE__);
    };
    switch (in.op) {
        case Op::kLiteral:
            return in.literal;
        case Op::kVariable: {
            FormulaValue v = readVariable(slots_[static_cast<size_t>(in.slot)]);
            return mode_ == Mode::kFloat ? FormulaValue::ofFloat(v.asFloat()) : v;
        }
        case Op::kFrom:
            return mode_ == Mode::kFloat ? FormulaValue::ofFloat(from.asFloat()) : from;
        case Op::kTo:
            return mode_ == Mode::kFloat ? FormulaValue::ofFloat(to.asFloat()) : to;
        case Op::kTernary:
            return isTrue(operand(in.a)) ? operand(in.b) : operand(in.c);
        case Op::kOr:
            return truth(isTrue(operand(in.a)) || isTrue(operand(in.b)));
        case Op::kAnd:
            return truth(isTrue(operand(in.a)) && isTrue(operand(in.b)));
        case Op::kNot:
            return truth(!isTrue(operand(in.a)));
        default:
            break;
    }
    FormulaValue a = operand(in.a);
    if (in.b < 0) {
        // Unary operators and functions.
        switch (in.op) {
            case Op::kMinus:
            case Op::kNeg:
                return a.isInt ? FormulaValue::ofInt(wrapSub(0, a.i)) : FormulaValue::ofFloat(-a.d);
            case Op::kPlus:
                return a;
            case Op::kBitNot: {
                int64_t r = ~a.asInt();
                return mode_ == Mode::kFloat ? FormulaValue::ofFloat(static_cast<double>(r)) : FormulaValue::ofInt(r);
            }
            case Op::kSgn:
                return a.isInt ? FormulaValue::ofInt((a.i > 0) - (a.i < 0))
                               : FormulaValue::ofFloat(static_cast<double>((a.d > 0) - (a.d < 0)));
            case Op::kAbs:
                return a.isInt ? FormulaValue::ofInt(a.i < 0 ? wrapSub(0, a.i) : a.i)
                               : FormulaValue::ofFloat(std::fabs(a.d));
            case Op::kFunction: {
                double r = in.func(a.asFloat());
                if (mode_ == Mode::kInteger &&
                    (in.func == roundHalfAway || in.func == static_cast<double (*)(double)>(std::trunc) ||
                     in.func == static_cast<double (*)(double)>(std::floor) ||
                     in.func == static_cast<double (*)(double)>(std::ceil))) {
                    return a.isInt ? a : FormulaValue::ofInt(FormulaValue::ofFloat(r).asInt());
                }
                return FormulaValue::ofFloat(r);
            }
            default:
                break;
        }
    }
    FormulaValue b = operand(in.b);
    if (in.op == Op::kRound2) {
        double scale = std::pow(10.0, static_cast<double>(b.asInt()));
        return FormulaValue::ofFloat(std::round(a.asFloat() * scale) / scale);
    }
    bool integers = a.isInt && b.isInt;
    auto bitwise = [&](int64_t r) {
        return mode_ == Mode::kFloat ? FormulaValue::ofFloat(static_cast<double>(r)) : FormulaValue::ofInt(r);
    };
    switch (in.op) {
        case Op::kBitOr:
            return bitwise(a.asInt() | b.asInt());
        case Op::kBitXor:
            return bitwise(a.asInt() ^ b.asInt());
        case Op::kBitAnd:
            return bitwise(a.asInt() & b.asInt());
        case Op::kShl:
            return bitwise(shiftLeft(a.asInt(), b.asInt()));
        case Op::kShr:
            return bitwise(shiftRight(a.asInt(), b.asInt()));
        case Op::kEq:
            return truth(integers ? a.i == b.i : a.asFloat() == b.asFloat());
        case Op::kNe:
            return truth(integers ? a.i != b.i : a.asFloat() != b.asFloat());
        case Op::kLt:
            return truth(integers ? a.i < b.i : a.asFloat() < b.asFloat());
        case Op::kLe:
            return truth(integers ? a.i <= b.i : a.asFloat() <= b.asFloat());
        case Op::kGt:
            return truth(integers ? a.i > b.i : a.asFloat() > b.asFloat());
        case Op::kGe:
            return truth(integers ? a.i >= b.i : a.asFloat() >= b.asFloat());
        case Op::kAdd:
            return integers ? FormulaValue::ofInt(wrapAdd(a.i, b.i)) : FormulaValue::ofFloat(a.asFloat() + b.asFloat());
        case Op::kSub:
            return integers ? FormulaValue::ofInt(wrapSub(a.i, b.i)) : FormulaValue::ofFloat(a.asFloat() - b.asFloat());
        case Op::kMul:
            return integers ? FormulaValue::ofInt(wrapMul(a.i, b.i)) : FormulaValue::ofFloat(a.asFloat() * b.asFloat());
        case Op::kDiv:
            if (integers) {
                if (b.i == 0) divisionByZero();
                return FormulaValue::ofInt(b.i == -1 ? wrapSub(0, a.i) : a.i / b.i);
            }
            if (b.asFloat() == 0) divisionByZero();
            return FormulaValue::ofFloat(a.asFloat() / b.asFloat());
        case Op::kMod: {
            int64_t x = a.asInt(), y = b.asInt();
            if (y == 0) divisionByZero();
            int64_t r = y == -1 ? 0 : x % y;
            return mode_ == Mode::kFloat && !integers ? FormulaValue::ofFloat(std::fmod(a.asFloat(), b.asFloat()))
                                                      : bitwise(r);
        }
        case Op::kPow:
            return integers ? FormulaValue::ofInt(intPower(a.i, b.i))
                            : FormulaValue::ofFloat(std::pow(a.asFloat(), b.asFloat()));
        default:
            break;
    }
    throw LogicalErrorException("node '" + owner_ + "': bad formula instruction", __FILE__, __LINE__);
}

}  // namespace corvid2::genapi::detail
