// SPDX-License-Identifier: BSD-3-Clause
// CXmlLoader: finds and fetches a module's description from the locations its port names
// (device memory or file, optionally zipped) and repairs known remote-device descriptions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/result_codes.h"

namespace pugi {
class xml_node;
}

namespace corvid2 {

class IPortIface;

// One location text taken apart: "Local:<file>;<address>;<length>" or "File:<file>", any case,
// with or without the "///" of a file URL and a trailing schema version.
struct DescriptionLocation {
    enum class Scheme { Local, File };
    Scheme scheme = Scheme::Local;
    std::string fileName;
    std::uint64_t address = 0;
    std::uint32_t length = 0;
    bool zipped = false;  // the file name says ".zip", any case, anywhere
};
// Nothing for a location that cannot be loaded (unknown scheme, wrong token count, bad number).
std::optional<DescriptionLocation> parseDescriptionLocation(const std::string& location);

// Folders a relative "File:" name is looked up in: the working directory, then each "PATH" entry.
std::vector<std::filesystem::path> descriptionSearchFolders();

// A repair of one remote-device model of our own line: applied to every child of RegisterDescription.
struct DescriptionRepair {
    std::string model;
    void (*repair)(pugi::xml_node& node);
};
using DescriptionRepairs = std::vector<DescriptionRepair>;
// The models whose descriptions are repaired. None needs it at present.
const DescriptionRepairs& knownDescriptionRepairs();
// Vendors whose remote devices may need a repair.
bool isRepairVendor(const std::string& vendor);

class CXmlLoaderBase {
public:
    virtual ~CXmlLoaderBase();
};

// Lives for one location attempt.
class CXmlLoader : public CXmlLoaderBase {
public:
    CXmlLoader() = default;
    ~CXmlLoader() override;

    // True when bytes were loaded (and inflated, for an archive).
    bool load(const std::string& location, IPortIface* port);

    bool isLoaded() const { return loaded_; }
    bool fromDeviceMemory() const { return fromDeviceMemory_; }
    const std::string& text() const { return bytes_; }
    // The text as the remote device should use it: repaired for the models `repairs` names when the
    // description came from the memory of a device of our own vendors; else as loaded.
    std::string repairedText(const DescriptionRepairs& repairs = knownDescriptionRepairs());
    // The text a module of that kind builds its node map from: only the remote device ("Device")
    // gets the repair.
    std::string descriptionFor(const std::string& moduleKind) {
        return moduleKind == "Device" ? repairedText() : text();
    }
    // Vendor and model of the port, known after repairedText looked at a device-memory description.
    const std::string& vendor() const { return vendor_; }
    const std::string& model() const { return model_; }

private:
    bool loadLocal(const DescriptionLocation& location);
    bool loadFile(const DescriptionLocation& location);
    bool inflateFirstEntry();

    std::string model_;
    std::string bytes_;
    std::string vendor_;
    IPortIface* port_ = nullptr;
    bool fromDeviceMemory_ = false;
    bool loaded_ = false;
};

// Tries the port's locations in order; the first that loads ends the search. Returns 0 with `loaded`
// empty when none loads, or the failure code of the location list.
Result loadPortDescription(IPortIface& port, std::unique_ptr<CXmlLoader>& loaded);

}  // namespace corvid2
