// SPDX-License-Identifier: BSD-3-Clause
// Finding producer files and keeping the list of known producers in key order.
#include "modules/producer_list.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "core/last_error.h"
#include "gentl/gentl_errors.h"
#include "modules/consumer_base.h"
#include "modules/producerobj.h"
#include "platform/platform.h"
#include "trace/trace.h"

namespace corvid2 {

namespace fs = std::filesystem;
using namespace GenTL;

namespace {

constexpr char kBase[] = "base";
constexpr char kProducerExtension[] = ".cti";

// Absolute, with "." and ".." folded and no trailing separator, so that one folder has one text.
fs::path canonicalText(const fs::path& p) {
    std::error_code ec;
    fs::path absolute = fs::absolute(p, ec);
    if (ec) absolute = p;
    fs::path normal = absolute.lexically_normal();
    std::string text = normal.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return fs::path(text);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

// After a GCInitLib that failed: a producer whose resource is in use belongs to another consumer
// (ResourceInUse, an information line); anything else is the producer's failure (LowLevelError, a warning).
// `what` names the producer as the messages do: its path, with " at index N" where one applies.
Result reportInitFailure(CProducerObj& producer, const char* operation, const std::string& what) {
    GC_ERROR lastCode = GC_ERR_SUCCESS;
    const std::string lastText = producer.table() ? producer.table()->lastErrorText(&lastCode) : std::string();
    if (lastCode == GC_ERR_RESOURCE_IN_USE) {
        traceInfo("%s; %s; TLProducer %s is already used - %s", kBase, operation, what.c_str(), lastText.c_str());
        SetLastErrorText(Result::ResourceInUse, "TLProducer " + what + " is already used - " + lastText);
        return Result::ResourceInUse;
    }
    SetLastErrorText(Result::LowLevelError, "InitLib for TLProducer " + what + " failed: " + lastText);
    traceWarning("InitLib for TLProducer %s failed: %s - %s", what.c_str(), GenTLErrorName(lastCode).c_str(),
                 lastText.c_str());
    return Result::LowLevelError;
}

}  // namespace

// ---- key ---------------------------------------------------------------------------------

std::int32_t CProducerKey::rankOfTLType(const std::string& tlType) {
    static const char* const kRanked[] = {"U3V", "GEV", "CL", "Custom"};
    for (std::int32_t rank = 0; rank < 4; ++rank)
        if (tlType == kRanked[rank]) return rank;
    return 4;
}

CProducerKey CProducerKey::make(bool ownVendor, std::int32_t origin, const std::string& tlType, std::string id) {
    return CProducerKey{ownVendor ? 0 : 1, origin, rankOfTLType(tlType), std::move(id)};
}

bool CProducerKey::operator<(const CProducerKey& o) const {
    if (vendorRank != o.vendorRank) return vendorRank < o.vendorRank;
    if (origin != o.origin) return origin < o.origin;
    if (tlTypeRank != o.tlTypeRank) return tlTypeRank < o.tlTypeRank;
    return id < o.id;  // bytewise, shorter first at equal prefix
}

bool CProducerKey::operator==(const CProducerKey& o) const {
    return vendorRank == o.vendorRank && origin == o.origin && tlTypeRank == o.tlTypeRank && id == o.id;
}

// ---- list --------------------------------------------------------------------------------

CProducerList::CProducerList() = default;
CProducerList::~CProducerList() { destroyAll(true); }

void CProducerList::destroyAll(bool byContext) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    for (auto& entry : entries_)
        if (byContext) entry.producer->setDestroyedByContext();
    entries_.clear();
    standAlone_.clear();
}

void CProducerList::setPathMode(bool on) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    pathMode_ = on;
}

bool CProducerList::pathMode() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return pathMode_;
}

std::vector<fs::path> CProducerList::searchFolders() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    std::vector<fs::path> candidates;
    if (!pathMode_) {
        candidates.push_back(platform::programLocation().parent_path());
        candidates.push_back(platform::ownLibraryLocation().parent_path());
    }
    const std::string value = platform::getEnv(CConsumerBase::kSearchPathVariable).value_or("");
    const std::string separators = platform::searchPathSeparators();
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t end = value.find_first_of(separators, start);
        const std::string part = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty()) candidates.emplace_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::vector<fs::path> folders;
    for (const auto& candidate : candidates) {
        if (candidate.empty()) continue;
        const fs::path folder = canonicalText(candidate);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
}

bool CProducerList::isStandAlone(const fs::path& file) const {
    return std::any_of(standAlone_.begin(), standAlone_.end(),
                       [&file](const auto& p) { return sameFile(p->path(), file); });
}

