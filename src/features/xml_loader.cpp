// SPDX-License-Identifier: BSD-3-Clause
// Description loading: location parsing, device-memory and file reads, archive inflation, repair.
#include "features/xml_loader.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

#include <pugixml.hpp>

#include "features/port_iface.h"
#include "platform/platform.h"

namespace corvid2 {

namespace fs = std::filesystem;

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Cut at every run of ';'; a schema version ("?SchemaVersion=" or ";SchemaVersion=") is no token.
std::vector<std::string> locationTokens(std::string rest) {
    rest = rest.substr(0, rest.find('?'));
    std::vector<std::string> tokens;
    std::istringstream parts(rest);
    for (std::string token; std::getline(parts, token, ';');)
        if (!token.empty() && !startsWith(upper(token), "SCHEMAVERSION=")) tokens.push_back(token);
    return tokens;
}

template <class Number>
bool parseHex(std::string token, Number& value) {
    if (startsWith(upper(token), "0X")) token.erase(0, 2);
    const char* end = token.data() + token.size();
    const auto parsed = std::from_chars(token.data(), end, value, 16);
    return !token.empty() && parsed.ec == std::errc() && parsed.ptr == end;
}

// "///name" of a file URL: the empty host goes, an absolute path stays absolute.
std::string withoutUrlAuthority(const std::string& name) { return startsWith(name, "//") ? name.substr(2) : name; }

bool readWholeFile(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

const std::vector<std::string> kRepairVendors = {"Velmor", "Velmor Tessaric"};

}  // namespace

std::optional<DescriptionLocation> parseDescriptionLocation(const std::string& location) {
    const size_t colon = location.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string scheme = upper(location.substr(0, colon));
    const std::vector<std::string> tokens = locationTokens(location.substr(colon + 1));
    DescriptionLocation parsed;
    if (scheme == "LOCAL") {
        if (tokens.size() != 3 || !parseHex(tokens[1], parsed.address) || !parseHex(tokens[2], parsed.length))
            return std::nullopt;
        parsed.scheme = DescriptionLocation::Scheme::Local;
        parsed.fileName = tokens[0];
        parsed.fileName.erase(0, parsed.fileName.find_first_not_of('/'));
    } else if (scheme == "FILE") {
        if (tokens.empty()) return std::nullopt;
        parsed.scheme = DescriptionLocation::Scheme::File;
        parsed.fileName = withoutUrlAuthority(tokens[0]);
    } else {
        return std::nullopt;
    }
    parsed.zipped = upper(parsed.fileName).find(".ZIP") != std::string::npos;
    return parsed;
}

std::vector<fs::path> descriptionSearchFolders() {
    std::vector<fs::path> folders;
    std::error_code ignored;
    folders.push_back(fs::current_path(ignored));
    std::istringstream entries(platform::getEnv("PATH").value_or(""));
    for (std::string entry; std::getline(entries, entry, platform::executablePathSeparator());)
        if (!entry.empty()) folders.emplace_back(entry);
    return folders;
}

const DescriptionRepairs& knownDescriptionRepairs() {
    static const DescriptionRepairs repairs;
    return repairs;
}

bool isRepairVendor(const std::string& vendor) {
    return std::find(kRepairVendors.begin(), kRepairVendors.end(), vendor) != kRepairVendors.end();
}

CXmlLoaderBase::~CXmlLoaderBase() = default;
CXmlLoader::~CXmlLoader() = default;

bool CXmlLoader::load(const std::string& location, IPortIface* port) {
    port_ = port;
    const auto parsed = parseDescriptionLocation(location);
    if (!parsed) return false;
    const bool read = parsed->scheme == DescriptionLocation::Scheme::Local ? loadLocal(*parsed) : loadFile(*parsed);
    if (!read || (parsed->zipped && !inflateFirstEntry())) {
        bytes_.clear();
        fromDeviceMemory_ = false;
        return false;
    }
    loaded_ = true;
    return true;
}

bool CXmlLoader::loadLocal(const DescriptionLocation& location) {
    if (port_ == nullptr || location.length == 0) return false;
    std::string bytes(location.length, '\0');
    size_t size = location.length;
    if (port_->ReadPort(location.address, bytes.data(), &size) != Result::Success) return false;
    bytes_ = std::move(bytes);
    fromDeviceMemory_ = true;
    return true;
}

// An absolute name is taken as it stands first; then, as any name, in each search folder.
bool CXmlLoader::loadFile(const DescriptionLocation& location) {
    if (location.fileName.empty()) return false;
    std::vector<fs::path> candidates;
    const fs::path name(location.fileName);
    if (name.is_absolute()) candidates.push_back(name);
    for (const fs::path& folder : descriptionSearchFolders()) {
        std::string joined = folder.string();
        if (!joined.empty() && joined.back() != '/' && joined.back() != ':') joined += '/';
        candidates.emplace_back(joined + location.fileName);
    }
    std::error_code ignored;
    for (const fs::path& candidate : candidates)
        if (fs::is_regular_file(candidate, ignored)) return readWholeFile(candidate, bytes_);
    return false;
}

// Only the first entry of the archive is the description.
bool CXmlLoader::inflateFirstEntry() {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
    zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (archive == nullptr) {
        if (source != nullptr) zip_source_free(source);
        return false;
    }
    std::string inflated;
    bool complete = false;
    zip_stat_t stat;
    if (zip_get_num_entries(archive, 0) > 0 && zip_stat_index(archive, 0, 0, &stat) == 0 &&
        (stat.valid & ZIP_STAT_SIZE) != 0) {
        if (zip_file_t* entry = zip_fopen_index(archive, 0, 0)) {
            std::string text(static_cast<size_t>(stat.size), '\0');
            zip_uint64_t done = 0;
            zip_int64_t got = 0;
            while (done < stat.size && (got = zip_fread(entry, text.data() + done, stat.size - done)) > 0)
                done += static_cast<zip_uint64_t>(got);
            zip_fclose(entry);
            complete = done == stat.size;
            if (complete) inflated = std::move(text);
        }
    }
    zip_discard(archive);  // the archive reads from bytes_ until here
    if (complete) bytes_ = std::move(inflated);
    return complete;
}

std::string CXmlLoader::repairedText(const DescriptionRepairs& repairs) {
    if (!loaded_ || !fromDeviceMemory_ || port_ == nullptr) return bytes_;
    port_->getPortInfoText(GenTL::PORT_INFO_VENDOR, vendor_);
    port_->getPortInfoText(GenTL::PORT_INFO_MODEL, model_);
    if (!isRepairVendor(vendor_)) return bytes_;
    std::vector<const DescriptionRepair*> selected;
    for (const DescriptionRepair& repair : repairs)
        if (repair.model == model_ && repair.repair != nullptr) selected.push_back(&repair);
    // A description that needs no repair keeps its exact bytes.
    if (selected.empty()) return bytes_;

    pugi::xml_document document;
    if (!document.load_buffer(bytes_.data(), bytes_.size(), pugi::parse_default | pugi::parse_trim_pcdata))
        return bytes_;  // not ours to mend: GenApi reports what is wrong with it
    for (pugi::xml_node node : document.child("RegisterDescription").children())
        for (const DescriptionRepair* repair : selected) repair->repair(node);
    pugi::xml_node declaration = document.prepend_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    std::ostringstream out;
    document.save(out, "\t", pugi::format_default & ~pugi::format_write_bom, pugi::encoding_utf8);
    return out.str();
}

Result loadPortDescription(IPortIface& port, std::unique_ptr<CXmlLoader>& loaded) {
    loaded.reset();
    std::uint32_t count = 0;
    if (const Result code = port.GetNumPortURLs(&count); code != Result::Success) return code;
    for (std::uint32_t index = 0; index < count; ++index) {
        std::string location;
        if (const Result code = port.GetPortURL(index, &location); code != Result::Success) return code;
        auto loader = std::make_unique<CXmlLoader>();
        if (loader->load(location, &port)) {
            loaded = std::move(loader);
            return Result::Success;
        }
    }
    return Result::Success;
}

}  // namespace corvid2
