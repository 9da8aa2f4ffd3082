// SPDX-License-Identifier: BSD-3-Clause
// One registered GenTL event: a queue of raw event records with blocking fetch, kill and flush.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "info_value.h"

namespace corvid2::sim {

// Raw record layout handed out by EventGetData for every type but EVENT_NEW_BUFFER (whose record is fixed by
// GenTL): a 16-byte header {numeric id, id text length, value length}, the id text with its 0, then the value.
struct EventRecord {
    uint64_t numericId = 0;
    bool hasNumericId = false;
    std::string idText;
    std::vector<uint8_t> value;
    std::vector<uint8_t> raw;  // EVENT_NEW_BUFFER_DATA only
};

class EventQueue {
public:
    static constexpr size_t kSizeMax = 4096;

    EventQueue(EVENT_TYPE type) : type_(type) {}

    EVENT_TYPE type() const { return type_; }
    void push(EventRecord record);
    // Blocks up to `timeoutMs` (GENTL_INFINITE: forever); a null buffer discards the event.
    void get(void* buffer, size_t* size, uint64_t timeoutMs);
    void kill();
    void flush();
    // Ends every wait with GC_ERR_ABORT for good (used when the registration ends).
    void shutdown();
    InfoValue info(EVENT_INFO_CMD command);
    InfoValue dataInfo(const void* raw, size_t rawSize, EVENT_DATA_INFO_CMD command) const;

    static std::vector<uint8_t> encode(const EventRecord& record);
    // Called after an event left the queue through EventGetData (outside the queue's lock).
    void setTakeHook(std::function<void(const EventRecord&)> hook);

private:
    const EVENT_TYPE type_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<EventRecord> queue_;
    uint64_t fired_ = 0;
    uint32_t pendingKills_ = 0;
    bool shutdown_ = false;
    std::function<void(const EventRecord&)> takeHook_;
};

}  // namespace corvid2::sim
