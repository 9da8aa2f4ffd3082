// SPDX-License-Identifier: BSD-3-Clause
// The consumer's list of known producers: the folder search, the producer key, loading by index
// or by path, and the search-path variable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/result_codes.h"

namespace corvid2 {

class CProducerObj;

// Orders producers: own vendor first, then origin, transport-layer type and id.
struct CProducerKey {
    std::int32_t vendorRank = 1;
    std::int32_t origin = 2;
    std::int32_t tlTypeRank = 4;
    std::string id;

    static constexpr std::int32_t kOriginSearch = 2;
    static constexpr std::int32_t kOriginAdded = 3;
    static std::int32_t rankOfTLType(const std::string& tlType);
    static CProducerKey make(bool ownVendor, std::int32_t origin, const std::string& tlType, std::string id);

    bool operator<(const CProducerKey& other) const;
    bool operator==(const CProducerKey& other) const;
};

// Lock: one recursive mutex held for each whole operation, GenTL calls included. It is taken
// before any system object's lock and never after one.
class CProducerList {
public:
    CProducerList();
    ~CProducerList();
    CProducerList(const CProducerList&) = delete;
    CProducerList& operator=(const CProducerList&) = delete;

    // Searches the producer folders, probes new files and reconciles the list. A producer that is
    // not found again leaves, unless it is still loaded for use: then it stays, not found, until
    // it is unloaded and the next search runs. Always Success.
    Result UpdateTLProducerList();
    Result LoadTLProducerByIndex(std::int64_t index, CProducerObj** out, CProducerKey* key = nullptr);
    Result LoadStandAloneTLProducer(const char* path, CProducerObj** out);
    Result UnloadTLProducer(CProducerObj* producer);
    Result UnloadStandAloneTLProducer(CProducerObj* producer);
    // Replaces the producer search-path variable of the process.
    bool setEnv(const char* path);

    std::size_t size();
    // The producer at an index of the key order, or null.
    CProducerObj* at(std::size_t index, CProducerKey* key = nullptr);
    // Whether the producer at that index was found by the last search (false past the end).
    bool foundByLastSearch(std::size_t index);
    // Index of a producer of the list, or -1.
    std::int64_t indexOf(const CProducerObj* producer);

    // Path mode on: only the variable's folders are searched.
    void setPathMode(bool on);
    bool pathMode();
    // The folders a search visits, in order, absolute and without duplicates.
    std::vector<std::filesystem::path> searchFolders();

    // Destroys every producer (at unload of the library or release of the system list).
    void destroyAll(bool byContext);

    std::recursive_mutex& lock() { return mutex_; }

private:
    struct Entry {
        CProducerKey key;
        std::unique_ptr<CProducerObj> producer;
        bool found = true;  // by the last search; otherwise kept only because it is loaded for use
    };
    // Probes one file: returns the entry of a usable producer, or nothing.
    bool probe(const std::filesystem::path& file, Entry& entry);
    bool isStandAlone(const std::filesystem::path& file) const;

    std::recursive_mutex mutex_;
    std::vector<Entry> entries_;  // kept sorted by key
    std::vector<std::unique_ptr<CProducerObj>> standAlone_;
    bool pathMode_ = false;
};

}  // namespace corvid2
