// SPDX-License-Identifier: BSD-3-Clause
// Inline descriptions, the in-memory register space and node maps on a module's own port.
#include "support/genapi_maps.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/result_codes.h"
#include "features/xml_loader.h"
#include "support/errors.h"

namespace corvid2::test {

std::string description(const std::string& body, const std::string& portName) {
    return "<RegisterDescription ModelName=\"Test\" VendorName=\"Test\" StandardNameSpace=\"None\" "
           "SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" "
           "MinorVersion=\"0\" SubMinorVersion=\"0\" ProductGuid=\"0\" VersionGuid=\"0\">" +
           body + "<Port Name=\"" + portName + "\"/></RegisterDescription>";
}

const char* MemoryPort::portRead(void* buffer, std::int64_t address, std::int64_t length, const void*) {
    if (!fits(address, length)) return "out of range";
    std::memcpy(buffer, bytes_.data() + address, static_cast<std::size_t>(length));
    ++reads_;
    return nullptr;
}

const char* MemoryPort::portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void*) {
    if (!fits(address, length)) return "out of range";
    if (!dropWrites_) std::memcpy(bytes_.data() + address, buffer, static_cast<std::size_t>(length));
    ++writes_;
    return nullptr;
}

bool MemoryPort::noteFeatureWrite(const std::string& featureName) {
    noted_.push_back(featureName);
    return verify_;
}

std::uint32_t MemoryPort::u32(std::size_t address) const {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_.data() + address, sizeof value);
    return value;
}

void MemoryPort::setU32(std::size_t address, std::uint32_t value) {
    std::memcpy(bytes_.data() + address, &value, sizeof value);
}

bool MemoryPort::fits(std::int64_t address, std::int64_t length) const {
    return address >= 0 && length >= 0 && static_cast<std::size_t>(address + length) <= bytes_.size();
}

std::string portDescription(CModulePort& port) {
    std::unique_ptr<CXmlLoader> loader;
    EXPECT_EQ(loadPortDescription(port.port(), loader), Result::Success) << lastErrorText();
    EXPECT_TRUE(loader) << "no location of port " << port.port().portName() << " loads";
    return loader ? loader->text() : std::string();
}

std::unique_ptr<genapi::INodeMap> connectedNodeMap(CModulePort& port, std::string* text) {
    const std::string loaded = portDescription(port);
    if (loaded.empty()) return nullptr;
    genapi::CNodeMapFactory factory(genapi::ContentType_Xml, loaded.data(), loaded.size());
    factory.Preprocess();
    auto nodeMap = factory.CreateNodeMap("Device", false);
    EXPECT_TRUE(port.connectNodeMap(nodeMap.get(), port.port().portName()));
    if (text) *text = loaded;
    return nodeMap;
}

void connectToModulePort(IGenAPI& map, const std::string& text, CModulePort& port) {
    map.setXMLAndConnect(text, &port, port.port().portName());
}

std::vector<std::string> namesOf(const genAPINodeMap& map) {
    std::vector<std::string> names;
    for (const auto& entry : map) names.push_back(entry.first);
    return names;
}

}  // namespace corvid2::test
