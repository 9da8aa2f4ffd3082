// SPDX-License-Identifier: BSD-3-Clause
// Formula grammar of SwissKnife nodes: operators, precedence, functions, names, integer wrap-around and errors.
#include <cmath>

#include "test_support.h"

namespace corvid2::genapi::test {
namespace {

std::string escapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

// Variables X = 7, Y = -3, F = 2.5 are available to every formula.
const char* kVariables = R"(
  <Integer Name="X"><Value>7</Value></Integer>
  <Integer Name="Y"><Value>-3</Value></Integer>
  <Float Name="F"><Value>2.5</Value><Min>-100</Min><Max>100</Max></Float>)";
const char* kBindings =
    R"(<pVariable Name="X">X</pVariable><pVariable Name="Y">Y</pVariable><pVariable Name="F">F</pVariable>)"
    R"(<pVariable Name="F.Max">F</pVariable><Constant Name="K">0x10</Constant><Expression Name="TWICE">X*2</Expression>)";

int64_t evalInt(const std::string& formula) {
    SnippetMap s(std::string(kVariables) + "<IntSwissKnife Name=\"S\">" + kBindings + "<Formula>" + escapeXml(formula) +
                 "</Formula></IntSwissKnife>");
    return s.get<IInteger>("S").GetValue();
}

double evalFloat(const std::string& formula) {
    SnippetMap s(std::string(kVariables) + "<SwissKnife Name=\"S\">" + kBindings + "<Formula>" + escapeXml(formula) +
                 "</Formula></SwissKnife>");
    return s.get<IFloat>("S").GetValue();
}

TEST(GenApiFormulaIntegers, PrecedenceAndAssociativity) {
    EXPECT_EQ(evalInt("1 + 2 * 3"), 7);
    EXPECT_EQ(evalInt("(1 + 2) * 3"), 9);
    EXPECT_EQ(evalInt("10 - 4 - 3"), 3);
    EXPECT_EQ(evalInt("2 ** 3 ** 2"), 512);  // right-associative
    EXPECT_EQ(evalInt("-2 ** 2"), -4);       // ** binds tighter than unary minus
    EXPECT_EQ(evalInt("1 + 2 << 3"), 24);    // shift below additive
    EXPECT_EQ(evalInt("1 | 6 & 3"), 3);      // & above ^ above |
    EXPECT_EQ(evalInt("5 ^ 1 | 8"), 12);
    EXPECT_EQ(evalInt("1 < 2 = 1"), 1);  // comparison above equality
    EXPECT_EQ(evalInt("X = 7 && Y <> 3 || 0"), 1);
    EXPECT_EQ(evalInt("0 ? 1 : 0 ? 2 : 3"), 3);  // ternary is right-associative
}

TEST(GenApiFormulaIntegers, IntegerArithmeticTruncatesAndWraps) {
    EXPECT_EQ(evalInt("X / 2"), 3);
    EXPECT_EQ(evalInt("Y / 2"), -1);
    EXPECT_EQ(evalInt("X % 4"), 3);
    EXPECT_EQ(evalInt("Y % 2"), -1);
    EXPECT_EQ(evalInt("0x7FFFFFFFFFFFFFFF + 1"), INT64_MIN);
    EXPECT_EQ(evalInt("0xFFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(evalInt("1 << 63"), INT64_MIN);
    EXPECT_EQ(evalInt("1 << 64"), 0);
    EXPECT_EQ(evalInt("-16 >> 2"), -4);
    // Counts outside 0..63 shift every bit out, as 64 single-bit shifts would; a negative count shifts nothing in.
    EXPECT_EQ(evalInt("5 << -1"), 0);
    EXPECT_EQ(evalInt("5 >> 64"), 0);
    EXPECT_EQ(evalInt("-5 >> 64"), -1);
    EXPECT_EQ(evalInt("-5 >> -1"), -1);
    EXPECT_EQ(evalInt("~0"), -1);
    EXPECT_EQ(evalInt("3 ** 40"), static_cast<int64_t>(12157665459056928801ull));
}

TEST(GenApiFormulaIntegers, NamesConstantsExpressionsAndFunctions) {
    EXPECT_EQ(evalInt("X + Y"), 4);
    EXPECT_EQ(evalInt("K + 1"), 17);
    EXPECT_EQ(evalInt("TWICE + 1"), 15);
    EXPECT_EQ(evalInt("F.Max"), 100);
    EXPECT_EQ(evalInt("ROUND(F)"), 3);  // mixed arithmetic: a float variable makes a float
    EXPECT_EQ(evalInt("F * 2"), 5);
    EXPECT_EQ(evalInt("ABS(Y) + SGN(Y) + NEG(X)"), 3 - 1 - 7);
    EXPECT_EQ(evalInt("round(2.5)"), 3);  // function names in any case
}

TEST(GenApiFormulaFloats, FloatingArithmeticAndFunctions) {
    EXPECT_DOUBLE_EQ(evalFloat("X / 2"), 3.5);
    EXPECT_DOUBLE_EQ(evalFloat("F * F"), 6.25);
    EXPECT_DOUBLE_EQ(evalFloat("SQRT(16) + LG(100) + LN(E)"), 7);
    EXPECT_NEAR(evalFloat("SIN(PI / 2) + COS(0) + ATAN(1) * 4"), 2 + M_PI, 1e-12);
    EXPECT_DOUBLE_EQ(evalFloat("TRUNC(-2.7) + FLOOR(-2.2) + CEIL(2.2)"), -2 - 3 + 3);
    EXPECT_DOUBLE_EQ(evalFloat("1.5e2 + 0x10"), 166);
    EXPECT_DOUBLE_EQ(evalFloat("(X & 3) + (X >> 1)"), 3 + 3);
    EXPECT_DOUBLE_EQ(evalFloat("EXP(0) + ASIN(0) + ACOS(1) + TAN(0)"), 1);
    EXPECT_DOUBLE_EQ(evalFloat("F > 2 ? F : 0"), 2.5);
    EXPECT_DOUBLE_EQ(evalFloat("ROUND(2.345, 2)"), 2.35);
}

TEST(GenApiFormulaErrors, DivisionByZeroAndBadTextNameTheNode) {
    try {
        evalInt("X / (Y + 3)");
        FAIL() << "no exception";
    } catch (const RuntimeException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("'S'"), std::string::npos);
        EXPECT_NE(std::string(e.GetDescription()).find("division by zero"), std::string::npos);
    }
    EXPECT_THROW(evalFloat("1 / 0"), RuntimeException);
    EXPECT_THROW(evalInt("X % 0"), RuntimeException);
    EXPECT_EQ(evalInt("Y + 3 = 0 ? 0 : X / (Y + 3)"), 0);  // the branch not taken is not evaluated
    for (const char* bad : {"1 +", "(1", "1 2", "UNKNOWN + 1", "FOO(1)", "1 ? 2", "", "$"}) {
        EXPECT_THROW(evalInt(bad), RuntimeException) << bad;
    }
}

TEST(GenApiFormulaErrors, PropertySuffixesWithoutNumericEncodingRefuseInsteadOfReadingTheValue) {
    // X reads 7 as a value; a formula asking for its access mode, visibility or caching mode must not get 7.
    for (std::string suffix : {".AccessMode", ".Visibility", ".CachingMode"}) {
        std::string variable = "X" + suffix;
        SnippetMap s(std::string(kVariables) + "<IntSwissKnife Name=\"S\"><pVariable Name=\"" + variable +
                     "\">X</pVariable><pVariable Name=\"X.Value\">X</pVariable><Formula>" + variable +
                     " + 0</Formula></IntSwissKnife><IntSwissKnife Name=\"T\"><pVariable Name=\"" + variable +
                     "\">X</pVariable><pVariable Name=\"X.Value\">X</pVariable><Formula>X.Value * 2</Formula>"
                     "</IntSwissKnife>");
        try {
            s.get<IInteger>("S").GetValue();
            FAIL() << suffix << " read a value";
        } catch (const RuntimeException& e) {
            std::string text = e.GetDescription();
            EXPECT_NE(text.find("'S'"), std::string::npos) << text;
            EXPECT_NE(text.find(variable), std::string::npos) << text;
        }
        EXPECT_EQ(s.get<IInteger>("T").GetValue(), 14) << "a declared but unused property variable is harmless";
    }
}

TEST(GenApiFormulaErrors, SelfReferencingExpressionIsRejected) {
    std::string text = describe(
        R"(<IntSwissKnife Name="S"><Expression Name="A">B + 1</Expression><Expression Name="B">A + 1</Expression>
         <Formula>A</Formula></IntSwissKnife>)");
    EXPECT_THROW(loadText(text), RuntimeException);
}

TEST(GenApiFormulaErrors, ExpressionsShareTheNestingLimitOfTheirFormula) {
    // Expression E<k> wraps E<k+1> in 100 pairs of brackets; the last one wraps 1.
    auto knife = [](int expressions) {
        std::string nodes = "<IntSwissKnife Name=\"S\">";
        for (int k = 0; k < expressions; ++k) {
            std::string inner = k + 1 < expressions ? "E" + std::to_string(k + 1) : "1";
            nodes += "<Expression Name=\"E" + std::to_string(k) + "\">" + std::string(100, '(') + inner +
                     std::string(100, ')') + "</Expression>";
        }
        return nodes + "<Formula>E0</Formula></IntSwissKnife>";
    };
    SnippetMap two(knife(2));
    EXPECT_EQ(two.get<IInteger>("S").GetValue(), 1);
    try {
        loadText(describe(knife(3)));
        ADD_FAILURE() << "300 levels of brackets across three expressions were accepted";
    } catch (const RuntimeException& e) {
        std::string text = e.GetDescription();
        EXPECT_NE(text.find("node 'S'"), std::string::npos) << text;
        EXPECT_NE(text.find("nests too deeply"), std::string::npos) << text;
        EXPECT_NE(text.find("expression 'E2'"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace corvid2::genapi::test