bool CProducerList::probe(const fs::path& file, Entry& entry) {
    auto producer = std::make_unique<CProducerObj>(file);
    const std::string name = file.string();
    try {
        const bool initialised = producer->loadProducer();
        if (initialised) {
            traceInfo("%s; UpdateTLProducerList; Producer %s loaded", kBase, name.c_str());
            std::string vendor, tlType, id;
            producer->getInfoString(TL_INFO_VENDOR, vendor);
            producer->getInfoString(TL_INFO_TLTYPE, tlType);
            producer->getInfoString(TL_INFO_ID, id);
            producer->setVendor(vendor);
            entry.key = CProducerKey::make(producer->isOwnVendor(), CProducerKey::kOriginSearch, tlType, id);
        }
        if (!producer->unloadProducer())
            traceWarning("%s; UpdateTLProducerList; CloseLib failed for Producer %s", kBase, name.c_str());
        if (!initialised) return false;
        entry.producer = std::move(producer);
        return true;
    } catch (const std::exception& e) {
        if (*e.what() != '\0')
            traceWarning("%s; UpdateTLProducerList; Load failed for Producer %s with: %s", kBase, name.c_str(),
                         e.what());
        else
            traceWarning("%s; UpdateTLProducerList; Load failed for Producer %s", kBase, name.c_str());
    }
    return false;
}

Result CProducerList::UpdateTLProducerList() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    const auto folders = searchFolders();
    if (folders.empty()) traceWarning("%s; UpdateTLProducerList; Empty path list", kBase);

    std::vector<Entry> found;
    std::vector<fs::path> taken;
    for (const auto& folder : folders) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec) || ec) continue;
        traceInfo("%s; UpdateTLProducerList; search path %s", kBase, folder.string().c_str());

        std::vector<fs::path> files;
        for (const auto& item : fs::directory_iterator(folder, ec)) {
            std::error_code statusError;
            if (item.is_regular_file(statusError) && item.path().extension() == kProducerExtension)
                files.push_back(item.path());
        }
        std::sort(files.begin(), files.end());  // a stable order across runs

        for (const auto& file : files) {
            const bool alreadyTaken =
                std::any_of(taken.begin(), taken.end(), [&file](const fs::path& t) { return sameFile(t, file); });
            if (alreadyTaken || isStandAlone(file)) continue;
            taken.push_back(file);

            auto known = std::find_if(entries_.begin(), entries_.end(),
                                      [&file](const Entry& e) { return sameFile(e.producer->path(), file); });
            if (known != entries_.end()) {
                known->found = true;
                found.push_back(std::move(*known));  // carried over: same object, same key, no call
                entries_.erase(known);
                continue;
            }
            Entry entry;
            if (probe(file, entry)) found.push_back(std::move(entry));
        }
    }

    // What remains of the old list was not found again. A producer still loaded for use stays:
    // a System may be open on it, and pulling it away would leave that System dangling.
    for (auto& old : entries_) {
        if (!old.producer->isProducerLoaded()) continue;
        old.found = false;
        found.push_back(std::move(old));
    }
    entries_.clear();

    std::stable_sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    for (auto& entry : found) {
        const bool duplicateKey = !entries_.empty() && entries_.back().key == entry.key;
        if (!duplicateKey) entries_.push_back(std::move(entry));
    }
    traceInfo("%s; UpdateTLProducerList; Number of TLProducer %d", kBase, static_cast<int>(entries_.size()));
    return Result::Success;
}

std::size_t CProducerList::size() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return entries_.size();
}

CProducerObj* CProducerList::at(std::size_t index, CProducerKey* key) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (index >= entries_.size()) return nullptr;
    if (key != nullptr) *key = entries_[index].key;
    return entries_[index].producer.get();
}

bool CProducerList::foundByLastSearch(std::size_t index) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return index < entries_.size() && entries_[index].found;
}

std::int64_t CProducerList::indexOf(const CProducerObj* producer) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].producer.get() == producer) return static_cast<std::int64_t>(i);
    return -1;
}

