// SPDX-License-Identifier: BSD-3-Clause
// Requesting and releasing chunks on a camera, with the capture of what the user had enabled.
#include "addons/device_chunk.h"

#include <algorithm>
#include <string>

#include "trace/trace.h"

namespace corvid2 {

void DeviceChunk::Init(const genAPINodeMap* remoteFlat) {
    std::lock_guard<std::mutex> lock(mutex_);
    modeActive_ = remoteFlat != nullptr ? remoteFlat->find("ChunkModeActive") : nullptr;
    selector_ = remoteFlat != nullptr ? remoteFlat->find("ChunkSelector") : nullptr;
    enable_ = remoteFlat != nullptr ? remoteFlat->find("ChunkEnable") : nullptr;
    captured_ = false;
    locked_ = true;
    initialEnabled_.clear();
    references_.clear();
}

bool DeviceChunk::isAvailable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return availableLocked();
}

bool DeviceChunk::availableLocked() const {
    return modeActive_ != nullptr && selector_ != nullptr && enable_ != nullptr;
}

std::uint32_t DeviceChunk::references(std::uint64_t id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = references_.find(id);
    return it == references_.end() ? 0 : it->second;
}

bool DeviceChunk::locked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return locked_;
}

bool DeviceChunk::captured() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured_;
}

bool DeviceChunk::enableChunk(std::uint64_t id, bool on) {
    const char* action = on ? "activate" : "deactivate";
    traceInfo("DeviceChunk; EnableChunk; %s %u;", action, static_cast<unsigned>(id));
    try {
        selector_->SetInt(static_cast<std::int64_t>(id));
        enable_->SetBool(on);
    } catch (const CGenAPIException& error) {
        traceError("DeviceChunk; EnableChunk (%s %u); unexpected exception (%s);", action, static_cast<unsigned>(id),
                   error.what());
        return false;
    }
    return true;
}

bool DeviceChunk::getChunkModeActive(bool* on) {
    try {
        *on = modeActive_->GetBool();
    } catch (const CGenAPIException& error) {
        traceError("DeviceChunk; GetChunkModeActive; Unexpected exception (%s);", error.what());
        return false;
    }
    return true;
}

bool DeviceChunk::setChunkModeActive(bool on) {
    const char* action = on ? "enable" : "disable";
    traceInfo("DeviceChunk; SetChunkModeActive; %s", action);
    try {
        modeActive_->SetBool(on);
    } catch (const CGenAPIException& error) {
        traceError("DeviceChunk; SetChunkModeActive (%s); Unexpected exception (%s);", action, error.what());
        return false;
    }
    return true;
}

bool DeviceChunk::readEnabledChunks(IdSet& enabled) {
    enabled.clear();
    try {
        // Selecting changes what ChunkEnable shows: the user's selection is put back afterwards.
        const std::int64_t selected = selector_->GetInt();
        for (const auto& entry : selector_->GetEnumNodeList()) {
            if (!entry.second->GetAvailable()) continue;
            const std::int64_t value = entry.second->GetInt();
            selector_->SetInt(value);
            if (enable_->GetBool()) enabled.insert(static_cast<std::uint64_t>(value));
        }
        selector_->SetInt(selected);
    } catch (const CGenAPIException& error) {
        traceError("DeviceChunk; readEnabledChunks; Unexpected exception (%s);", error.what());
        return false;
    }
    return true;
}

void DeviceChunk::captureState(bool* modeActive, IdSet& enabled) {
    if (!getChunkModeActive(modeActive)) *modeActive = false;
    readEnabledChunks(enabled);
    if (captured_) return;
    initialModeActive_ = *modeActive;
    initialEnabled_ = enabled;
    captured_ = true;
    locked_ = false;
}

bool DeviceChunk::hasForeignChunk(const IdSet& enabled) const {
    return std::any_of(enabled.begin(), enabled.end(), [this](std::uint64_t id) {
        return initialEnabled_.count(id) == 0 && references_.count(id) == 0;
    });
}

void DeviceChunk::checkLocked(IdSet& enabled) {
    readEnabledChunks(enabled);
    if (!captured_ || hasForeignChunk(enabled)) locked_ = true;
}

bool DeviceChunk::enableChunks(const std::vector<std::uint64_t>& ids) {
    if (pause_.pauseForChunks() != Result::Success) return false;
    bool done = setChunkModeActive(true);
    for (std::uint64_t id : ids) done = enableChunk(id, true) && done;
    return pause_.resumeAfterChunks() == Result::Success && done;
}

bool DeviceChunk::disableChunks(const std::vector<std::uint64_t>& ids) {
    if (pause_.pauseForChunks() != Result::Success) return false;
    bool done = true;
    for (std::uint64_t id : ids) done = enableChunk(id, false) && done;
    if (modeMayGoOff()) done = setChunkModeActive(false) && done;
    return pause_.resumeAfterChunks() == Result::Success && done;
}

bool DeviceChunk::modeMayGoOff() const { return !locked_ && !initialModeActive_ && references_.empty(); }

void DeviceChunk::endCapture() {
    if (!references_.empty()) return;
    captured_ = false;
    locked_ = true;
    initialEnabled_.clear();
}

Result DeviceChunk::update(const std::vector<std::uint64_t>& ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!availableLocked()) return Result::NotAvailable;
    bool modeActive = false;
    IdSet enabled;
    captureState(&modeActive, enabled);
    const bool allEnabled =
        std::all_of(ids.begin(), ids.end(), [&enabled](std::uint64_t id) { return enabled.count(id) != 0; });
    Result outcome = Result::Success;
    if (!(modeActive && allEnabled) && !enableChunks(ids)) outcome = Result::Error;
    for (std::uint64_t id : ids) ++references_[id];
    return outcome;
}

Result DeviceChunk::restore(const std::vector<std::uint64_t>& ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!availableLocked()) {
        traceError("DeviceChunk; Restore; not available!;");
        return Result::NotAvailable;
    }
    IdSet enabled;
    checkLocked(enabled);
    if (locked_) traceWarning("DeviceChunk; Restore; disable locked!;");
    std::vector<std::uint64_t> toDisable;
    for (std::uint64_t id : ids) {
        const auto it = references_.find(id);
        const auto shown = static_cast<unsigned>(id);
        if (it == references_.end()) {
            traceWarning("DeviceChunk; RestoreChunk; %u not managed!;", shown);
            continue;
        }
        if (it->second >= 2) {
            --it->second;
            traceInfo("DeviceChunk; RestoreChunk; keep %u (%u);", shown, it->second);
            continue;
        }
        references_.erase(it);
        if (enabled.count(id) == 0)
            traceWarning("DeviceChunk; RestoreChunk; %u already disabled!;", shown);
        else if (!locked_ && initialEnabled_.count(id) == 0)
            toDisable.push_back(id);
        else
            traceInfo("DeviceChunk; RestoreChunk; keep %u;", shown);
    }
    Result outcome = Result::Success;
    if (!locked_ && (!toDisable.empty() || modeMayGoOff()) && !disableChunks(toDisable)) outcome = Result::Error;
    endCapture();
    return outcome;
}

}  // namespace corvid2
