// SPDX-License-Identifier: BSD-3-Clause
// IGenAPI: building a module's node map and wrappers from its description, the derived event and
// chunk maps, and handing event and chunk data to the engine's adapters.
#include "features/igenapi.h"

#include <cinttypes>
#include <cstdio>

#include "core/object_registry.h"
#include "features/genapi_port.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {

constexpr char kDeviceName[] = "Device";

[[noreturn]] void fail(const std::string& message) { throw CGenAPIException(message, kGenAPIClassError); }

std::string idText(std::uint64_t id) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRIX64, id);
    return text;
}

// Runs one step of map building: engine failures are traced and become CGenAPIException.
template <class Step>
void buildStep(Step&& step) {
    try {
        step();
    } catch (const CGenAPIException&) {
        throw;
    } catch (const genapi::GenericException& error) {
        traceError("%s; %s", "IGenAPI::setXML", error.GetDescription());
        fail(error.GetDescription());
    } catch (const std::exception&) {
        fail("setXML failed");
    }
}

}  // namespace

IGenAPI::IGenAPI() {
    wrappers_.max_load_factor(1.0f);
    wrappers_.rehash(8);
}

IGenAPI::~IGenAPI() { clearMap(); }

// ---- building ------------------------------------------------------------------------------------
IGenAPI::Parsed IGenAPI::parse(const std::string& text) {
    Parsed parsed;
    buildStep([&] {
        parsed.factory = genapi::CNodeMapFactory(genapi::ContentType_Xml, text.data(), text.size(),
                                                 genapi::CacheUsage_Automatic, false);
        parsed.factory.Preprocess();
        parsed.map = parsed.factory.CreateNodeMap(kDeviceName, false);
    });
    return parsed;
}

bool IGenAPI::connect(genapi::INodeMap* map, IGenAPIPort* port, const std::string& portName) {
    if (map == nullptr || port == nullptr) return false;
    try {
        // A module's own port also learns the map, whose nodes a cancelled write stack invalidates.
        if (auto* modulePort = dynamic_cast<CModulePort*>(port)) return modulePort->connectNodeMap(map, portName);
        return map->Connect(port, portName);
    } catch (const genapi::GenericException&) {
        return false;
    }
}

void IGenAPI::detachPort() {
    if (auto* modulePort = dynamic_cast<CModulePort*>(port_)) modulePort->disconnectNodeMap(map_.get());
}

void IGenAPI::clearMap() {
    if (eventAdapter_) {
        eventAdapter_->DetachNodeMap();
        eventAdapter_.reset();
    }
    detachChunkBuffer();
    destroyWrappers();
    detachPort();
    map_.reset();
}

void IGenAPI::install(Parsed parsed) {
    clearMap();
    factory_ = std::move(parsed.factory);
    map_ = std::move(parsed.map);
    ++generation_;
    replaced_ = true;
    derivedFrom_ = nullptr;
    try {
        buildStep([&] { buildWrappers(); });
    } catch (...) {
        // The map stays (the port may point at it); without wrappers nobody reaches it.
        destroyWrappers();
        throw;
    }
}

void IGenAPI::setXML(const std::string* text) {
    if (text == nullptr) {
        clearMap();
        xml_.clear();
        return;
    }
    Parsed parsed = parse(*text);
    if (port_ != nullptr && !connect(parsed.map.get(), port_, portName_)) fail("connectPort failed");
    xml_ = *text;
    install(std::move(parsed));
}

void IGenAPI::setXMLAndConnect(const std::string& text, IGenAPIPort* port, const std::string& portName) {
    Parsed parsed = parse(text);
    if (!connect(parsed.map.get(), port, portName)) fail("connectPort failed");
    xml_ = text;
    if (port_ != port) detachPort();
    port_ = port;
    portName_ = portName;
    install(std::move(parsed));
}

void IGenAPI::getXML(std::string& text) const { text = xml_; }

void IGenAPI::connectPort(IGenAPIPort* port, const std::string& portName) {
    if (!connect(map_.get(), port, portName)) fail("connectPort failed");
    if (port_ != port) detachPort();
    port_ = port;
    portName_ = portName;
}

CGenAPINode* IGenAPI::createWrapper(genapi::INode* node) {
    auto wrapper = std::make_unique<CGenAPINode>(node, this);
    wrappers_.insert(wrapper.get());
    GenAPINodeGuard guard("createWrapper");
    guard.Register(nullptr, wrapper.get());
    return wrapper.release();
}

