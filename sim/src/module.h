// SPDX-License-Identifier: BSD-3-Clause
// Base of every object a GenTL handle can name: its kind, its port and the events registered on it.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "event_queue.h"
#include "port.h"
#include "register_map.h"

namespace corvid2::sim {

enum class HandleKind { System, Interface, Device, RemoteDevice, DataStream, Buffer, Event };

class Handleable {
public:
    virtual ~Handleable() = default;
    virtual HandleKind handleKind() const = 0;
    void* handle() const { return handle_; }
    void setHandle(void* handle) { handle_ = handle; }

private:
    void* handle_ = nullptr;
};

// The event registration of a module: registering hands out an EventQueue that is itself a handle.
class EventHandle : public Handleable, public EventQueue {
public:
    using EventQueue::EventQueue;
    HandleKind handleKind() const override { return HandleKind::Event; }
};

class Module : public Handleable {
public:
    // Null for a module without a port: every port function then answers GC_ERR_NOT_IMPLEMENTED.
    virtual Port* port() = 0;
    Port& requirePort() {
        Port* p = port();
        if (p == nullptr) fail(GC_ERR_NOT_IMPLEMENTED, "this module has no port");
        return *p;
    }
    virtual void readPort(uint64_t address, void* buffer, size_t length) {
        requirePort().read(address, buffer, length);
    }
    virtual void writePort(uint64_t address, const void* buffer, size_t length) {
        requirePort().write(address, buffer, length);
    }
    // The event types this module can raise.
    virtual bool supportsEvent(EVENT_TYPE type) const = 0;

    std::shared_ptr<EventHandle> registerEvent(EVENT_TYPE type);
    // Returns the registration that ended (for its handle to be dropped), null when none existed.
    std::shared_ptr<EventHandle> unregisterEvent(EVENT_TYPE type);
    // Every registration, ended (for closing the module).
    std::vector<std::shared_ptr<EventHandle>> unregisterAllEvents();
    // Queues an event when the consumer registered its type; otherwise it is dropped.
    void raise(EVENT_TYPE type, EventRecord record);
    bool isRegistered(EVENT_TYPE type);
    void flushEvents(EVENT_TYPE type);

protected:
    // Lets a module attach behaviour to a fresh registration (the data stream ties its output queue to it).
    virtual void onRegistered(EventHandle&) {}

    // A selector over a list of children (index register at `selectorAddress`, highest index at
    // `maxAddress`), both read and written under `mutex`; `size` is called with it held.
    template <class Size>
    static void addListSelector(RegisterMap& r, uint64_t selectorAddress, uint64_t maxAddress, std::mutex& mutex,
                                uint32_t& selector, Size size, const char* refusal) {
        r.addInt(
            selectorAddress, 4,
            [&mutex, &selector] {
                std::lock_guard<std::mutex> lock(mutex);
                return int64_t{selector};
            },
            [&mutex, &selector, size, refusal](int64_t v) {
                std::lock_guard<std::mutex> lock(mutex);
                if (v < 0 || static_cast<size_t>(v) >= std::max<size_t>(size(), 1)) fail(GC_ERR_INVALID_VALUE, refusal);
                selector = static_cast<uint32_t>(v);
            });
        r.addInt(maxAddress, 4, [&mutex, size] {
            std::lock_guard<std::mutex> lock(mutex);
            const size_t n = size();
            return static_cast<int64_t>(n == 0 ? 0 : n - 1);
        });
    }

    // Closes a parent module: its open children (taken out under `mutex`, closed outside it), then its own
    // event registrations. Returns every handle that ended, for the registry to drop.
    template <class Child>
    std::vector<void*> closeWithChildren(std::mutex& mutex, std::map<std::string, std::shared_ptr<Child>>& open) {
        std::map<std::string, std::shared_ptr<Child>> children;
        {
            std::lock_guard<std::mutex> lock(mutex);
            children.swap(open);
        }
        std::vector<void*> handles;
        for (auto& entry : children) {
            for (void* h : entry.second->close()) handles.push_back(h);
            handles.push_back(entry.second->handle());
        }
        for (const auto& event : unregisterAllEvents()) handles.push_back(event->handle());
        return handles;
    }

private:
    std::mutex eventsMutex_;
    std::map<EVENT_TYPE, std::shared_ptr<EventHandle>> events_;
};

}  // namespace corvid2::sim
