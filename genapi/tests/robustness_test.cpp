// SPDX-License-Identifier: BSD-3-Clause
// Untidy and bad descriptions: what real files look like, what broken ones must raise, and a mutation fuzz test.
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "test_support.h"

namespace corvid2::genapi::test {
namespace {

std::string errorOf(const std::string& text) {
    try {
        loadText(text);
    } catch (const GenericException& e) {
        return e.GetDescription();
    }
    return "(no error)";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(GenApiUntidyDescriptions, AcceptedAsRealCamerasShipThem) {
    std::string text =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!-- (c) 2024 Vendor GmbH ® all rights reserved -->\n"
        "<RegisterDescription ModelName=\"M\" VendorName=\"V\" StandardNameSpace=\"GEV\" SchemaMajorVersion=\"1\" "
        "SchemaMinorVersion=\"0\" SchemaSubMinorVersion=\"1\" xmlns=\"http://www.genicam.org/GenApi/Version_1_0\">"
        "<Category Name=\"Root\"><pFeature>\n   Width\n   </pFeature></Category>"
        "<Integer Name=\"Width\"><Extension><PvRename Name=\"Width\">junk</PvRename><Anything/></Extension>"
        "<Description>Breite in µm, 25 °C</Description><pValue>  WidthReg\n</pValue></Integer>"
        "<Group Comment=\"registers\"><IntReg Name=\"WidthReg\"><Address>\n 0x20 \n</Address><Length> 4 </Length>"
        "<AccessMode>RW</AccessMode><pPort>Device</pPort><Endianess>BigEndian</Endianess></IntReg></Group>"
        "<Enumeration Name=\"Mode\"><EnumEntry "
        "Name=\"Width\"><Value>1</Value></EnumEntry><Value>1</Value></Enumeration>"
        "<Port Name=\"Device\"/></RegisterDescription>";
    auto map = loadText(text);
    MemoryPort port;
    ASSERT_TRUE(map->Connect(&port));
    port.pokeBigEndian32(0x20, 1280);
    EXPECT_EQ(CastNode<IInteger>(map->GetNode("Width"))->GetValue(), 1280);
    EXPECT_EQ(map->GetNode("Width")->GetDescription(), "Breite in µm, 25 °C");
    EXPECT_EQ(CastNode<IEnumeration>(map->GetNode("Mode"))->ToString(), "Width");
    value_vector features;
    CastNode<ICategory>(map->GetNode("Root"))->GetFeatures(features);
    EXPECT_EQ(features.size(), 1u);
}

TEST(GenApiUntidyDescriptions, ZipArchiveFirstEntryIsRead) {
    std::string path = ::testing::TempDir() + "/genapi_description.zip";
    std::string text = describe(R"(<Integer Name="Answer"><Value>42</Value></Integer>)");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    ASSERT_GE(zip_file_add(archive, "camera.xml", source, ZIP_FL_ENC_UTF_8), 0);
    ASSERT_EQ(zip_close(archive), 0);
    std::ifstream stream(path, std::ios::binary);
    std::stringstream bytes;
    bytes << stream.rdbuf();
    std::string zipped = bytes.str();
    for (EContentType type : {ContentType_ZippedXml, ContentType_Auto}) {
        CNodeMapFactory factory(type, zipped.data(), zipped.size());
        auto map = factory.CreateNodeMap();
        EXPECT_EQ(CastNode<IInteger>(map->GetNode("Answer"))->GetValue(), 42);
    }
    CNodeMapFactory fromFile(path);
    EXPECT_NE(fromFile.CreateNodeMap()->GetNode("Answer"), nullptr);
    std::remove(path.c_str());
    std::string broken = "PK\x03\x04garbage";
    EXPECT_THROW(CNodeMapFactory(ContentType_Auto, broken.data(), broken.size()), RuntimeException);
}

TEST(GenApiUntidyDescriptions, SubtreeKeepsWhatTheRootNeeds) {
    CNodeMapFactory factory(ContentType_Xml, nullptr, 0);
    std::string text = describe(R"(
    <Category Name="Events"><pFeature>EventTime</pFeature></Category>
    <IntReg Name="EventTime"><Address>0</Address><pAddress>Base</pAddress><Length>4</Length><pPort>Device</pPort></IntReg>
    <Integer Name="Base"><Value>4</Value></Integer>
    <Integer Name="Unrelated"><Value>1</Value></Integer>)");
    CNodeMapFactory sub(ContentType_Xml, text.data(), text.size());
    sub.ExtractSubtree("Events");
    auto map = sub.CreateNodeMap("Device", true);
    EXPECT_NE(map->GetNode("EventTime"), nullptr);
    EXPECT_NE(map->GetNode("Base"), nullptr);
    EXPECT_NE(map->GetNode("Device"), nullptr);
    EXPECT_EQ(map->GetNode("Unrelated"), nullptr);
    EXPECT_THROW(sub.ExtractSubtree("Nowhere"), InvalidArgumentException);
    EXPECT_TRUE(factory.IsEmpty());
    EXPECT_THROW(factory.Preprocess(), RuntimeException);
}

TEST(GenApiBadDescriptions, EachErrorNamesWhatIsWrong) {
    EXPECT_TRUE(contains(errorOf("<RegisterDescription><Integer Name=\"A\">"), "not well-formed"));
    EXPECT_TRUE(contains(errorOf("<Other/>"), "<Other>"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Gizmo Name="G"/>)")), "Gizmo"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer Name="A"><Colour>red</Colour><Value>1</Value></Integer>)")),
                         "'A': unknown element <Colour>"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer Name="A"><pValue>Missing</pValue></Integer>)")),
                         "'A': <pValue> refers to missing node 'Missing'"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer Name="A"><pValue>B</pValue></Integer>
                                           <Integer Name="B"><pMax>A</pMax><Value>1</Value></Integer>)")),
                         "cyclic reference"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer Name="A"><Value>x1</Value></Integer>)")), "'A': <Value>"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer Name="A"><Value>1</Value></Integer>
                                           <Integer Name="A"><Value>2</Value></Integer>)")),
                         "'A' is defined twice"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<IntSwissKnife Name="K"><Formula>1 +* 2</Formula></IntSwissKnife>)")),
                         "'K': formula"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer><Value>1</Value></Integer>)")), "no Name"));
    EXPECT_TRUE(contains(errorOf(describe(R"(<Integer Name="I"><Value>1</Value></Integer>
      <Enumeration Name="E"><pEnumEntry>I</pEnumEntry><Value>0</Value></Enumeration>)")),
                         "'E': <pEnumEntry> names 'I', which is no entry"));
}

