// SPDX-License-Identifier: BSD-3-Clause
// IGenAPI: the node-map side of every module object. It keeps the description, the engine's node
// map, a wrapper per feature by name, the event-ID and chunk-ID tables and the adapters.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include <corvid2/genapi/adapters.h>
#include <corvid2/genapi/interfaces.h>
#include <corvid2/genapi/node_map_factory.h>

#include "features/genapi_node.h"
#include "features/map_calls.h"

namespace corvid2 {

class IGenAPIPort;

// Every failure is CGenAPIException. Wrappers are created only while the map is being built and
// destroyed only when it is rebuilt or released; readers run under the guards of the public layer
// and GenApi's map lock.
class IGenAPI {
public:
    IGenAPI();
    virtual ~IGenAPI();
    IGenAPI(const IGenAPI&) = delete;
    IGenAPI& operator=(const IGenAPI&) = delete;

    // Derives this map from the source's description for one event ID (or chunk ID): nothing
    // happens when it is already derived for that source and ID and the source did not change.
    virtual void attachEventMap(IGenAPI* source, std::uint64_t eventId);
    virtual void attachChunkMap(IGenAPI* source, std::uint64_t chunkId);
    // Derives this map from the source's whole description, for the chunks of any ID that a
    // buffer carries.
    void attachChunkMap(IGenAPI* source) { attachChunkMap(source, kWholeDescription); }
    static constexpr std::uint64_t kWholeDescription = ~std::uint64_t{0};
    // Counts the maps installed here: a view made from an older map is stale.
    std::uint64_t generation() const { return generation_; }

    // Builds the node map and its wrappers from the text; null clears map and description. A
    // connected port stays connected: a new map that cannot reach it is refused and the old one
    // stays, as it does when the text does not parse.
    virtual void setXML(const std::string* text);
    // setXML and connectPort in one step: the new map replaces the old only once it is connected.
    void setXMLAndConnect(const std::string& text, IGenAPIPort* port, const std::string& portName);
    virtual void getXML(std::string& text) const;
    // Connects the map's port node of that name to the module's port.
    virtual void connectPort(IGenAPIPort* port, const std::string& portName);

    // "getNode '<name>' not found!" when absent.
    virtual CGenAPINode* getNode(const std::string& name);
    // The root's tree and flat views; "getNodeMap - Parser not available/initialized" (resp.
    // "getNodeMapFlat - ...") without node map.
    virtual const genAPINodeMap& getNodeMap() const;
    virtual const genAPINodeMap& getNodeMapFlat() const;
    const genAPINodeMap& nameTable() const { return names_; }
    virtual bool nodeMapAvailable() const { return root_ != nullptr; }
    // The engine's map (null while none): for the module's own reads and for tests.
    genapi::INodeMap* engineMap() const { return map_.get(); }

    // Hands event data to the event ports with that ID; nothing without map, data or size.
    virtual void deliverEvent(const std::uint8_t* data, std::uint32_t size, std::uint64_t eventId);
    virtual void attachChunkBuffer(std::uint8_t* buffer, const genapi::SingleChunkData_t* chunks, std::int64_t count);
    virtual void updateChunkBuffer(std::uint8_t* buffer);
    virtual void detachChunkBuffer();

    // Whether a write of that feature is read back: the connected port decides; true without port.
    virtual bool noteFeatureWrite(const std::string& featureName);

    virtual CGenAPINode* createWrapper(genapi::INode* node);
    // Unregisters the wrapper, waits for the calls in flight on this map and deletes it.
    virtual void destroyWrapper(CGenAPINode* node);

    // A public call on one of this map's wrappers enters while the wrapper it looked up is still
    // registered (it holds the wrapper registry's lock then) and leaves when it is done; wrappers
    // and map are destroyed only after they are unregistered and every call that entered has left
    // (see CMapCalls). `enterCall` answers whether the call took a slot of its thread, which
    // `leaveCall` is told again; calls nested too deep are counted here instead.
    bool enterCall() {
        if (CMapCalls::enter(this)) return true;
        callsInFlight_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    void leaveCall(bool inSlot) {
        if (inSlot)
            CMapCalls::leave();
        else
            callsInFlight_.fetch_sub(1, std::memory_order_release);
    }

    // The port wrappers of an event ID / chunk ID; "getEventMap for event ID '<id>' not found!".
    const std::vector<CGenAPINode*>& eventNodes(std::uint64_t eventId) const;
    const std::vector<CGenAPINode*>* chunkNodes(std::uint64_t chunkId) const;
    // The feature (not a port) that carries the event ID, null when none does.
    CGenAPINode* eventFeature(std::uint64_t eventId) const;
    // True once after the node map was rebuilt.
    bool takeReplacedFlag();

    // Adapters, wrappers and map go; the description stays (module close keeps nothing else).
    void releaseNodeMap();
    // Makes the map unreachable for public calls and returns once the calls in flight on it have
    // left: every wrapper is unregistered, while wrappers and map stay until they are released.
    // Releasing does it too; a module whose port must forget the map while the map still exists
    // calls it first. The calling thread must hold no lock that a feature call may wait for.
    void stopCalls();

private:
    // A parsed description whose map is not installed yet.
    struct Parsed {
        genapi::CNodeMapFactory factory;
        std::unique_ptr<genapi::INodeMap> map;
    };
    static Parsed parse(const std::string& text);
    static bool connect(genapi::INodeMap* map, IGenAPIPort* port, const std::string& portName);
    // A module port forgets the current map (about to go, or no longer connected here).
    void detachPort();
    // Drops adapters, wrappers and map (the description and the port reference stay).
    void clearMap();
    // Replaces the map by `parsed` and builds its wrappers.
    void install(Parsed parsed);
    void buildWrappers();
    void destroyWrappers();
    static void unregisterWrapper(CGenAPINode* node);
    // Returns once no call is in flight on this map; the caller has unregistered the wrappers.
    void waitForCalls() const;
    void derive(IGenAPI* source, std::uint64_t id, bool chunk);

    std::string xml_;
    genapi::CNodeMapFactory factory_;
    std::unique_ptr<genapi::INodeMap> map_;
    genAPINodeMap names_;
    CGenAPINode* root_ = nullptr;
    std::map<std::uint64_t, std::vector<CGenAPINode*>> eventIds_;
    std::map<std::uint64_t, CGenAPINode*> eventFeatures_;
    std::map<std::uint64_t, std::vector<CGenAPINode*>> chunkIds_;
    std::unique_ptr<genapi::CEventAdapterGeneric> eventAdapter_;
    std::unique_ptr<genapi::CChunkAdapterGeneric> chunkAdapter_;
    IGenAPIPort* port_ = nullptr;
    std::string portName_;
    // Counts the maps installed here, so that a derived map can tell that its source changed.
    std::uint64_t generation_ = 0;
    IGenAPI* derivedFrom_ = nullptr;
    std::uint64_t derivedId_ = 0;
    std::uint64_t derivedGeneration_ = 0;
    bool derivedChunk_ = false;
    std::unordered_set<CGenAPINode*> wrappers_;
    bool callsStopped_ = false;  // the wrappers are unregistered and no call runs on the map
    bool replaced_ = false;
    std::atomic<std::uint32_t> callsInFlight_{0};
};

}  // namespace corvid2
