// SPDX-License-Identifier: BSD-3-Clause
// Port identity, description locations and guarded register access.
#include "port.h"

#include <cstdio>

#include <pugixml.hpp>

namespace corvid2::sim {

namespace {
std::string hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// The versions a consumer may compare come from the description's own root attributes.
void readVersions(const std::string& xmlText, DescriptionLocation& location) {
    pugi::xml_document doc;
    if (!doc.load_string(xmlText.c_str())) return;
    const pugi::xml_node root = doc.child("RegisterDescription");
    location.schemaMajor = root.attribute("SchemaMajorVersion").as_int(1);
    location.schemaMinor = root.attribute("SchemaMinorVersion").as_int(1);
    location.fileMajor = root.attribute("MajorVersion").as_int(1);
    location.fileMinor = root.attribute("MinorVersion").as_int(0);
    location.fileSubMinor = root.attribute("SubMinorVersion").as_int(0);
}
}  // namespace

void Port::addLocalDescription(const std::string& fileName, std::shared_ptr<const std::vector<uint8_t>> bytes,
                               uint64_t address, const std::string& xmlText) {
    DescriptionLocation location;
    location.scheme = URL_SCHEME_LOCAL;
    location.fileName = fileName;
    location.address = address;
    location.size = bytes->size();
    location.url = "Local:" + fileName + ";" + hex(address) + ";" + hex(bytes->size());
    readVersions(xmlText, location);
    registers_.addBlock(address, std::move(bytes));
    locations_.push_back(location);
}

void Port::addFileDescription(const std::string& path, const std::string& xmlText) {
    DescriptionLocation location;
    location.scheme = URL_SCHEME_FILE;
    location.fileName = path;
    location.url = "File:///" + (path.empty() || path[0] != '/' ? path : path.substr(1));
    readVersions(xmlText, location);
    locations_.push_back(location);
}

InfoValue Port::info(PORT_INFO_CMD command) const {
    const bool writable = writable_;
    const InfoTable table = {
        {PORT_INFO_ID, [&] { return InfoValue::text(identity_.id); }},
        {PORT_INFO_VENDOR, [&] { return InfoValue::text(identity_.vendor); }},
        {PORT_INFO_MODEL, [&] { return InfoValue::text(identity_.model); }},
        {PORT_INFO_TLTYPE, [&] { return InfoValue::text(identity_.tlType); }},
        {PORT_INFO_MODULE, [&] { return InfoValue::text(identity_.moduleName); }},
        {PORT_INFO_LITTLE_ENDIAN, [] { return InfoValue::boolean(true); }},
        {PORT_INFO_BIG_ENDIAN, [] { return InfoValue::boolean(false); }},
        {PORT_INFO_ACCESS_READ, [] { return InfoValue::boolean(true); }},
        {PORT_INFO_ACCESS_WRITE, [&] { return InfoValue::boolean(writable); }},
        {PORT_INFO_ACCESS_NA, [] { return InfoValue::boolean(false); }},
        {PORT_INFO_ACCESS_NI, [] { return InfoValue::boolean(false); }},
        {PORT_INFO_VERSION, [&] { return InfoValue::text(identity_.version); }},
        {PORT_INFO_PORTNAME, [&] { return InfoValue::text(identity_.portName); }},
    };
    return lookupInfo(table, command);
}

const DescriptionLocation& Port::location(uint32_t index) const {
    if (index >= locations_.size()) fail(GC_ERR_INVALID_INDEX, "no description location with this index");
    return locations_[index];
}

InfoValue Port::urlInfo(uint32_t index, URL_INFO_CMD command) const {
    const DescriptionLocation& l = location(index);
    const bool local = l.scheme == URL_SCHEME_LOCAL;
    const InfoTable table = {
        {URL_INFO_URL, [&] { return InfoValue::text(l.url); }},
        {URL_INFO_SCHEMA_VER_MAJOR, [&] { return InfoValue::i32(l.schemaMajor); }},
        {URL_INFO_SCHEMA_VER_MINOR, [&] { return InfoValue::i32(l.schemaMinor); }},
        {URL_INFO_FILE_VER_MAJOR, [&] { return InfoValue::i32(l.fileMajor); }},
        {URL_INFO_FILE_VER_MINOR, [&] { return InfoValue::i32(l.fileMinor); }},
        {URL_INFO_FILE_VER_SUBMINOR, [&] { return InfoValue::i32(l.fileSubMinor); }},
        {URL_INFO_FILE_SHA1_HASH, []() -> InfoValue { fail(GC_ERR_NOT_AVAILABLE, "no hash of the description"); }},
        {URL_INFO_FILE_REGISTER_ADDRESS,
         [&]() -> InfoValue {
             if (!local) fail(GC_ERR_NOT_AVAILABLE, "not a register-map location");
             return InfoValue::u64(l.address);
         }},
        {URL_INFO_FILE_SIZE,
         [&]() -> InfoValue {
             if (!local) fail(GC_ERR_NOT_AVAILABLE, "not a register-map location");
             return InfoValue::u64(l.size);
         }},
        {URL_INFO_SCHEME, [&] { return InfoValue::i32(l.scheme); }},
        {URL_INFO_FILENAME, [&] { return InfoValue::text(l.fileName); }},
    };
    return lookupInfo(table, command);
}

void Port::read(uint64_t address, void* buffer, size_t length) const { registers_.read(address, buffer, length); }

void Port::write(uint64_t address, const void* buffer, size_t length) const {
    if (!writable_) fail(GC_ERR_ACCESS_DENIED, "port opened read-only");
    registers_.write(address, buffer, length);
}

}  // namespace corvid2::sim