TEST(GenApiBadDescriptions, HostileSizesRaiseInsteadOfExhaustingTheStack) {
    std::string chain;
    for (int k = 0; k < 5000; ++k) {
        chain +=
            "<Integer Name=\"N" + std::to_string(k) + "\"><pValue>N" + std::to_string(k + 1) + "</pValue></Integer>";
    }
    chain += "<Integer Name=\"N5000\"><Value>1</Value></Integer>";
    SnippetMap s(chain);
    EXPECT_THROW(s.get<IInteger>("N0").GetValue(), GenericException);  // too deep: unavailable or raised
    EXPECT_EQ(s.get<IInteger>("N4900").GetValue(), 1);
    std::string deep(100000, '(');
    EXPECT_TRUE(contains(errorOf(describe("<IntSwissKnife Name=\"K\"><Formula>" + deep + "</Formula></IntSwissKnife>")),
                         "nests too deeply"));
    std::string sum = "1";
    for (int k = 0; k < 100000; ++k) sum += "+1";
    EXPECT_TRUE(contains(errorOf(describe("<IntSwissKnife Name=\"K\"><Formula>" + sum + "</Formula></IntSwissKnife>")),
                         "nests too deeply"));
    std::string groups;
    for (int k = 0; k < 1000; ++k) groups += "<Group Comment=\"g\">";
    for (int k = 0; k < 1000; ++k) groups += "</Group>";
    EXPECT_TRUE(contains(errorOf(describe(groups)), "nest too deeply"));
}

TEST(GenApiBadDescriptions, NodeNamingItselfIsACycleFoundAtLoading) {
    const char* kSelfReferences[] = {
        R"(<Integer Name="X"><pValue>X</pValue></Integer>)",
        R"(<Float Name="X"><pValue>X</pValue></Float>)",
        R"(<Converter Name="X"><FormulaTo>FROM</FormulaTo><FormulaFrom>TO</FormulaFrom><pValue>X</pValue></Converter>)",
        R"(<Integer Name="X"><pIsAvailable>X</pIsAvailable><Value>1</Value></Integer>)",
        R"(<Integer Name="X"><pMin>X</pMin><Value>1</Value></Integer>)",
        R"(<Integer Name="X"><pIndex>X</pIndex><ValueIndexed Index="0">1</ValueIndexed></Integer>)",
        R"(<IntSwissKnife Name="X"><pVariable Name="V">X</pVariable><Formula>V</Formula></IntSwissKnife>)",
        R"(<IntReg Name="X"><pAddress>X</pAddress><Length>4</Length><pPort>Device</pPort></IntReg>)"};
    for (const char* node : kSelfReferences) {
        EXPECT_TRUE(contains(errorOf(describe(node)), "cyclic reference: X -> X")) << node;
    }
    // References that are no dependency may name the node itself: they are not followed while evaluating.
    SnippetMap s(R"(<IntReg Name="Reg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
                  <pPort>Device</pPort><pInvalidator>Reg</pInvalidator></IntReg>)");
    s.get<IInteger>("Reg").SetValue(3);
    EXPECT_EQ(s.get<IInteger>("Reg").GetValue(), 3);
}

