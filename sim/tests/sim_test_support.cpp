// SPDX-License-Identifier: BSD-3-Clause
// Helpers shared by the simulator tests.
#include "sim_test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <zip.h>

namespace corvid2::sim::test {

const GenTLFunctions& gentl() {
    static const ProducerLibrary* const kLibrary = new ProducerLibrary(simProducerPath());
    return kLibrary->functions();
}

std::vector<uint8_t> infoBytes(const InfoCall& call, INFO_DATATYPE* type) {
    INFO_DATATYPE sizeType = INFO_DATATYPE_UNKNOWN, valueType = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    const GC_ERROR first = call(&sizeType, nullptr, &size);
    if (first != GC_ERR_SUCCESS) throw std::runtime_error("info size query failed: " + std::to_string(first));
    std::vector<uint8_t> bytes(size);
    size_t capacity = size;
    const GC_ERROR second = call(&valueType, bytes.data(), &capacity);
    if (second != GC_ERR_SUCCESS) throw std::runtime_error("info query failed: " + std::to_string(second));
    EXPECT_EQ(size, capacity);
    EXPECT_EQ(sizeType, valueType);
    if (type != nullptr) *type = valueType;
    return bytes;
}

std::string infoText(const InfoCall& call) {
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    const std::vector<uint8_t> bytes = infoBytes(call, &type);
    EXPECT_EQ(INFO_DATATYPE_STRING, type);
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(0, bytes.back());
    return std::string(reinterpret_cast<const char*>(bytes.data()));
}

std::string idText(const std::function<GC_ERROR(char*, size_t*)>& call) {
    size_t size = 0;
    if (call(nullptr, &size) != GC_ERR_SUCCESS) throw std::runtime_error("id size query failed");
    std::string text(size, '\0');
    if (call(&text[0], &size) != GC_ERR_SUCCESS) throw std::runtime_error("id query failed");
    EXPECT_EQ(text.size(), size);
    text.resize(size > 0 ? size - 1 : 0);
    return text;
}

ScopedEnvironment::ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const auto& entry : values) {
        const char* old = std::getenv(entry.first);
        saved_.emplace_back(entry.first, old != nullptr ? std::make_unique<std::string>(old) : nullptr);
        setenv(entry.first, entry.second, 1);
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& entry : saved_) {
        if (entry.second)
            setenv(entry.first.c_str(), entry.second->c_str(), 1);
        else
            unsetenv(entry.first.c_str());
    }
}

SimSession::SimSession() {
    const GenTLFunctions& gt = gentl();
    if (gt.GCInitLib() != GC_ERR_SUCCESS) throw std::runtime_error("GCInitLib failed");
    if (gt.TLOpen(&system_) != GC_ERR_SUCCESS) throw std::runtime_error("TLOpen failed");
    bool8_t changed = false;
    gt.TLUpdateInterfaceList(system_, &changed, 0);
}

SimSession::~SimSession() {
    gentl().TLClose(system_);
    gentl().GCCloseLib();
}

IF_HANDLE SimSession::openInterface(uint32_t index) {
    const auto it = interfaces_.find(index);
    if (it != interfaces_.end()) return it->second;
    const GenTLFunctions& gt = gentl();
    const std::string id = idText([&](char* b, size_t* s) { return gt.TLGetInterfaceID(system_, index, b, s); });
    IF_HANDLE iface = nullptr;
    if (gt.TLOpenInterface(system_, id.c_str(), &iface) != GC_ERR_SUCCESS) throw std::runtime_error("TLOpenInterface");
    bool8_t changed = false;
    gt.IFUpdateDeviceList(iface, &changed, 0);
    interfaces_[index] = iface;
    return iface;
}

IF_HANDLE SimSession::interfaceOf(const std::string& deviceId) {
    const GenTLFunctions& gt = gentl();
    uint32_t count = 0;
    gt.TLGetNumInterfaces(system_, &count);
    for (uint32_t i = 0; i < count; ++i) {
        IF_HANDLE iface = openInterface(i);
        uint32_t devices = 0;
        gt.IFGetNumDevices(iface, &devices);
        for (uint32_t d = 0; d < devices; ++d)
            if (idText([&](char* b, size_t* s) { return gt.IFGetDeviceID(iface, d, b, s); }) == deviceId) return iface;
    }
    throw std::runtime_error("no device " + deviceId);
}

DEV_HANDLE SimSession::openDevice(const std::string& deviceId, DEVICE_ACCESS_FLAGS access) {
    DEV_HANDLE device = nullptr;
    const GC_ERROR result = gentl().IFOpenDevice(interfaceOf(deviceId), deviceId.c_str(), access, &device);
    if (result != GC_ERR_SUCCESS) throw std::runtime_error("IFOpenDevice failed: " + std::to_string(result));
    return device;
}

