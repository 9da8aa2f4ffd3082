// SPDX-License-Identifier: BSD-3-Clause
// Description locations taken apart, "File:" descriptions found in the search folders, archives
// inflated, and the location list tried in order over a scripted port.
#include <gtest/gtest.h>

#include <zip.h>

#include <cstring>
#include <map>

#include "features/port_iface.h"
#include "features/xml_loader.h"
#include "platform/platform.h"
#include "support/scratch.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

const char kDescription[] = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="Scripted" VendorName="Test"><Port Name="Device"/></RegisterDescription>)";

// A one-entry (or more) archive in memory, as a camera would keep it.
std::string zipArchive(const std::vector<std::pair<std::string, std::string>>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(target);
    zip_t* archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    for (const auto& [name, text] : entries) {
        zip_source_t* entry = zip_source_buffer_create(text.data(), text.size(), 0, &error);
        zip_file_add(archive, name.c_str(), entry, ZIP_FL_OVERWRITE);
    }
    zip_close(archive);
    zip_source_open(target);
    zip_source_seek(target, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(target);
    zip_source_seek(target, 0, SEEK_SET);
    std::string bytes(static_cast<size_t>(size), '\0');
    zip_source_read(target, bytes.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(target);
    zip_source_free(target);
    zip_error_fini(&error);
    return bytes;
}

// A port whose locations and memory the test writes; every read is counted.
class ScriptedPort : public IPortIface {
public:
    ScriptedPort() : IPortIface(nullptr, "Scripted") {}
    Result GetNumPortURLs(std::uint32_t* count) override {
        if (listFailure_ != Result::Success) return listFailure_;
        *count = static_cast<std::uint32_t>(urls_.size());
        return Result::Success;
    }
    Result GetPortURL(std::uint32_t index, std::string* url) override {
        if (index >= urls_.size()) return Result::InvalidParameter;
        *url = urls_[index];
        return Result::Success;
    }
    Result ReadPort(std::uint64_t address, void* buffer, size_t* size) override {
        reads_.push_back({address, *size});
        const auto block = memory_.find(address);
        if (block == memory_.end() || block->second.size() < *size) return Result::LowLevelError;
        std::memcpy(buffer, block->second.data(), *size);
        return Result::Success;
    }
    std::vector<std::string> urls_;
    std::map<std::uint64_t, std::string> memory_;
    std::vector<std::pair<std::uint64_t, size_t>> reads_;
    Result listFailure_ = Result::Success;
};

}  // namespace

TEST(DescriptionLocationParsing, LocalLocationsInAnyCaseGiveHexadecimalAddressAndLength) {
    for (const char* text :
         {"local:Device.xml;10000;1A3F", "LOCAL:Device.xml;10000;1a3f", "Local:///Device.xml;;10000;;1A3F",
          "Local:Device.xml;0x10000;0x1A3F?SchemaVersion=1.1.0", "Local:Device.xml;10000;1A3F;SchemaVersion=1.0.0"}) {
        SCOPED_TRACE(text);
        const auto location = parseDescriptionLocation(text);
        ASSERT_TRUE(location);
        EXPECT_EQ(location->scheme, DescriptionLocation::Scheme::Local);
        EXPECT_EQ(location->fileName, "Device.xml");
        EXPECT_EQ(location->address, 0x10000u);
        EXPECT_EQ(location->length, 0x1A3Fu);
        EXPECT_FALSE(location->zipped);
    }
}

TEST(DescriptionLocationParsing, ArchivesAreKnownByTheirName) {
    EXPECT_TRUE(parseDescriptionLocation("Local:Device.zip;10000;800")->zipped);
    EXPECT_TRUE(parseDescriptionLocation("Local:a.Zip;10000;800")->zipped);
    EXPECT_TRUE(parseDescriptionLocation("file:///tmp/camera.ZIP")->zipped);
    EXPECT_FALSE(parseDescriptionLocation("File:camera.xml")->zipped);
}

TEST(DescriptionLocationParsing, FileLocationsKeepTheirNameAndDropTheUrlHost) {
    EXPECT_EQ(parseDescriptionLocation("File:///tmp/a.xml")->fileName, "/tmp/a.xml");
    EXPECT_EQ(parseDescriptionLocation("file:a.xml;SchemaVersion=1.1.0")->fileName, "a.xml");
    EXPECT_EQ(parseDescriptionLocation("FILE:a.xml;extra")->fileName, "a.xml");
    EXPECT_EQ(parseDescriptionLocation("File:a.xml")->scheme, DescriptionLocation::Scheme::File);
}

TEST(DescriptionLocationParsing, UnloadableLocations) {
    for (const char* text : {"Local:Device.xml;10000", "Local:Device.xml;10000;1A3F;12", "Local:Device.xml;zz;10",
                             "Local:Device.xml;10;-1", "Local:Device.xml;10;100000000", "Local:Device.xml;10;",
                             "Local:Device.xml;1FFFFFFFFFFFFFFFF;10", "Http://host/Device.xml", "File:", "no scheme"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseDescriptionLocation(text));
    }
}

TEST(DescriptionFiles, AreFoundByAbsolutePathAndInTheSearchFolders) {
    ScratchFolder folder;
    const fs::path file = folder.write("scripted.xml", kDescription);
    CXmlLoader absolute;
    ASSERT_TRUE(absolute.load("File:///" + file.string().substr(1), nullptr));
    EXPECT_EQ(absolute.text(), kDescription);
    EXPECT_FALSE(absolute.fromDeviceMemory());

    platform::ScopedEnv path(
        "PATH", "/nonexistent/folder" + std::string(1, platform::executablePathSeparator()) + folder.path().string());
    CXmlLoader relative;
    ASSERT_TRUE(relative.load("file:scripted.xml", nullptr));
    EXPECT_EQ(relative.text(), kDescription);
    const auto folders = descriptionSearchFolders();
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders.front(), fs::current_path());
    EXPECT_EQ(folders.back(), folder.path());

    CXmlLoader missing;
    EXPECT_FALSE(missing.load("File:not-there.xml", nullptr));
    EXPECT_FALSE(missing.isLoaded());
}