TEST(GenApiBadDescriptions, RefusingPortRaisesWithTheRegisterName) {
    SnippetMap s(R"(<IntReg Name="Reg"><Address>0x40</Address><Length>4</Length><AccessMode>RW</AccessMode>
                  <pPort>Device</pPort></IntReg>)");
    s.port.refuse_ = true;
    try {
        s.get<IInteger>("Reg").GetValue();
        FAIL() << "no exception";
    } catch (const AccessException& e) {
        EXPECT_TRUE(contains(e.GetDescription(), "'Reg'"));
        EXPECT_TRUE(contains(e.GetDescription(), "0x40"));
    }
    EXPECT_THROW(s.get<IInteger>("Reg").SetValue(1), AccessException);
}

TEST(GenApiBadDescriptions, CycleThroughConditionsIsFoundAtLoading) {
    std::string error = errorOf(describe(R"(<Integer Name="A"><pIsAvailable>B</pIsAvailable><Value>1</Value></Integer>
                  <IntSwissKnife Name="B"><pVariable Name="X">C</pVariable><Formula>X</Formula></IntSwissKnife>
                  <Integer Name="C"><pIsAvailable>A</pIsAvailable><Value>1</Value></Integer>)"));
    EXPECT_TRUE(contains(error, "cyclic reference")) << error;
    EXPECT_TRUE(contains(error, "A -> B -> C -> A") || contains(error, "B -> C -> A -> B") ||
                contains(error, "C -> A -> B -> C"))
        << error;
}

TEST(GenApiBadDescriptions, ReadBackVerificationOnDemand) {
    SnippetMap s(R"(<MaskedIntReg Name="Bit"><Address>0</Address><Length>1</Length><AccessMode>RW</AccessMode>
                  <pPort>Device</pPort><Bit>0</Bit></MaskedIntReg>)");
    class StickyPort : public MemoryPort {
        void Write(const void*, int64_t, int64_t) override { ++writes_; }  // the device ignores writes
    } sticky;
    ASSERT_TRUE(s.map->Connect(&sticky, "Device"));
    s.get<IInteger>("Bit").SetValue(1);  // no read-back by default
    EXPECT_EQ(sticky.reads_, 1);         // the read of read-modify-write
    s.map->SetReadBackVerification(true);
    EXPECT_THROW(s.get<IInteger>("Bit").SetValue(1, true), RuntimeException);
    EXPECT_NO_THROW(s.get<IInteger>("Bit").SetValue(1, false));
}

TEST(GenApiConcurrency, ReadersAndWritersShareOneMap) {
    SnippetMap s(R"(<IntReg Name="Reg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
                  <pPort>Device</pPort></IntReg>
                  <IntSwissKnife Name="Twice"><pVariable Name="R">Reg</pVariable><Formula>R*2</Formula></IntSwissKnife>)");
    auto& reg = s.get<IInteger>("Reg");
    auto& twice = s.get<IInteger>("Twice");
    std::thread writer([&] {
        for (int k = 0; k < 2000; ++k) reg.SetValue(k % 100);
    });
    std::thread reader([&] {
        for (int k = 0; k < 2000; ++k) {
            std::lock_guard<std::recursive_mutex> lock(s.map->GetLock());  // both reads see one value
            EXPECT_EQ(twice.GetValue(), 2 * reg.GetValue());
        }
    });
    writer.join();
    reader.join();
    EXPECT_EQ(reg.GetValue(), 99);
}

TEST(GenApiConcurrency, MapsOfOneFactoryLiveIndependently) {
    std::string text = describe(R"(<IntReg Name="Reg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
                                 <pPort>Device</pPort></IntReg>)");
    CNodeMapFactory factory(ContentType_Xml, text.data(), text.size());
    factory.Preprocess();
    auto work = [&](int value) {
        MemoryPort port;
        auto map = factory.CreateNodeMap();
        map->Connect(&port);
        auto* reg = CastNode<IInteger>(map->GetNode("Reg"));
        for (int k = 0; k < 500; ++k) {
            reg->SetValue(value);
            EXPECT_EQ(reg->GetValue(false, true), value);
        }
    };
    std::thread first(work, 1);
    std::thread second(work, 2);
    first.join();
    second.join();
}

}  // namespace
}  // namespace corvid2::genapi::test
