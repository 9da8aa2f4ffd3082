// SPDX-License-Identifier: BSD-3-Clause
// Mutation fuzzing of the loader and evaluator: mutated descriptions either load and walk, or raise a
// GenericException; nothing else is acceptable (no crash, no hang, no foreign exception). Every input that once
// crashed or hung the engine is kept in fuzz_regressions/ and replayed here.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "fuzz_walk.h"
#include "test_support.h"

namespace corvid2::genapi::test {
namespace {

std::string seedText() {
    std::string dir = sharedDir();
    std::ifstream stream(dir + "/genicam-xml/aravis_tests-data_genicam.xml", std::ios::binary);
    if (stream) {
        std::stringstream bytes;
        bytes << stream.rdbuf();
        return bytes.str();
    }
    return describe(R"(<Integer Name="A"><pValue>R</pValue><pMax>M</pMax></Integer>
    <IntReg Name="R"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
    <IntSwissKnife Name="M"><pVariable Name="X">R</pVariable><Formula>X*2+1</Formula></IntSwissKnife>
    <Enumeration Name="E"><EnumEntry Name="One"><Value>1</Value></EnumEntry><pValue>R</pValue></Enumeration>)");
}

std::string mutate(std::string text, std::mt19937_64& random) {
    static const char* const kPieces[] = {"<",       ">",
                                          "/",       "&amp;",
                                          "\"",      "0x",
                                          "-1",      "99999999999999999999",
                                          "(",       ")",
                                          "/0",      "**",
                                          "Name=\"", "<pValue>A</pValue>",
                                          "</",      "\xC3\xA9",
                                          "\0"};
    int edits = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < edits && !text.empty(); ++k) {
        size_t at = random() % text.size();
        switch (random() % 5) {
            case 4: {  // keep the structure, change a number: exercises evaluation rather than parsing
                size_t digit = text.find_first_of("0123456789", at);
                if (digit != std::string::npos) text[digit] = static_cast<char>('0' + random() % 10);
                break;
            }
            case 0:
                text[at] = static_cast<char>(random() % 256);
                break;
            case 1:
                text.erase(at, 1 + random() % 16);
                break;
            case 2:
                text.insert(at, kPieces[random() % (sizeof kPieces / sizeof kPieces[0])]);
                break;
            default: {
                size_t length = std::min<size_t>(1 + random() % 64, text.size() - at);
                text.insert(random() % text.size(), text.substr(at, length));
            }
        }
    }
    return text;
}

TEST(GenApiFuzz, MutatedDescriptionsLoadOrRaiseCleanly) {
    std::mt19937_64 random(20261206);
    std::string seed = seedText();
    int loaded = 0;
    for (int iteration = 0; iteration < 3000; ++iteration) {
        std::string text = mutate(seed, random);
        SCOPED_TRACE(iteration);
        try {
            loaded += fuzzLoadAndWalk(text) ? 1 : 0;
        } catch (const GenericException&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "foreign exception: " << e.what();
        }
    }
    RecordProperty("loaded", loaded);
    EXPECT_GT(loaded, 0);  // the mutations must not all be rejected, or the walk goes untested
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::stringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}

std::string loadError(const std::string& text) {
    try {
        CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
        factory.CreateNodeMap();
    } catch (const GenericException& e) {
        return e.GetDescription();
    }
    return "(loaded)";
}

std::string readError(const std::string& text, const char* node) {
    CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
    auto map = factory.CreateNodeMap();
    try {
        CastNodeOrThrow<IValue>(map->GetNode(node), "IValue").ToString();
    } catch (const GenericException& e) {
        return e.GetDescription();
    }
    return "(read)";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What each kept input must end in now. Inputs that were found later go into the same folder with an entry here.
const std::map<std::string, std::function<void(const std::string&)>>& regressionChecks() {
    static const std::map<std::string, std::function<void(const std::string&)>> kChecks = {
        {"address-sum-overflow.xml",
         [](const std::string& text) {
             std::string error = loadError(text);
             EXPECT_TRUE(contains(error, "node 'Reg': its <Address> elements add up beyond")) << error;
         }},
        {"expressions-nest-in-brackets.xml",
         [](const std::string& text) {
             std::string error = loadError(text);
             EXPECT_TRUE(contains(error, "node 'Knife'") && contains(error, "nests too deeply")) << error;
         }},
        {"integer-value-is-itself.xml",
         [](const std::string& text) {
             std::string error = loadError(text);
             EXPECT_TRUE(contains(error, "cyclic reference: Loop -> Loop")) << error;
         }},
        {"converter-value-is-itself.xml",
         [](const std::string& text) {
             std::string error = loadError(text);
             EXPECT_TRUE(contains(error, "cyclic reference: Conv -> Conv")) << error;
         }},
        {"formula-chain-too-deep.xml",  // 100 formulas of height 501, each reading the next
         [](const std::string& text) {
             std::string error = readError(text, "K0");
             EXPECT_TRUE(contains(error, "node 'K") && contains(error, "nests too deep")) << error;
             EXPECT_EQ(readError(text, "K95"), "(read)") << "a chain the stack can hold still evaluates";
         }},
        {"formula-lattice.xml",  // L<k> = L<k+1> + L<k+1>: 2^40 reads while an evaluation asked a node each time
         [](const std::string& text) {
             CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
             auto map = factory.CreateNodeMap();
             map->SetCachingEnabled(false);
             auto* top = CastNode<IInteger>(map->GetNode("L0"));
             ASSERT_NE(top, nullptr);
             EXPECT_EQ(top->GetValue(), int64_t{1} << 40);
             EXPECT_EQ(map->GetNode("L0")->GetAccessMode(), RO);
         }},
        {"converter-chain.xml",  // 40 converters doubling a Float of 0..5: limits took 2^40 steps
         [](const std::string& text) {
             CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
             auto map = factory.CreateNodeMap();
             auto* top = CastNode<IFloat>(map->GetNode("C0"));
             ASSERT_NE(top, nullptr);
             EXPECT_DOUBLE_EQ(top->GetMin(), 0);
             EXPECT_DOUBLE_EQ(top->GetMax(), 5 * std::ldexp(1.0, 40));
             EXPECT_DOUBLE_EQ(top->GetValue(), std::ldexp(1.0, 40));
         }},
    };
    return kChecks;
}

TEST(GenApiFuzzRegressions, KeptInputsRaiseErrorsNamingTheNodeOrEvaluateExactly) {
    std::set<std::string> seen;
    for (const auto& entry : std::filesystem::directory_iterator(CORVID2_GENAPI_FUZZ_REGRESSIONS)) {
        std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        seen.insert(name);
        std::string text = readFile(entry.path());
        try {
            fuzzLoadAndWalk(text);
        } catch (const GenericException& e) {
            ADD_FAILURE() << "the walk let an error escape: " << e.GetDescription();
        }
        auto check = regressionChecks().find(name);
        if (check == regressionChecks().end()) {
            ADD_FAILURE() << "kept input without an expectation in regressionChecks()";
            continue;
        }
        check->second(text);
    }
    for (const auto& [name, check] : regressionChecks()) EXPECT_EQ(seen.count(name), 1u) << name << " is missing";
}

}  // namespace
}  // namespace corvid2::genapi::test