TEST(DescriptionFiles, AZippedFileGivesItsFirstEntryOnly) {
    ScratchFolder folder;
    const fs::path file =
        folder.write("scripted.zip", zipArchive({{"scripted.xml", kDescription}, {"other.xml", "<other/>"}}));
    CXmlLoader loader;
    ASSERT_TRUE(loader.load("File:" + file.string(), nullptr));
    EXPECT_EQ(loader.text(), kDescription);

    const fs::path broken = folder.write("broken.zip", "PK not really an archive");
    CXmlLoader brokenLoader;
    EXPECT_FALSE(brokenLoader.load("File:" + broken.string(), nullptr));
}

TEST(DescriptionLocations, AreTriedInOrderUntilOneLoads) {
    ScriptedPort port;
    const std::string zipped = zipArchive({{"Device.xml", kDescription}});
    port.memory_[0x100] = zipped;
    char length[16];
    std::snprintf(length, sizeof length, "%zX", zipped.size());
    port.urls_ = {"Http://host/Device.xml",    // unknown scheme
                  "Local:Device.xml;10",       // token missing
                  "File:not-there.xml",        // no such file
                  "Local:Device.xml;2000;40",  // device refuses the read
                  "Local:Device.xml;100;0",    // nothing to read
                  std::string("local:Device.zip;100;") + length,
                  "Local:Never.xml;100;10"};
    std::unique_ptr<CXmlLoader> loaded;
    ASSERT_EQ(loadPortDescription(port, loaded), Result::Success);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->text(), kDescription);
    EXPECT_TRUE(loaded->fromDeviceMemory());
    ASSERT_EQ(port.reads_.size(), 2u);  // the refused read and the archive; nothing after
    EXPECT_EQ(port.reads_.back(), (std::pair<std::uint64_t, size_t>(0x100, zipped.size())));
}

TEST(DescriptionLocations, NothingLoadableLeavesNoDescriptionAndListFailuresAreReturned) {
    ScriptedPort port;
    port.urls_ = {"Local:Device.xml;10;10", "File:not-there.xml"};
    std::unique_ptr<CXmlLoader> loaded = std::make_unique<CXmlLoader>();
    EXPECT_EQ(loadPortDescription(port, loaded), Result::Success);
    EXPECT_FALSE(loaded);
    port.listFailure_ = Result::LowLevelError;
    EXPECT_EQ(loadPortDescription(port, loaded), Result::LowLevelError);
}

TEST(DescriptionRepairVendors, OnlyOurOwnNamesExactly) {
    EXPECT_TRUE(isRepairVendor("Velmor"));
    EXPECT_TRUE(isRepairVendor("Velmor Tessaric"));
    for (const char* other : {"VELMOR", "Velmor ", "Velmo", "", "Acme"}) EXPECT_FALSE(isRepairVendor(other)) << other;
    EXPECT_TRUE(knownDescriptionRepairs().empty());
}
