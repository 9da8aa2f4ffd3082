// SPDX-License-Identifier: BSD-3-Clause
// Mutation fuzzing of the loader and evaluator: mutated descriptions either load and walk, or raise a
// GenericException; nothing else is acceptable (no crash, no hang, no foreign exception).
#include <fstream>
#include <random>
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

}  // namespace
}  // namespace corvid2::genapi::test