void IGenAPI::destroyWrapper(CGenAPINode* node) {
    if (node == nullptr || wrappers_.erase(node) == 0) return;
    if (!callsStopped_) {
        unregisterWrapper(node);
        waitForCalls();
    }
    delete node;
}

void IGenAPI::unregisterWrapper(CGenAPINode* node) {
    try {
        GenAPINodeGuard guard("destroyWrapper");
        guard.Unregister(nullptr, &node);
    } catch (const std::exception&) {
        // Not registered (the registry was torn down first): nothing is left to undo.
    }
}

void IGenAPI::waitForCalls() const {
    // A call entered under the registry lock that the unregistering took after it, so its entry is
    // seen here; its leaving releases what it did to the map before the map goes.
    CSpinWait spin;
    while (CMapCalls::anyCallOn(this) || callsInFlight_.load(std::memory_order_acquire) != 0) spin.once();
}

void IGenAPI::buildWrappers() {
    genapi::node_vector nodes;
    map_->GetNodes(nodes);
    for (genapi::INode* node : nodes) {
        if (!node->IsFeature()) continue;
        CGenAPINode* wrapper = createWrapper(node);
        names_.insert(node->GetName(), wrapper);
        // The feature that names an event (its ports carry the ID as well), found by ID per event.
        std::uint64_t eventId = 0;
        if (parseHexId(node->GetEventID(), eventId)) eventFeatures_.emplace(eventId, wrapper);
    }
    root_ = names_.find("Root");
    if (root_ == nullptr) root_ = createWrapper(map_->GetNode("Root"));

    // Event and chunk ports are no features; their wrappers live only in the ID tables.
    for (genapi::INode* node : nodes) {
        if (node->GetPrincipalInterfaceType() != genapi::intfIPort) continue;
        std::uint64_t eventId = 0, chunkId = 0;
        const bool isEvent = parseHexId(node->GetEventID(), eventId);
        const auto* chunkPort = genapi::CastNode<genapi::IChunkPort>(node);
        const bool isChunk = chunkPort != nullptr && parseHexId(chunkPort->GetChunkID(), chunkId);
        if (!isEvent && !isChunk) continue;
        CGenAPINode* wrapper = names_.find(node->GetName());
        if (wrapper == nullptr) wrapper = createWrapper(node);
        if (isEvent) eventIds_[eventId].push_back(wrapper);
        if (isChunk) chunkIds_[chunkId].push_back(wrapper);
    }

    // Categories need every feature's wrapper, so views are filled once all exist.
    const std::vector<CGenAPINode*> created(wrappers_.begin(), wrappers_.end());
    for (CGenAPINode* wrapper : created) wrapper->initialize();
}

void IGenAPI::stopCalls() {
    if (callsStopped_) return;
    // No new call finds a wrapper once all are unregistered; the calls that found one before are
    // waited for once.
    for (CGenAPINode* wrapper : wrappers_) unregisterWrapper(wrapper);
    waitForCalls();
    callsStopped_ = true;
}

void IGenAPI::destroyWrappers() {
    stopCalls();
    for (CGenAPINode* wrapper : wrappers_) delete wrapper;
    wrappers_.clear();
    callsStopped_ = false;
    names_.clear();
    root_ = nullptr;
    eventIds_.clear();
    eventFeatures_.clear();
    chunkIds_.clear();
}

void IGenAPI::releaseNodeMap() {
    clearMap();
    port_ = nullptr;
    portName_.clear();
    derivedFrom_ = nullptr;
}

// ---- lookups -------------------------------------------------------------------------------------
CGenAPINode* IGenAPI::getNode(const std::string& name) {
    CGenAPINode* node = names_.find(name);
    if (node == nullptr) fail("getNode '" + name + "' not found!");
    return node;
}

const genAPINodeMap& IGenAPI::getNodeMap() const {
    if (root_ == nullptr) fail("getNodeMap - Parser not available/initialized");
    return root_->GetNodeTree();
}

const genAPINodeMap& IGenAPI::getNodeMapFlat() const {
    if (root_ == nullptr) fail("getNodeMapFlat - Parser not available/initialized");
    return root_->GetNodeList();
}