DS_HANDLE SimSession::openStream(DEV_HANDLE device) {
    const GenTLFunctions& gt = gentl();
    const std::string id = idText([&](char* b, size_t* s) { return gt.DevGetDataStreamID(device, 0, b, s); });
    DS_HANDLE stream = nullptr;
    if (gt.DevOpenDataStream(device, id.c_str(), &stream) != GC_ERR_SUCCESS)
        throw std::runtime_error("DevOpenDataStream");
    return stream;
}

PORT_HANDLE SimSession::remotePort(DEV_HANDLE device) {
    PORT_HANDLE port = nullptr;
    if (gentl().DevGetPort(device, &port) != GC_ERR_SUCCESS) throw std::runtime_error("DevGetPort");
    return port;
}

std::string unzipFirstEntry(const std::vector<uint8_t>& archive) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    zip_t* zip = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (zip == nullptr) {
        if (source != nullptr) zip_source_free(source);
        throw std::runtime_error("not a zip archive");
    }
    zip_stat_t stat;
    std::string text;
    if (zip_stat_index(zip, 0, 0, &stat) == 0) {
        text.resize(stat.size);
        zip_file_t* file = zip_fopen_index(zip, 0, 0);
        if (file != nullptr) {
            zip_fread(file, &text[0], stat.size);
            zip_fclose(file);
        }
    }
    zip_close(zip);
    return text;
}

std::string readDescription(PORT_HANDLE port, uint32_t index) {
    const GenTLFunctions& gt = gentl();
    const InfoCall url = [&](INFO_DATATYPE* t, void* b, size_t* s) {
        return gt.GCGetPortURLInfo(port, index, URL_INFO_URL, t, b, s);
    };
    const int32_t scheme =
        infoValue<int32_t>([&](INFO_DATATYPE* t, void* b,
                               size_t* s) { return gt.GCGetPortURLInfo(port, index, URL_INFO_SCHEME, t, b, s); },
                           INFO_DATATYPE_INT32);
    if (scheme == URL_SCHEME_FILE) {
        std::ifstream in(infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                             return gt.GCGetPortURLInfo(port, index, URL_INFO_FILENAME, t, b, s);
                         }),
                         std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const uint64_t address = infoValue<uint64_t>(
        [&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gt.GCGetPortURLInfo(port, index, URL_INFO_FILE_REGISTER_ADDRESS, t, b, s);
        },
        INFO_DATATYPE_UINT64);
    const uint64_t length =
        infoValue<uint64_t>([&](INFO_DATATYPE* t, void* b,
                                size_t* s) { return gt.GCGetPortURLInfo(port, index, URL_INFO_FILE_SIZE, t, b, s); },
                            INFO_DATATYPE_UINT64);
    std::vector<uint8_t> bytes(length);
    size_t size = bytes.size();
    if (gt.GCReadPort(port, address, bytes.data(), &size) != GC_ERR_SUCCESS) throw std::runtime_error("GCReadPort");
    const std::string location = infoText(url);
    if (location.find(".zip") != std::string::npos) return unzipFirstEntry(bytes);
    return std::string(bytes.begin(), bytes.end());
}

Features::Features(PORT_HANDLE port) : port_(port), xml_(readDescription(port)) {
    if (!doc_.load_string(xml_.c_str())) throw std::runtime_error("description does not parse");
    for (pugi::xml_node node : doc_.child("RegisterDescription").children()) {
        if (const char* name = node.attribute("Name").as_string(nullptr)) nodes_[name] = node;
        for (pugi::xml_node entry : node.children("StructEntry")) nodes_[entry.attribute("Name").as_string()] = entry;
    }
}

pugi::xml_node Features::find(const std::string& name) const {
    const auto it = nodes_.find(name);
    return it == nodes_.end() ? pugi::xml_node() : it->second;
}

pugi::xml_node Features::valueNode(pugi::xml_node node) const {
    while (node && node.child("pValue")) node = find(node.child_value("pValue"));
    if (!node) throw std::runtime_error("feature without a value node");
    return node;
}

Features::Location Features::locate(pugi::xml_node reg) {
    const bool entry = std::string(reg.name()) == "StructEntry";
    const pugi::xml_node holder = entry ? reg.parent() : reg;
    Location l;
    l.kind = reg.name();
    l.address = 0;
    for (pugi::xml_node a : holder.children("Address")) l.address += std::stoull(a.child_value(), nullptr, 0);
    for (pugi::xml_node index : holder.children("pIndex"))
        l.address += static_cast<uint64_t>(getInt(index.child_value())) * index.attribute("Offset").as_ullong();
    l.length = std::stoull(holder.child_value("Length"), nullptr, 0);
    if (reg.child("Bit")) l.lsb = l.msb = reg.child("Bit").text().as_int();
    if (reg.child("LSB")) l.lsb = reg.child("LSB").text().as_int(), l.msb = reg.child("MSB").text().as_int();
    return l;
}

void Features::readRaw(uint64_t address, void* data, size_t length) {
    size_t size = length;
    const GC_ERROR result = gentl().GCReadPort(port_, address, data, &size);
    if (result != GC_ERR_SUCCESS) throw std::runtime_error("GCReadPort failed: " + std::to_string(result));
}

