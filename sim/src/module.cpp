// SPDX-License-Identifier: BSD-3-Clause
// Event registrations common to all modules.
#include "module.h"

namespace corvid2::sim {

std::shared_ptr<EventHandle> Module::registerEvent(EVENT_TYPE type) {
    if (!supportsEvent(type)) fail(GC_ERR_NOT_IMPLEMENTED, "event type not supported by this module");
    std::lock_guard<std::mutex> lock(eventsMutex_);
    if (events_.count(type) != 0) fail(GC_ERR_RESOURCE_IN_USE, "event type already registered");
    auto event = std::make_shared<EventHandle>(type);
    onRegistered(*event);
    events_[type] = event;
    return event;
}

std::shared_ptr<EventHandle> Module::unregisterEvent(EVENT_TYPE type) {
    std::shared_ptr<EventHandle> event;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        const auto it = events_.find(type);
        if (it == events_.end()) return nullptr;
        event = it->second;
        events_.erase(it);
    }
    event->shutdown();
    return event;
}

std::vector<std::shared_ptr<EventHandle>> Module::unregisterAllEvents() {
    std::map<EVENT_TYPE, std::shared_ptr<EventHandle>> ended;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        ended.swap(events_);
    }
    std::vector<std::shared_ptr<EventHandle>> list;
    for (auto& entry : ended) {
        entry.second->shutdown();
        list.push_back(entry.second);
    }
    return list;
}

void Module::raise(EVENT_TYPE type, EventRecord record) {
    std::shared_ptr<EventHandle> event;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        const auto it = events_.find(type);
        if (it == events_.end()) return;
        event = it->second;
    }
    event->push(std::move(record));
}

bool Module::isRegistered(EVENT_TYPE type) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    return events_.count(type) != 0;
}

}  // namespace corvid2::sim

namespace corvid2::sim {

void Module::flushEvents(EVENT_TYPE type) {
    std::shared_ptr<EventHandle> event;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        const auto it = events_.find(type);
        if (it == events_.end()) return;
        event = it->second;
    }
    event->flush();
}

}  // namespace corvid2::sim