const std::vector<CGenAPINode*>& IGenAPI::eventNodes(std::uint64_t eventId) const {
    const auto it = eventIds_.find(eventId);
    if (it == eventIds_.end()) fail("getEventMap for event ID '" + idText(eventId) + "' not found!");
    return it->second;
}

CGenAPINode* IGenAPI::eventFeature(std::uint64_t eventId) const {
    const auto it = eventFeatures_.find(eventId);
    return it == eventFeatures_.end() ? nullptr : it->second;
}

const std::vector<CGenAPINode*>* IGenAPI::chunkNodes(std::uint64_t chunkId) const {
    const auto it = chunkIds_.find(chunkId);
    return it == chunkIds_.end() ? nullptr : &it->second;
}

bool IGenAPI::takeReplacedFlag() {
    const bool replaced = replaced_;
    replaced_ = false;
    return replaced;
}

bool IGenAPI::noteFeatureWrite(const std::string& featureName) {
    return port_ == nullptr || port_->noteFeatureWrite(featureName);
}

// ---- derived maps --------------------------------------------------------------------------------
void IGenAPI::attachEventMap(IGenAPI* source, std::uint64_t eventId) { derive(source, eventId, false); }
void IGenAPI::attachChunkMap(IGenAPI* source, std::uint64_t chunkId) { derive(source, chunkId, true); }

void IGenAPI::derive(IGenAPI* source, std::uint64_t id, bool chunk) {
    if (source == nullptr || source->map_ == nullptr) fail("getNodeMap - Parser not available/initialized");
    if (derivedFrom_ == source && derivedId_ == id && derivedChunk_ == chunk &&
        derivedGeneration_ == source->generation_ && map_ != nullptr)
        return;
    if (chunk) {
        if (id != kWholeDescription && source->chunkNodes(id) == nullptr)
            fail("getChunkMap for chunk ID '" + idText(id) + "' not found!");
    } else {
        source->eventNodes(id);  // raises when the source has no port for that event
    }
    Parsed parsed;
    parsed.factory = source->factory_;
    buildStep([&] { parsed.map = parsed.factory.CreateNodeMap(kDeviceName, true); });
    xml_ = source->xml_;
    detachPort();
    port_ = nullptr;
    portName_.clear();
    install(std::move(parsed));
    derivedFrom_ = source;
    derivedId_ = id;
    derivedChunk_ = chunk;
    derivedGeneration_ = source->generation_;
}

// ---- event and chunk data ------------------------------------------------------------------------
void IGenAPI::deliverEvent(const std::uint8_t* data, std::uint32_t size, std::uint64_t eventId) {
    if (map_ == nullptr || data == nullptr || size == 0) return;
    try {
        if (!eventAdapter_) {
            eventAdapter_ = std::make_unique<genapi::CEventAdapterGeneric>();
            eventAdapter_->AttachNodeMap(map_.get());
        }
        eventAdapter_->DeliverMessage(data, size, eventId);
    } catch (const genapi::GenericException&) {
        // A malformed event must not stop the event thread; its features keep their last values.
    }
}

void IGenAPI::attachChunkBuffer(std::uint8_t* buffer, const genapi::SingleChunkData_t* chunks, std::int64_t count) {
    if (map_ == nullptr) return;
    try {
        if (!chunkAdapter_) {
            chunkAdapter_ = std::make_unique<genapi::CChunkAdapterGeneric>(nullptr, -1);
            chunkAdapter_->AttachNodeMap(map_.get());
        }
        chunkAdapter_->AttachBuffer(buffer, chunks, count, nullptr);
    } catch (const genapi::GenericException&) {
        // Chunks the map cannot take stay unattached; the image itself is still delivered.
    }
}

void IGenAPI::updateChunkBuffer(std::uint8_t* buffer) {
    if (!chunkAdapter_) return;
    try {
        chunkAdapter_->UpdateBuffer(buffer);
    } catch (const genapi::GenericException&) {
        // As for attaching: the buffer stays usable without its chunk features.
    }
}

void IGenAPI::detachChunkBuffer() {
    if (!chunkAdapter_) return;
    try {
        chunkAdapter_->DetachBuffer();
        chunkAdapter_->DetachNodeMap();
    } catch (const genapi::GenericException&) {
        // The adapter goes anyway.
    }
    chunkAdapter_.reset();
}

}  // namespace corvid2