GC_ERROR Features::writeRaw(uint64_t address, const void* data, size_t length) {
    size_t size = length;
    return gentl().GCWritePort(port_, address, data, &size);
}

uint64_t Features::address(const std::string& name) { return locate(valueNode(find(name))).address; }

int64_t Features::getInt(const std::string& name) {
    const pugi::xml_node node = valueNode(find(name));
    if (node.child("Value")) {
        const auto it = localValues_.find(node.attribute("Name").as_string());
        return it != localValues_.end() ? it->second : std::stoll(node.child_value("Value"), nullptr, 0);
    }
    const Location l = locate(node);
    uint64_t raw = 0;
    readRaw(l.address, &raw, l.length);
    if (l.lsb >= 0)
        raw = (raw >> l.lsb) & ((uint64_t{1} << (l.msb - l.lsb + 1)) - 1);
    else if (l.length < 8 && std::string(node.child_value("Sign")) == "Signed" && (raw >> (8 * l.length - 1)) != 0)
        raw |= ~uint64_t{0} << (8 * l.length);
    return static_cast<int64_t>(raw);
}

GC_ERROR Features::writeInteger(pugi::xml_node node, int64_t value) {
    node = valueNode(node);
    if (node.child("Value")) {
        localValues_[node.attribute("Name").as_string()] = value;
        return GC_ERR_SUCCESS;
    }
    const Location l = locate(node);
    uint64_t raw = static_cast<uint64_t>(value);
    if (l.lsb >= 0) {
        uint64_t old = 0;
        readRaw(l.address, &old, l.length);
        const uint64_t mask = ((uint64_t{1} << (l.msb - l.lsb + 1)) - 1) << l.lsb;
        raw = (old & ~mask) | ((raw << l.lsb) & mask);
    }
    return writeRaw(l.address, &raw, l.length);
}

GC_ERROR Features::trySetInt(const std::string& name, int64_t value) { return writeInteger(find(name), value); }

void Features::setInt(const std::string& name, int64_t value) {
    const GC_ERROR result = trySetInt(name, value);
    if (result != GC_ERR_SUCCESS) throw std::runtime_error("writing " + name + " failed: " + std::to_string(result));
}

double Features::getFloat(const std::string& name) {
    const Location l = locate(valueNode(find(name)));
    double value = 0;
    readRaw(l.address, &value, 8);
    return value;
}

void Features::setFloat(const std::string& name, double value) {
    const Location l = locate(valueNode(find(name)));
    if (writeRaw(l.address, &value, 8) != GC_ERR_SUCCESS) throw std::runtime_error("writing " + name + " failed");
}

std::string Features::getEnum(const std::string& name) {
    const int64_t value = getInt(name);
    for (pugi::xml_node entry : find(name).children("EnumEntry"))
        if (std::stoll(entry.child_value("Value"), nullptr, 0) == value) return entry.attribute("Name").as_string();
    return "";
}

GC_ERROR Features::trySetEnum(const std::string& name, const std::string& entryName) {
    for (pugi::xml_node entry : find(name).children("EnumEntry"))
        if (entryName == entry.attribute("Name").as_string())
            return writeInteger(find(name), std::stoll(entry.child_value("Value"), nullptr, 0));
    throw std::runtime_error("no entry " + entryName + " in " + name);
}

void Features::setEnum(const std::string& name, const std::string& entry) {
    const GC_ERROR result = trySetEnum(name, entry);
    if (result != GC_ERR_SUCCESS) throw std::runtime_error("writing " + name + " failed: " + std::to_string(result));
}

void Features::execute(const std::string& name) {
    const pugi::xml_node node = find(name);
    setInt(node.child_value("pValue"), std::stoll(node.child_value("CommandValue"), nullptr, 0));
}

bool Features::isDone(const std::string& name) {
    const pugi::xml_node node = find(name);
    return getInt(node.child_value("pValue")) != std::stoll(node.child_value("CommandValue"), nullptr, 0);
}

std::string Features::getString(const std::string& name) {
    const std::vector<uint8_t> bytes = getBytes(name);
    return std::string(reinterpret_cast<const char*>(bytes.data()),
                       strnlen(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Features::setString(const std::string& name, const std::string& value) {
    std::vector<uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    setBytes(name, bytes);
}

std::vector<uint8_t> Features::getBytes(const std::string& name) {
    const Location l = locate(valueNode(find(name)));
    std::vector<uint8_t> bytes(l.length);
    readRaw(l.address, bytes.data(), l.length);
    return bytes;
}

void Features::setBytes(const std::string& name, const std::vector<uint8_t>& value) {
    const Location l = locate(valueNode(find(name)));
    if (value.size() > l.length || writeRaw(l.address, value.data(), value.size()) != GC_ERR_SUCCESS)
        throw std::runtime_error("writing " + name + " failed");
}

}  // namespace corvid2::sim::test
