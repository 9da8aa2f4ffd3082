// SPDX-License-Identifier: BSD-3-Clause
// IEEE 1212 configuration ROM nodes: IntKey and TextDesc lookups in a hand-made ROM image served by a port.
#include <random>

#include "test_support.h"

namespace corvid2::genapi::test {
namespace {

constexpr int64_t kRomAddress = 0x400;

/// Assembles a ROM from quadlets; leaf and directory entries are patched with their forward offsets.
struct RomImage {
    std::vector<uint32_t> quadlets;

    size_t add(uint32_t quadlet) {
        quadlets.push_back(quadlet);
        return quadlets.size() - 1;
    }
    void pointTo(size_t entry, size_t target) { quadlets[entry] |= static_cast<uint32_t>(target - entry); }
    size_t directory(size_t entries) { return add(static_cast<uint32_t>(entries) << 16 | 0xBEEF); }
    size_t textLeaf(const std::string& text) {
        size_t textQuadlets = (text.size() + 3) / 4;
        size_t header = add(static_cast<uint32_t>(2 + textQuadlets) << 16 | 0x1234);
        add(0);  // textual descriptor, minimal ASCII
        add(0);  // character set and language
        for (size_t k = 0; k < textQuadlets; ++k) {
            uint32_t q = 0;
            for (size_t b = 0; b < 4; ++b) {
                size_t at = 4 * k + b;
                q = q << 8 | (at < text.size() ? static_cast<uint8_t>(text[at]) : 0);
            }
            add(q);
        }
        return header;
    }
    void serve(MemoryPort& port) const {
        for (size_t k = 0; k < quadlets.size(); ++k) {
            port.pokeBigEndian32(kRomAddress + 4 * static_cast<int64_t>(k), quadlets[k]);
        }
    }
};

/// A ROM in the IIDC shape: root directory (vendor ID with its name, model ID, unit), one unit directory
/// (with its own model ID, overriding the root's) and its unit-dependent directory (command base, names).
RomImage iidcRom() {
    RomImage rom;
    rom.add(0x0404ABCD);  // four quadlets of bus information follow
    rom.add(0x31333934);
    rom.add(0xE0FF8000);
    rom.add(0x00A02D00);
    rom.add(0x12345678);
    rom.directory(5);
    rom.add(0x0300ABCD);                      // vendor ID
    size_t vendorText = rom.add(0x81000000);  // ... and the text describing it
    rom.add(0x0C0083C0);                      // node capabilities
    size_t unit = rom.add(0xD1000000);
    rom.add(0x17000123);  // model ID of the node
    rom.pointTo(unit, rom.directory(4));
    rom.add(0x1200A02D);  // unit spec ID
    rom.add(0x13000102);  // unit software version
    rom.add(0x17000456);  // model ID of the unit
    size_t dependent = rom.add(0xD4000000);
    rom.pointTo(dependent, rom.directory(3));
    rom.add(0x403C0000);  // command registers base (a CSR offset)
    size_t vendorLeaf = rom.add(0x81000000);
    size_t modelLeaf = rom.add(0x82000000);
    rom.pointTo(vendorText, rom.textLeaf("Corvid Optics"));
    rom.pointTo(vendorLeaf, rom.textLeaf("IIDC vendor"));
    rom.pointTo(modelLeaf, rom.textLeaf("Model X"));
    return rom;
}

std::string romNodes(const std::string& unit, const std::string& keys) {
    return R"(<ConfRom Name="Rom"><Unit>)" + unit + R"(</Unit><Address>0x400</Address><Length>0x100</Length>
      <pPort>Device</pPort><TextDesc Name="RomModel">0x82</TextDesc><IntKey Name="RomCapabilities">0x0C</IntKey>
      <TextDesc>0x81</TextDesc></ConfRom>)" +
           keys;
}

std::string intKey(const std::string& name, const std::string& key) {
    return "<IntKey Name=\"" + name + "\"><p1212Parser>Rom</p1212Parser><Key>" + key + "</Key></IntKey>";
}

std::string textDesc(const std::string& name, const std::string& key) {
    return "<TextDesc Name=\"" + name + "\"><p1212Parser>Rom</p1212Parser><Key>" + key + "</Key></TextDesc>";
}

class GenApiConfigRom : public ::testing::Test {
protected:
    std::unique_ptr<SnippetMap> load(const std::string& unit, const RomImage& rom = iidcRom()) {
        auto map = std::make_unique<SnippetMap>(romNodes(
            unit, intKey("VendorId", "0x03") + intKey("ModelId", "0x17") + intKey("CommandBase", "0x40") +
                      intKey("Absent", "0x38") + textDesc("VendorName", "0x03") + textDesc("UnitVendor", "0x81") +
                      textDesc("ModelName", "0x82") + textDesc("AbsentText", "0x83")));
        rom.serve(map->port);
        return map;
    }
};

TEST_F(GenApiConfigRom, ImmediateKeysSearchUnitDependentThenUnitThenRoot) {
    auto s = load("0");
    EXPECT_EQ(s->get<IInteger>("VendorId").GetValue(), 0xABCD);         // root only
    EXPECT_EQ(s->get<IInteger>("ModelId").GetValue(), 0x456);           // unit wins over root
    EXPECT_EQ(s->get<IInteger>("CommandBase").GetValue(), 0x3C0000);    // unit-dependent directory
    EXPECT_EQ(s->get<IInteger>("RomCapabilities").GetValue(), 0x83C0);  // listed inside the ConfRom
    EXPECT_EQ(s->map->GetNode("VendorId")->GetPrincipalInterfaceType(), intfIInteger);
}

TEST_F(GenApiConfigRom, TextsComeFromLeavesOrFollowTheEntryTheyDescribe) {
    auto s = load("0");
    EXPECT_EQ(s->get<IString>("VendorName").GetValue(), "Corvid Optics");  // descriptor after the vendor ID
    EXPECT_EQ(s->get<IString>("UnitVendor").GetValue(), "IIDC vendor");    // unit-dependent leaf before root's
    EXPECT_EQ(s->get<IString>("ModelName").GetValue(), "Model X");         // NUL padding cut off
    EXPECT_EQ(s->get<IString>("RomModel").GetValue(), "Model X");
}

TEST_F(GenApiConfigRom, UnitIsChosenBySpecIdOrIndex) {
    EXPECT_EQ(load("0xA02D")->get<IInteger>("ModelId").GetValue(), 0x456);
    auto rootOnly = load("3");  // no such unit: the root directory alone
    EXPECT_EQ(rootOnly->get<IInteger>("ModelId").GetValue(), 0x123);
    EXPECT_EQ(rootOnly->get<IString>("UnitVendor").GetValue(), "Corvid Optics");
    EXPECT_EQ(rootOnly->map->GetNode("CommandBase")->GetAccessMode(), NA);
}

TEST_F(GenApiConfigRom, KeysAreReadOnlyAndMissingKeysAreNotAvailable) {
    auto s = load("0");
    EXPECT_EQ(s->map->GetNode("VendorId")->GetAccessMode(), RO);
    EXPECT_EQ(s->map->GetNode("ModelName")->GetAccessMode(), RO);
    EXPECT_THROW(s->get<IInteger>("VendorId").SetValue(1), AccessException);
    EXPECT_THROW(s->get<IString>("ModelName").SetValue("x"), AccessException);
    EXPECT_EQ(s->map->GetNode("Absent")->GetAccessMode(), NA);
    EXPECT_EQ(s->map->GetNode("AbsentText")->GetAccessMode(), NA);
    EXPECT_THROW(s->get<IInteger>("Absent").GetValue(), AccessException);
}

TEST_F(GenApiConfigRom, RomIsReadThroughThePortAndItsCache) {
    auto s = load("0");
    s->port.resetCounters();
    EXPECT_EQ(s->get<IInteger>("VendorId").GetValue(), 0xABCD);
    EXPECT_EQ(s->get<IString>("ModelName").GetValue(), "Model X");
    EXPECT_EQ(s->port.reads_, 1) << "one read of the whole ROM, then its cache";
    s->port.pokeBigEndian32(kRomAddress + 6 * 4, 0x03001234);
    EXPECT_EQ(s->get<IInteger>("VendorId").GetValue(), 0xABCD);
    s->map->GetNode("Rom")->InvalidateNode();
    EXPECT_EQ(s->get<IInteger>("VendorId").GetValue(), 0x1234) << "invalidating the ROM reaches its keys";
}

TEST_F(GenApiConfigRom, CorruptRomsReadAsMissingKeys) {
    RomImage rom = iidcRom();
    rom.quadlets[7] = 0x81FFFFFF;  // vendor text points far beyond the image
    rom.quadlets[5] = 0x00FF0000;  // root directory claims more entries than the image holds
    rom.quadlets[9] = 0xD1000000;  // unit directory offset zero
    auto s = load("0", rom);
    EXPECT_EQ(s->map->GetNode("VendorName")->GetAccessMode(), NA);
    EXPECT_EQ(s->get<IInteger>("ModelId").GetValue(), 0x123);  // the unit is gone, the root still answers
    RomImage empty;
    auto blank = load("0", empty);
    EXPECT_EQ(blank->map->GetNode("VendorId")->GetAccessMode(), NA);
}

TEST_F(GenApiConfigRom, DamagedRomsNeverReadBeyondTheImage) {
    // Every lookup on a damaged ROM either answers or reports the key missing; RO always means readable.
    std::mt19937 random(1212);
    const RomImage good = iidcRom();
    for (int round = 0; round < 300; ++round) {
        RomImage rom = good;
        for (int hits = 0; hits < 4; ++hits) {
            size_t at = random() % rom.quadlets.size();
            rom.quadlets[at] =
                round % 3 == 0 ? static_cast<uint32_t>(random()) : rom.quadlets[at] ^ (1u << (random() % 32));
        }
        auto s = load(std::to_string(round % 2), rom);
        for (const char* name : {"VendorId", "ModelId", "CommandBase", "RomCapabilities"}) {
            EAccessMode mode = s->map->GetNode(name)->GetAccessMode();
            ASSERT_TRUE(mode == RO || mode == NA) << name;
            if (mode == RO) {
                EXPECT_NO_THROW(s->get<IInteger>(name).GetValue()) << name << " round " << round;
            }
        }
        for (const char* name : {"VendorName", "UnitVendor", "ModelName", "RomModel"}) {
            EAccessMode mode = s->map->GetNode(name)->GetAccessMode();
            ASSERT_TRUE(mode == RO || mode == NA) << name;
            if (mode == RO) {
                EXPECT_NO_THROW(s->get<IString>(name).GetValue()) << name << " round " << round;
            }
        }
    }
}

TEST(GenApiConfigRomErrors, BadKeyDefinitionsNameTheNode) {
    const std::string rom =
        R"(<ConfRom Name="Rom"><Unit>0</Unit><Address>0x400</Address><Length>0x40</Length><pPort>Device</pPort></ConfRom>
         <Integer Name="NotARom"><Value>1</Value></Integer>)";
    for (const std::string& bad :
         {std::string(R"(<IntKey Name="K"><Key>3</Key></IntKey>)"),
          std::string(R"(<IntKey Name="K"><p1212Parser>Rom</p1212Parser><Key>0x100</Key></IntKey>)"),
          std::string(R"(<TextDesc Name="K"><p1212Parser>NotARom</p1212Parser><Key>0x81</Key></TextDesc>)"),
          std::string(R"(<TextDesc Name="K"><p1212Parser>Rom</p1212Parser><Key>x</Key></TextDesc>)")}) {
        try {
            loadText(describe(rom + bad));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const GenericException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("'K'"), std::string::npos) << e.GetDescription();
        }
    }
}

}  // namespace
}  // namespace corvid2::genapi::test
