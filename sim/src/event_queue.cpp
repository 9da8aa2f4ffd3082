// SPDX-License-Identifier: BSD-3-Clause
// Event queue: waits on a condition variable, never polls.
#include "event_queue.h"

#include <chrono>
#include <cstdio>

namespace corvid2::sim {

namespace {
constexpr size_t kHeaderSize = 16;

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); }
uint32_t get32(const uint8_t* in) {
    uint32_t v;
    std::memcpy(&v, in, 4);
    return v;
}
}  // namespace

std::vector<uint8_t> EventQueue::encode(const EventRecord& record) {
    if (!record.raw.empty()) return record.raw;
    std::vector<uint8_t> out(kHeaderSize + record.idText.size() + 1 + record.value.size());
    std::memcpy(out.data(), &record.numericId, 8);
    put32(out, 8, static_cast<uint32_t>(record.idText.size() + 1));
    put32(out, 12, static_cast<uint32_t>(record.value.size()));
    std::memcpy(out.data() + kHeaderSize, record.idText.c_str(), record.idText.size() + 1);
    if (!record.value.empty())
        std::memcpy(out.data() + kHeaderSize + record.idText.size() + 1, record.value.data(), record.value.size());
    return out;
}

void EventQueue::push(EventRecord record) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shutdown_) return;
        queue_.push_back(std::move(record));
    }
    changed_.notify_all();
}

void EventQueue::get(void* buffer, size_t* size, uint64_t timeoutMs) {
    if (buffer != nullptr) requireOut(size, "piSize");
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [this] { return shutdown_ || pendingKills_ > 0 || !queue_.empty(); };
    if (timeoutMs == GENTL_INFINITE) {
        changed_.wait(lock, ready);
    } else if (!changed_.wait_for(
                   lock,
                   std::chrono::milliseconds(static_cast<int64_t>(std::min<uint64_t>(timeoutMs, uint64_t{1} << 40))),
                   ready)) {
        fail(GC_ERR_TIMEOUT, "no event within the timeout");
    }
    if (shutdown_) fail(GC_ERR_ABORT, "event registration ended");
    if (pendingKills_ > 0) {
        --pendingKills_;
        fail(GC_ERR_ABORT, "wait aborted by EventKill");
    }
    const std::vector<uint8_t> data = encode(queue_.front());
    if (buffer != nullptr) {
        if (*size < data.size()) fail(GC_ERR_BUFFER_TOO_SMALL, "event buffer too small");
        std::memcpy(buffer, data.data(), data.size());
        *size = data.size();
    }
    EventRecord taken = std::move(queue_.front());
    queue_.pop_front();
    ++fired_;
    const auto hook = takeHook_;
    lock.unlock();
    if (hook) hook(taken);
}

void EventQueue::setTakeHook(std::function<void(const EventRecord&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    takeHook_ = std::move(hook);
}

void EventQueue::kill() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++pendingKills_;
    }
    changed_.notify_all();
}

void EventQueue::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

void EventQueue::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shutdown_ = true;
        queue_.clear();
    }
    changed_.notify_all();
}

InfoValue EventQueue::info(EVENT_INFO_CMD command) {
    std::lock_guard<std::mutex> lock(mutex_);
    const InfoTable table = {
        {EVENT_EVENT_TYPE, [&] { return InfoValue::i32(type_); }},
        {EVENT_NUM_IN_QUEUE, [&] { return InfoValue::sizet(queue_.size()); }},
        {EVENT_NUM_FIRED, [&] { return InfoValue::u64(fired_); }},
        {EVENT_SIZE_MAX,
         [&] { return InfoValue::sizet(type_ == EVENT_NEW_BUFFER ? sizeof(EVENT_NEW_BUFFER_DATA) : kSizeMax); }},
        {EVENT_INFO_DATA_SIZE_MAX,
         [&] { return InfoValue::sizet(type_ == EVENT_NEW_BUFFER ? sizeof(void*) : kSizeMax - kHeaderSize); }},
    };
    return lookupInfo(table, command);
}

InfoValue EventQueue::dataInfo(const void* raw, size_t rawSize, EVENT_DATA_INFO_CMD command) const {
    if (raw == nullptr) fail(GC_ERR_INVALID_PARAMETER, "pInBuffer is null");
    const auto* bytes = static_cast<const uint8_t*>(raw);
    if (type_ == EVENT_NEW_BUFFER) {
        if (rawSize < sizeof(EVENT_NEW_BUFFER_DATA)) fail(GC_ERR_INVALID_PARAMETER, "event data too short");
        EVENT_NEW_BUFFER_DATA data;
        std::memcpy(&data, bytes, sizeof data);
        const InfoTable table = {
            {EVENT_DATA_ID, [&] { return InfoValue::ptr(data.BufferHandle); }},
            {EVENT_DATA_VALUE, [&] { return InfoValue::ptr(data.pUserPointer); }},
            {EVENT_DATA_NUMID, []() -> InfoValue { fail(GC_ERR_NOT_AVAILABLE, "buffer handles have no number"); }},
        };
        return lookupInfo(table, command);
    }
    if (rawSize < kHeaderSize) fail(GC_ERR_INVALID_PARAMETER, "event data too short");
    uint64_t numericId;
    std::memcpy(&numericId, bytes, 8);
    const uint32_t idSize = get32(bytes + 8), valueSize = get32(bytes + 12);
    if (idSize == 0 || kHeaderSize + uint64_t{idSize} + valueSize > rawSize || bytes[kHeaderSize + idSize - 1] != 0)
        fail(GC_ERR_INVALID_PARAMETER, "not an event record of this producer");
    const std::string idText(reinterpret_cast<const char*>(bytes + kHeaderSize));
    const std::vector<uint8_t> value(bytes + kHeaderSize + idSize, bytes + kHeaderSize + idSize + valueSize);
    const bool numbered = type_ == EVENT_REMOTE_DEVICE || type_ == EVENT_MODULE;
    const InfoTable table = {
        {EVENT_DATA_ID,
         [&] {
             return type_ == EVENT_ERROR ? InfoValue::i32(static_cast<int32_t>(numericId)) : InfoValue::text(idText);
         }},
        {EVENT_DATA_VALUE,
         [&]() -> InfoValue {
             if (type_ == EVENT_ERROR) return InfoValue::text(std::string(value.begin(), value.end()));
             if (value.empty()) fail(GC_ERR_NO_DATA, "this event carries no value");
             return InfoValue::raw(value);
         }},
        {EVENT_DATA_NUMID,
         [&]() -> InfoValue {
             if (!numbered) fail(GC_ERR_NOT_AVAILABLE, "this event type has no numeric id");
             return InfoValue::u64(numericId);
         }},
    };
    return lookupInfo(table, command);
}

}  // namespace corvid2::sim
