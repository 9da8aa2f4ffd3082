// SPDX-License-Identifier: BSD-3-Clause
// Real camera descriptions: every file loads, and chosen features read what the description says by hand.
#include <cmath>
#include <fstream>

#include "test_support.h"

namespace corvid2::genapi::test {
namespace {

std::string corpusFile(const std::string& name) { return sharedDir() + "/genicam-xml/" + name; }

bool corpusPresent() {
    std::ifstream probe(corpusFile("aravis_arv-fake-camera.xml"));
    return probe.good();
}

/// A real description connected to a memory port on every device port.
class RealCamera {
public:
    explicit RealCamera(const std::string& file) : factory_(corpusFile(file)), map(factory_.CreateNodeMap()) {
        EXPECT_TRUE(map->Connect(&port, "Device"));
    }
    template <class T>
    T& get(const std::string& name) {
        INode* node = map->GetNode(name);
        if (!node) throw std::runtime_error("no node " + name);
        return CastNodeOrThrow<T>(node, typeid(T).name());
    }

private:
    CNodeMapFactory factory_;

public:
    MemoryPort port;
    std::unique_ptr<INodeMap> map;
};

class GenApiSharedDescriptions : public ::testing::Test {
protected:
    void SetUp() override {
        if (!corpusPresent()) GTEST_SKIP() << "shared descriptions not found in " << sharedDir();
    }
};

// Node element counts from the corpus README (StructReg counted, entries not); the aravis test file also
// embeds one IntSwissKnife in a register's address, which becomes a node of its own.
TEST_F(GenApiSharedDescriptions, EveryFileLoadsWithAllItsNodes) {
    const std::pair<const char*, int> kFiles[] = {{"ADGenICam_Orca_Fire_C16240-20UP.xml", 30},
                                                  {"aravis_arv-fake-camera.xml", 63},
                                                  {"aravis_tests-data_genicam.xml", 99 + 1},
                                                  {"harvesters_TLSimu_issue_66_altered_plain.xml", 53},
                                                  {"nerian_SceneScan_remote.xml", 204},
                                                  {"ADGenICam_Mikrotron_CXP_MC206xS11.xml", 261},
                                                  {"PixeLINK_PL-B771G.xml", 457},
                                                  {"ADGenICam_Teledyne_ShadoBox.xml", 389},
                                                  {"ADGenICam_AVT_Mako_G030B.xml", 636},
                                                  {"ADGenICam_PGR_GS3_U3_51S5M.xml", 733},
                                                  {"ADGenICam_Euresys_Coaxlink_TLInterface.xml", 1925},
                                                  {"ADGenICam_FLIR-BFS-PGE-50S4C.xml", 2527},
                                                  {"ADGenICam_Basler-acA1300-60gm.xml", 2188}};
    for (const auto& [file, expected] : kFiles) {
        SCOPED_TRACE(file);
        CNodeMapFactory factory(corpusFile(file));
        auto map = factory.CreateNodeMap();
        node_vector nodes;
        map->GetNodes(nodes);
        int features = 0;
        for (INode* node : nodes) {
            std::string type = node->GetNodeType();
            if (type != "EnumEntry" && type != "StructEntry") ++features;
        }
        // StructReg elements are containers, not nodes: count them from the description itself.
        std::ifstream stream(corpusFile(file));
        std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        int structRegCount = 0;
        for (size_t at = text.find("<StructReg"); at != std::string::npos; at = text.find("<StructReg", at + 1)) {
            ++structRegCount;
        }
        EXPECT_EQ(features + structRegCount, expected);
    }
}

TEST_F(GenApiSharedDescriptions, UsbCameraRegistersSwissKnivesAndStructEntries) {
    RealCamera camera("ADGenICam_PGR_GS3_U3_51S5M.xml");
    // CurrentSpeed_Reg: SBRMOffset 0x200000 + 0x40, little-endian; the IntSwissKnife maps 8 -> 3 -> SuperSpeed.
    camera.port.pokeLittleEndian32(0x200040, 8);
    EXPECT_EQ(camera.get<IEnumeration>("U3VCurrentSpeed").ToString(), "SuperSpeed");
    camera.port.pokeLittleEndian32(0x200040, 4);
    camera.map->InvalidateNodes();
    EXPECT_EQ(camera.get<IEnumeration>("U3VCurrentSpeed").ToString(), "HighSpeed");
    // 8-byte little-endian StructReg at 0x1E0: bits 0..31 and 32..63.
    camera.port.poke(0x1E0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
    EXPECT_EQ(camera.get<IInteger>("U3VDeviceConfigurationHigh").GetValue(), 0x44332211);
    EXPECT_EQ(camera.get<IInteger>("U3VDeviceConfigurationLow").GetValue(), 0x88776655);
    EXPECT_EQ(camera.map->GetNode("U3VMaxDeviceResponseTime")->GetAccessMode(), RO);  // imposed RO
}

TEST_F(GenApiSharedDescriptions, UsbCameraConverterWithSelectorVariable) {
    RealCamera camera("ADGenICam_PGR_GS3_U3_51S5M.xml");
    const int64_t kBase = 0xFFFFF0F00000;               // CamRegBaseAddress
    camera.port.pokeLittleEndian32(kBase + 0x5420, 1);  // ParameterSelector_Reg: SEL = 1
    camera.port.pokeLittleEndian32(kBase + 0x5424, 2);  // RemoveLimits_Reg: bit 1 set
    auto& removeLimits = camera.get<IBoolean>("RemoveLimits");
    EXPECT_TRUE(removeLimits.GetValue());               // ((2 & (1 << 1)) = 0) ? 0 : 1
    camera.port.pokeLittleEndian32(kBase + 0x5420, 0);  // SEL = 0 selects bit 0, which is clear
    camera.map->InvalidateNodes();
    EXPECT_FALSE(removeLimits.GetValue());
    removeLimits.SetValue(true);  // FormulaTo FROM: writes 1
    EXPECT_EQ(camera.port.peek(kBase + 0x5424), 1);
}

TEST_F(GenApiSharedDescriptions, UsbCameraCachingCountedByPortTraffic) {
    RealCamera camera("ADGenICam_PGR_GS3_U3_51S5M.xml");
    auto& value = camera.get<IInteger>("UserDefinedValue");
    auto& selector = camera.get<IEnumeration>("UserDefinedValueSelector");
    camera.port.pokeLittleEndian32(0xFFFFF0F05434, static_cast<uint32_t>(-5));  // signed register
    EXPECT_EQ(value.GetValue(), -5);
    camera.port.resetCounters();
    EXPECT_EQ(value.GetValue(), -5);
    EXPECT_EQ(camera.port.reads_, 0);  // cached
    selector.FromString("Value3");     // writes the selector register, which invalidates the value register
    EXPECT_EQ(camera.port.writes_, 1);
    EXPECT_EQ(camera.port.peek(0xFFFFF0F05430), 2);
    int readsBefore = camera.port.reads_;
    value.GetValue();
    EXPECT_EQ(camera.port.reads_, readsBefore + 1);
}

TEST_F(GenApiSharedDescriptions, UsbCameraEventsAndChunks) {
    RealCamera camera("ADGenICam_PGR_GS3_U3_51S5M.xml");
    EXPECT_EQ(camera.map->GetNode("EventTest")->GetAccessMode(), NI);  // EventControl_Inq reads 0
    camera.port.pokeLittleEndian32(0xFFFFF0F04500, 1);                 // now the test event is implemented
    camera.map->InvalidateNodes();
    CEventAdapterGeneric events(camera.map.get());
    EXPECT_EQ(camera.map->GetNode("EventTest")->GetAccessMode(), NA);  // nothing delivered yet
    uint8_t message[20] = {0, 0, 0xFF, 0x4F, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 7};
    events.DeliverMessage(message, sizeof message, 0x4FFF);
    EXPECT_EQ(camera.get<IInteger>("EventTest").GetValue(), 0x4FFF);
    EXPECT_EQ(camera.get<IInteger>("EventTestTimestamp").GetValue(), 0x1122334455667788);
    EXPECT_EQ(camera.get<IInteger>("EventTestFrameID").GetValue(), 7);
    message[12] = 8;
    events.DeliverMessage(message, sizeof message, 0x4FFF);
    EXPECT_EQ(camera.get<IInteger>("EventTestFrameID").GetValue(), 8);  // new data, not the cache

    // USB3 Vision trailer: little-endian tags. Frame counter chunk, then width chunk.
    uint8_t buffer[] = {42,   0,    0, 0, 0x03, 0x00, 0x04, 0x05, 4, 0, 0, 0,
                        0x80, 0x02, 0, 0, 0x06, 0x00, 0x04, 0x05, 4, 0, 0, 0};
    auto chunks = ParseChunkTrailer(buffer, sizeof buffer, false);
    ASSERT_EQ(chunks.size(), 2u);
    CChunkAdapterGeneric adapter(camera.map.get());
    AttachStatistics_t statistics;
    adapter.AttachBuffer(buffer, chunks.data(), static_cast<int64_t>(chunks.size()), &statistics);
    EXPECT_EQ(statistics.NumAttachedChunks, 2);
    EXPECT_EQ(camera.get<IInteger>("ChunkFrameCounter_Reg").GetValue(), 42);
    EXPECT_EQ(camera.get<IInteger>("ChunkWidth_Reg").GetValue(), 640);
    EXPECT_EQ(camera.map->GetNode("Timestamp_Reg")->GetAccessMode(), NA);  // no such chunk in this buffer
    adapter.DetachBuffer();
    EXPECT_EQ(camera.map->GetNode("ChunkWidth_Reg")->GetAccessMode(), NA);
}

TEST_F(GenApiSharedDescriptions, GigECameraChunksWithBigEndianTrailer) {
    RealCamera camera("ADGenICam_Basler-acA1300-60gm.xml");
    // Frame counter chunk (ID 8c0f1cd8, 4 bytes) then timestamp chunk (ID c91613db, 8 bytes); data little-endian.
    uint8_t first[] = {5, 0, 0, 0, 0x8c, 0x0f, 0x1c, 0xd8, 0,    0,    0, 4, 1, 2,
                       3, 4, 5, 6, 7,    8,    0xc9, 0x16, 0x13, 0xdb, 0, 0, 0, 8};
    uint8_t second[sizeof first];
    std::memcpy(second, first, sizeof first);
    second[0] = 6;
    auto chunks = ParseChunkTrailer(first, sizeof first);
    CChunkAdapterGeneric adapter(camera.map.get());
    adapter.AttachBuffer(first, chunks.data(), static_cast<int64_t>(chunks.size()));
    EXPECT_EQ(camera.get<IInteger>("ChunkFramecounter").GetValue(), 5);
    EXPECT_EQ(camera.get<IInteger>("ChunkTimestamp").GetValue(), 0x0807060504030201);
    adapter.UpdateBuffer(second);
    EXPECT_EQ(camera.get<IInteger>("ChunkFramecounter").GetValue(), 6);
    adapter.DetachNodeMap();
    EXPECT_EQ(camera.map->GetNode("ChunkFramecounter")->GetAccessMode(), NA);
}

TEST_F(GenApiSharedDescriptions, GigECameraBigEndianBitsAndIndexedRegister) {
    RealCamera camera("ADGenICam_AVT_Mako_G030B.xml");
    // RegTriggerInq* are BigEndian bits of 0x13000: bit 23 -> 0x100 (FrameStart), bit 20 -> 0x800 (AcquisitionStart).
    camera.port.poke(0x13000, {0x00, 0x00, 0x09, 0x00});
    auto& selector = camera.get<IEnumeration>("TriggerSelector");
    gcstring_vector symbolics;
    selector.GetSymbolics(symbolics);
    EXPECT_EQ(symbolics, (gcstring_vector{"FrameStart", "AcquisitionStart"}));
    selector.FromString("AcquisitionStart");
    // RegTriggerInqEvent: 0x13400 + 64 * IntTriggerSelector, bit 31 (BigEndian) is the lowest bit.
    EXPECT_EQ(camera.get<IRegister>("RegTriggerInqEvent").GetAddress(), 0x13400 + 64 * 3);
    camera.port.poke(0x134C0, {0, 0, 0, 1});
    EXPECT_EQ(camera.get<IInteger>("RegTriggerInqEvent").GetValue(), 1);
    EXPECT_THROW(selector.FromString("AcquisitionEnd"), AccessException);  // not implemented
}

TEST_F(GenApiSharedDescriptions, GigECameraFloatConverterBothWays) {
    RealCamera camera("ADGenICam_FLIR-BFS-PGE-50S4C.xml");
    auto& raw = camera.get<IRegister>("Gain_Val");
    int64_t address = raw.GetAddress();
    camera.port.pokeBigEndian32(address, 32768);
    auto& gain = camera.get<IFloat>("GainDB_Val");
    EXPECT_NEAR(gain.GetValue(), 32768 * 6.020599913 / 16384, 1e-9);  // TO*6.020599913/(2**14)
    gain.SetValue(6.020599913);                                       // FROM*(2**14)/6.020599913 = 16384
    EXPECT_EQ(camera.port.peek(address + 2), 0x40);
    EXPECT_EQ(camera.port.peek(address + 3), 0x00);
    camera.port.resetCounters();
    camera.get<IInteger>("Gain_Val").GetValue();
    camera.get<IInteger>("Gain_Val").GetValue();
    EXPECT_EQ(camera.port.reads_, 2);  // Cachable NoCache
}

TEST_F(GenApiSharedDescriptions, FrameGrabberSelectorWithIndexedLimits) {
    CNodeMapFactory factory(corpusFile("ADGenICam_Euresys_Coaxlink_TLInterface.xml"));
    auto map = factory.CreateNodeMap("Interface");
    MemoryPort port;
    ASSERT_TRUE(map->Connect(&port, "InterfacePort"));
    auto poke64 = [&](int64_t address, uint64_t value) {
        for (int k = 0; k < 8; ++k) port.poke(address + k, {static_cast<uint8_t>(value >> (8 * k))});
    };
    const int64_t kBase = 0x447200000000000;
    poke64(kBase + 0x40003000000, 1000);  // node_66 / value of selector 3
    poke64(kBase + 0x40002000000, 5000);  // node_68 / value of selector 2
    auto& selector = *CastNode<IEnumeration>(map->GetNode("CxpDiscoveryTimingSelector"));
    auto& timing = *CastNode<IInteger>(map->GetNode("CxpDiscoveryTiming"));
    selector.FromString("DiscoveryInitialDelay");  // 3: address (4<<40)|(3<<24), min default 0, max node_68
    EXPECT_EQ(CastNode<IRegister>(map->GetNode("node_64"))->GetAddress(), kBase + 0x40003000000);
    EXPECT_EQ(timing.GetValue(), 1000);
    EXPECT_EQ(timing.GetMin(), 0);
    EXPECT_EQ(timing.GetMax(), 5000);
    selector.FromString("ExtensionSetupMaxTime");  // 2: min node_66, max default 3600000
    EXPECT_EQ(timing.GetValue(), 5000);
    EXPECT_EQ(timing.GetMin(), 1000);
    EXPECT_EQ(timing.GetMax(), 3600000);
    timing.SetValue(4000);
    EXPECT_EQ(port.peek(kBase + 0x40002000000), 4000 & 0xff);
    EXPECT_EQ(port.peek(kBase + 0x40002000001), 4000 >> 8);
    EXPECT_THROW(timing.SetValue(999), OutOfRangeException);
}

TEST_F(GenApiSharedDescriptions, SwappedDevicePortOfASimulator) {
    RealCamera camera("harvesters_TLSimu_issue_66_altered_plain.xml");
    // The port swaps 4-byte accesses and WidthReg (0x104) is little-endian: the device holds it big-endian.
    camera.port.poke(0x104, {0x00, 0x00, 0x02, 0x80});
    EXPECT_EQ(camera.get<IInteger>("WidthReg").GetValue(), 640);
    camera.get<IInteger>("WidthReg").SetValue(0x12345678);
    EXPECT_EQ(camera.port.peek(0x104), 0x12);
    EXPECT_EQ(camera.port.peek(0x107), 0x78);
}

TEST(GenApiChunkTrailer, MalformedTrailersAreRejected) {
    uint8_t tooLong[] = {1, 2, 0, 0, 0, 1, 0, 0, 0, 9};
    EXPECT_THROW(ParseChunkTrailer(tooLong + 2, 8), InvalidArgumentException);
    EXPECT_THROW(ParseChunkTrailer(tooLong, 5), InvalidArgumentException);
    EXPECT_TRUE(ParseChunkTrailer(tooLong, 0).empty());
}

}  // namespace
}  // namespace corvid2::genapi::test