Result CProducerList::LoadTLProducerByIndex(std::int64_t index, CProducerObj** out, CProducerKey* key) {
    static constexpr char kOperation[] = "LoadTLProducerByIndex";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (out == nullptr) return SetLastError(Result::InvalidParameter, kBase, kOperation, "Producer object is NULL");
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size())
        return SetLastError(Result::InvalidParameter, kBase, kOperation, "Index %d is invalid. List size is %d",
                            static_cast<int>(index), static_cast<int>(entries_.size()));
    Entry& entry = entries_[static_cast<std::size_t>(index)];
    if (key != nullptr) *key = entry.key;
    CProducerObj* producer = entry.producer.get();
    const std::string name = producer->path().string();
    if (producer->isProducerLoaded()) {
        *out = producer;
        return SetLastError(Result::ResourceInUse, kBase, kOperation, "TLProducer at index %d is already initialized",
                            static_cast<int>(index));
    }
    try {
        if (producer->loadProducer()) {
            *out = producer;
            traceInfo("%s; LoadTLProducerByIndex; TLProducer %s at index %d loaded", kBase, name.c_str(),
                      static_cast<int>(index));
            return Result::Success;
        }
    } catch (const std::exception&) {
        return SetLastError(Result::Error, kBase, kOperation,
                            "LoadLibrary for TLProducer %s at index %d failed with %d", name.c_str(),
                            static_cast<int>(index), errno);
    }
    const Result result =
        reportInitFailure(*producer, kOperation, name + " at index " + std::to_string(static_cast<int>(index)));
    producer->unloadProducer();
    return result;
}

Result CProducerList::LoadStandAloneTLProducer(const char* path, CProducerObj** out) {
    static constexpr char kOperation[] = "LoadStandAloneTLProducer";
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (out == nullptr) return SetLastError(Result::InvalidParameter, kBase, kOperation, "Producer object is NULL");
    if (path == nullptr) return SetLastError(Result::InvalidParameter, kBase, kOperation, "(null) is not accessable");
    const fs::path file = canonicalText(path);
    const std::string name = file.string();
    std::error_code ec;
    if (!fs::exists(file, ec))
        return SetLastError(Result::InvalidParameter, kBase, kOperation, "%s is not accessable", path);
    const bool inList = std::any_of(entries_.begin(), entries_.end(),
                                    [&file](const Entry& e) { return sameFile(e.producer->path(), file); });
    if (inList || isStandAlone(file))
        return SetLastError(Result::ResourceInUse, kBase, kOperation, "TLProducer %s is already initialized",
                            name.c_str());

    standAlone_.push_back(std::make_unique<CProducerObj>(file));
    CProducerObj* producer = standAlone_.back().get();
    bool initialised = false;
    try {
        initialised = producer->loadProducer();
    } catch (const std::exception&) {
        standAlone_.pop_back();
        return SetLastError(Result::Error, kBase, kOperation, "LoadLibrary for TLProducer %s failed with %d",
                            name.c_str(), errno);
    }
    if (initialised) {
        traceInfo("%s; LoadStandAloneTLProducer; TLProducer %s loaded", kBase, name.c_str());
        *out = producer;
        return Result::Success;
    }
    const Result result = reportInitFailure(*producer, kOperation, name);
    // A producer that could not be initialised is not kept, so a later load may try again.
    producer->unloadProducer();
    standAlone_.pop_back();
    return result;
}

namespace {

Result unloadOne(CProducerObj* producer, const char* operation) {
    const std::string name = producer->path().string();
    if (!producer->isProducerLoaded())
        return SetLastError(Result::NotInitialized, kBase, operation, "TLProducer %s is not initialized", name.c_str());
    if (!producer->unloadProducer())
        return SetLastError(Result::LowLevelError, kBase, operation, "CloseLib for TLProducer %s failed: %s - %s",
                            name.c_str(), GenTLErrorName(producer->closeErrorCode()).c_str(),
                            producer->closeErrorText().c_str());
    traceInfo("%s; %s; TLProducer %s unloaded", kBase, operation, name.c_str());
    return Result::Success;
}

}  // namespace

Result CProducerList::UnloadTLProducer(CProducerObj* producer) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (producer == nullptr || indexOf(producer) < 0)
        return SetLastError(Result::InvalidParameter, kBase, "UnloadTLProducer", "TLProducer is not in the list");
    return unloadOne(producer, "UnloadTLProducer");
}

Result CProducerList::UnloadStandAloneTLProducer(CProducerObj* producer) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    auto it =
        std::find_if(standAlone_.begin(), standAlone_.end(), [producer](const auto& p) { return p.get() == producer; });
    if (producer == nullptr || it == standAlone_.end())
        return SetLastError(Result::InvalidParameter, kBase, "UnloadStandAloneTLProducer",
                            "TLProducer is not loaded stand-alone");
    const Result result = unloadOne(producer, "UnloadStandAloneTLProducer");
    standAlone_.erase(it);
    return result;
}

bool CProducerList::setEnv(const char* path) {
    const std::string value = path ? path : "";
    if (!platform::setEnv(CConsumerBase::kSearchPathVariable, value)) {
        SetLastError(Result::Error, kBase, "setEnv", "set environment variable failed with %d", errno);
        traceError("%s; SetEnv; Path %s not added", kBase, value.c_str());
        return false;
    }
    traceInfo("%s; SetEnv; Path %s added", kBase, value.c_str());
    return true;
}

}  // namespace corvid2
