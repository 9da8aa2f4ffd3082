// SPDX-License-Identifier: BSD-3-Clause
// DeviceChunk: chunks that parts of the library (or a companion component) need switched on for a
// while, counted per requester, and switched off again without touching the ones the user enabled.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "core/result_codes.h"
#include "features/genapi_node.h"

namespace corvid2 {

// How DeviceChunk stops the acquisition around its feature writes (the device's pause).
class IChunkPause {
public:
    virtual ~IChunkPause() = default;
    virtual Result pauseForChunks() = 0;
    virtual Result resumeAfterChunks() = 0;
};

// The state is captured at the first request: "ChunkModeActive" and the set of enabled chunks as
// the user left them. A release switches a chunk off only when its last request goes and the user
// had not enabled it before; when the user enabled a chunk the library does not know meanwhile,
// the capture is locked and nothing is switched off any more. Every operation runs under one
// mutex. Lock order: the device's lock -> this mutex (-> the device's lock again, recursively, in
// the pause): the device calls Init under its lock, so update and restore are called under it too.
class DeviceChunk {
public:
    explicit DeviceChunk(IChunkPause& pause) : pause_(pause) {}

    // Takes "ChunkModeActive", "ChunkSelector" and "ChunkEnable" from the camera's flat view when
    // the device opens; null when it closes (the capture is forgotten too).
    void Init(const genAPINodeMap* remoteFlat);
    bool isAvailable() const;

    // Requests the chunks (ChunkSelector values): NotAvailable without the three features, Error
    // when switching them on failed (the requests are counted all the same).
    Result update(const std::vector<std::uint64_t>& ids);
    // Releases them: NotAvailable without the three features.
    Result restore(const std::vector<std::uint64_t>& ids);

    // For tests and diagnostics.
    std::uint32_t references(std::uint64_t id) const;
    bool locked() const;
    bool captured() const;

private:
    using IdSet = std::set<std::uint64_t>;

    bool availableLocked() const;
    bool enableChunk(std::uint64_t id, bool on);
    bool getChunkModeActive(bool* on);
    bool setChunkModeActive(bool on);
    bool readEnabledChunks(IdSet& enabled);
    void captureState(bool* modeActive, IdSet& enabled);
    bool hasForeignChunk(const IdSet& enabled) const;
    // Reads the enabled chunks into `enabled` and locks the capture when one is foreign.
    void checkLocked(IdSet& enabled);
    bool enableChunks(const std::vector<std::uint64_t>& ids);
    bool disableChunks(const std::vector<std::uint64_t>& ids);
    // Whether the chunk mode goes off with the last request: the user had it off and nothing is locked.
    bool modeMayGoOff() const;
    // With no request left, the next request captures the camera's state afresh.
    void endCapture();

    IChunkPause& pause_;
    mutable std::mutex mutex_;
    CGenAPINode* modeActive_ = nullptr;
    CGenAPINode* selector_ = nullptr;
    CGenAPINode* enable_ = nullptr;
    bool captured_ = false;
    bool initialModeActive_ = false;
    IdSet initialEnabled_;
    bool locked_ = true;
    std::map<std::uint64_t, std::uint32_t> references_;
};

}  // namespace corvid2
