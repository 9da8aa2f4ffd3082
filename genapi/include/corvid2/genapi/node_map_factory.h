// SPDX-License-Identifier: BSD-3-Clause
// Node map factory: turns a description text (plain or zipped XML) into node maps.
#pragma once

#include <cstddef>
#include <memory>

#include "corvid2/genapi/interfaces.h"

namespace corvid2::genapi {

namespace detail {
struct Description;
}

/// Holds a parsed description; copies share it. Make node maps from it with CreateNodeMap.
class CNodeMapFactory {
public:
    CNodeMapFactory();
    /// Takes the description text (copied). A ZIP archive is recognised by content, its first entry is used.
    CNodeMapFactory(EContentType contentType, const void* data, size_t size,
                    ECacheUsage cacheUsage = CacheUsage_Automatic, bool suppressStrings = false);
    /// Reads the description from a file (".zip" or any XML file; ZIP is recognised by content).
    explicit CNodeMapFactory(const gcstring& fileName);
    CNodeMapFactory(const CNodeMapFactory&);
    CNodeMapFactory& operator=(const CNodeMapFactory&);
    ~CNodeMapFactory();

    bool IsEmpty() const;
    /// Parses the text and checks its structure; raises RuntimeException naming what is wrong.
    void Preprocess();
    bool IsPreprocessed() const;
    /// Restricts later node maps to the subtree of the named node (category or feature) and what it needs.
    void ExtractSubtree(const gcstring& subTreeRootNodeName, bool keepRoot = true);
    /// Builds a node map; deviceName is what INodeMap::GetDeviceName reports.
    std::unique_ptr<INodeMap> CreateNodeMap(const gcstring& deviceName = "Device", bool doReleaseCachedData = true);
    /// Vendor, model and schema version from the root element.
    gcstring GetVendorName() const;
    gcstring GetModelName() const;
    void GetSchemaVersion(int64_t& major, int64_t& minor, int64_t& subMinor) const;
    void ReleaseCachedData() {}

private:
    void ensurePreprocessed();
    std::shared_ptr<detail::Description> description_;
    std::shared_ptr<const std::vector<char>> text_;
    gcstring subtreeRoot_;
};

}  // namespace corvid2::genapi
