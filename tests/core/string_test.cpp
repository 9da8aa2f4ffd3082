// SPDX-License-Identifier: BSD-3-Clause
// CORVID2::String: the library's only text type, with its copy-versus-assign asymmetry.
#include <corvid2/exceptions.h>
#include <corvid2/string.h>
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using CORVID2::String;

TEST(String, NullAndEmptyInputsGiveAnEmptyTextNeverANullPointer) {
    for (const String& s : {String(), String(nullptr), String(nullptr, 0), String(nullptr, 7), String("")}) {
        EXPECT_EQ(s.size(), 0);
        ASSERT_NE(s.get(), nullptr);
        EXPECT_STREQ(s.get(), "");
        EXPECT_EQ(static_cast<const char*>(s), s.get());
    }
    String assigned("x");
    assigned = static_cast<const char*>(nullptr);
    EXPECT_EQ(assigned.size(), 0);
    assigned.set("abc");
    EXPECT_EQ(assigned, "abc");
    assigned.set(nullptr);
    EXPECT_EQ(assigned.size(), 0);
}

TEST(String, EmbeddedNulSurvivesAssignmentButNotCopyConstruction) {
    const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
    const String withNul(bytes, 5);
    EXPECT_EQ(withNul.size(), 5);
    EXPECT_EQ(std::memcmp(withNul.get(), bytes, 5), 0);

    const String copied(withNul);
    EXPECT_EQ(copied.size(), 2);
    EXPECT_EQ(copied, "ab");

    String assigned("something longer");
    assigned = withNul;
    EXPECT_EQ(assigned.size(), 5);
    EXPECT_TRUE(assigned == withNul);
    EXPECT_FALSE(assigned == copied);
}

TEST(String, CharacterAssignmentKeepsEvenANulByte) {
    String s("long text");
    s = 'x';
    EXPECT_EQ(s.size(), 1);
    EXPECT_EQ(s, "x");
    s = '\0';
    EXPECT_EQ(s.size(), 1);
    EXPECT_EQ(s.get()[0], '\0');
    EXPECT_FALSE(s == "");
    EXPECT_TRUE(s != "");
}

TEST(String, OrderingIsBytewiseUnsignedWithShorterFirst) {
    EXPECT_TRUE(String("abc") < String("abd"));
    EXPECT_FALSE(String("abd") < String("abc"));
    EXPECT_TRUE(String("ab") < String("abc"));
    EXPECT_FALSE(String("abc") < String("ab"));
    EXPECT_FALSE(String("abc") < String("abc"));
    EXPECT_TRUE(String("z") < String("\xC3\xA9"));  // bytes above 0x7F sort after ASCII
    EXPECT_TRUE(String("") < String("a"));
}

TEST(String, ComparisonWithCStrings) {
    EXPECT_TRUE(String() == static_cast<const char*>(nullptr));
    EXPECT_FALSE(String("a") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(String("a") != static_cast<const char*>(nullptr));
    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_FALSE(String("abc") == "abcd");
    EXPECT_FALSE(String("abcd") == "abc");
    EXPECT_TRUE(String("abc") != String("abC"));
}

TEST(String, SelfAssignmentAndIndependentCopies) {
    String s("keep me");
    const String& alias = s;
    s = alias;
    EXPECT_EQ(s, "keep me");

    String copy(s);
    copy = "changed";
    EXPECT_EQ(s, "keep me");
    EXPECT_NE(copy.get(), s.get());
}

TEST(String, NegativeLengthIsRefusedWithAClearError) {
    try {
        String bad("abc", -1);
        FAIL() << "a negative length must not be accepted";
    } catch (const CORVID2::Exceptions::InvalidParameterException& e) {
        EXPECT_NE(std::strstr(e.GetErrorDescription().get(), "negative length"), nullptr);
    }
}
