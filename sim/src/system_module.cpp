// SPDX-License-Identifier: BSD-3-Clause
// System module: interface enumeration and the simulator's own control registers.
#include "system_module.h"

#include <dlfcn.h>

#include <set>

#include "producer.h"
#include "xml_catalog.h"

namespace corvid2::sim {

namespace {
constexpr uint64_t kDescriptionAddress = 0xF0000000;

std::string transportType(const std::vector<SimInterface>& interfaces) {
    std::set<std::string> types;
    for (const auto& iface : interfaces) types.insert(iface.tlType);
    return types.size() == 1 ? *types.begin() : "Mixed";
}
}  // namespace

std::string producerPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&producerPath), &info) != 0 && info.dli_fname != nullptr) return info.dli_fname;
    return "corvid2_sim.cti";
}

InfoValue systemInfo(const Producer& producer, TL_INFO_CMD command) {
    const InfoTable table = {
        {TL_INFO_ID, [&] { return InfoValue::text(producer.config.systemId); }},
        {TL_INFO_VENDOR, [&] { return InfoValue::text(producer.config.vendor); }},
        {TL_INFO_MODEL, [] { return InfoValue::text("corvid2_sim"); }},
        {TL_INFO_VERSION, [] { return InfoValue::text("0.1.0"); }},
        {TL_INFO_TLTYPE, [&] { return InfoValue::text(transportType(producer.world->interfaces())); }},
        {TL_INFO_NAME,
         [] {
             const std::string path = producerPath();
             return InfoValue::text(path.substr(path.find_last_of('/') + 1));
         }},
        {TL_INFO_PATHNAME, [] { return InfoValue::text(producerPath()); }},
        {TL_INFO_DISPLAYNAME,
         [&] { return InfoValue::text(producer.config.vendor + " simulated cameras (corvid2_sim)"); }},
        {TL_INFO_CHAR_ENCODING, [] { return InfoValue::i32(TL_CHAR_ENCODING_ASCII); }},
        {TL_INFO_GENTL_VER_MAJOR, [] { return InfoValue::u32(GenTLMajorVersion); }},
        {TL_INFO_GENTL_VER_MINOR, [] { return InfoValue::u32(GenTLMinorVersion); }},
    };
    return lookupInfo(table, command);
}

SystemModule::SystemModule(Producer& producer)
    : producer_(producer),
      port_(PortIdentity{producer.config.systemId, producer.config.vendor, "corvid2_sim", "", "TLSystem", "TLPort"}),
      list_(producer.world->interfaces()) {
    const std::string xml = embeddedDescription("system.xml");
    port_.addLocalDescription("Corvid2SimSystem.xml",
                              std::make_shared<const std::vector<uint8_t>>(xml.begin(), xml.end()), kDescriptionAddress,
                              xml);
    RegisterMap& r = port_.registers();
    const auto text = [this](TL_INFO_CMD command) {
        return [this, command] {
            const InfoValue v = systemInfo(producer_, command);
            return std::string(reinterpret_cast<const char*>(v.bytes.data()));
        };
    };
    r.addText(0x000, 64, text(TL_INFO_VENDOR));
    r.addText(0x040, 64, text(TL_INFO_MODEL));
    r.addText(0x080, 64, text(TL_INFO_ID));
    r.addText(0x0C0, 64, text(TL_INFO_VERSION));
    r.addText(0x100, 64, text(TL_INFO_PATHNAME));
    r.addInt(0x200, 4, [this] {
        const std::string type = transportType(producer_.world->interfaces());
        return int64_t{type == "GEV" ? 1 : type == "U3V" ? 2 : type == "Mixed" ? 0 : 3};
    });
    r.addInt(0x204, 4, [] { return int64_t{GenTLMajorVersion}; });
    r.addInt(0x208, 4, [] { return int64_t{GenTLMinorVersion}; });
    r.addCommand(0x20C, [this] { updateInterfaceList(); });
    addListSelector(
        r, 0x210, 0x214, mutex_, selector_, [this] { return list_.size(); }, "no interface with this index");
    r.addText(0x240, 64, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return selector_ < list_.size() ? list_[selector_].id : std::string();
    });
    r.addText(0x280, 64, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return selector_ < list_.size() ? list_[selector_].tlType : std::string();
    });

    // Simulator control: a consumer drives faults and hot-plugging through ordinary feature access.
    r.addText(
        0x1000, 64,
        [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return faultFunction_;
        },
        [this](const std::string& name) {
            std::lock_guard<std::mutex> lock(mutex_);
            faultFunction_ = name;
        });
    r.addInt(
        0x1040, 4,
        [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return int64_t{faultCode_};
        },
        [this](int64_t v) {
            std::lock_guard<std::mutex> lock(mutex_);
            faultCode_ = static_cast<int32_t>(v);
        });
    r.addInt(
        0x1044, 4,
        [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return int64_t{faultCount_};
        },
        [this](int64_t v) {
            if (v < 1) fail(GC_ERR_INVALID_VALUE, "at least one failing call");
            std::lock_guard<std::mutex> lock(mutex_);
            faultCount_ = static_cast<uint32_t>(v);
        });
    r.addCommand(0x1048, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        producer_.faults.arm(faultFunction_, faultCode_, faultCount_);
    });
    r.addInt(
        0x104C, 4, [this] { return int64_t{producer_.incompleteEvery}; },
        [this](int64_t v) { producer_.incompleteEvery = static_cast<uint32_t>(std::max<int64_t>(v, 0)); });
    r.addInt(
        0x1050, 4, [this] { return int64_t{producer_.frameDelayUs}; },
        [this](int64_t v) { producer_.frameDelayUs = static_cast<uint32_t>(std::max<int64_t>(v, 0)); });
    r.addText(
        0x1080, 64, [] { return std::string(); }, [this](const std::string& id) { plug(id, false); });
    r.addText(
        0x10C0, 64, [] { return std::string(); }, [this](const std::string& id) { plug(id, true); });
    r.addInt(0x1100, 8, [this] { return static_cast<int64_t>(producer_.world->framesGenerated()); });
    // Reading gives the timeouts of the latest EventGetData calls; writing anything clears them.
    r.addText(
        0x11C0, 256, [this] { return producer_.eventWaitLog(); },
        [this](const std::string&) { producer_.clearEventWaitLog(); });
    // Interfaces come and go at run time too; TLUpdateInterfaceList shows the change.
    r.addText(
        0x1140, 64, [] { return std::string(); },
        [this](const std::string& id) {
            if (!id.empty()) producer_.world->removeInterface(id);
        });
    r.addText(
        0x1180, 64, [] { return std::string(); },
        [this](const std::string& id) {
            if (!id.empty()) producer_.world->addInterface(id);
        });
}

void SystemModule::plug(const std::string& deviceId, bool in) {
    if (deviceId.empty()) return;
    const World::Change change = in ? producer_.world->plug(deviceId) : producer_.world->unplug(deviceId);
    std::shared_ptr<InterfaceModule> iface;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = open_.find(change.interfaceId);
        if (it != open_.end()) iface = it->second;
    }
    if (iface) iface->plugChanged(change.camera, in);
}

InfoValue SystemModule::info(TL_INFO_CMD command) const { return systemInfo(producer_, command); }

uint32_t SystemModule::interfaceCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(list_.size());
}

std::string SystemModule::interfaceId(uint32_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= list_.size()) fail(GC_ERR_INVALID_INDEX, "no interface with this index");
    return list_[index].id;
}

InfoValue SystemModule::interfaceInfo(const std::string& id, INTERFACE_INFO_CMD command) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& iface : list_)
        if (iface.id == id) return sim::interfaceInfo(iface, command);
    fail(GC_ERR_INVALID_ID, "no interface " + id);
}

bool SystemModule::updateInterfaceList() {
    std::vector<SimInterface> fresh = producer_.world->interfaces();
    std::lock_guard<std::mutex> lock(mutex_);
    bool changed = fresh.size() != list_.size();
    for (size_t i = 0; !changed && i < fresh.size(); ++i) changed = fresh[i].id != list_[i].id;
    list_ = std::move(fresh);
    if (selector_ >= list_.size()) selector_ = 0;
    return changed;
}

std::shared_ptr<InterfaceModule> SystemModule::openInterface(const std::string& id) {
    std::shared_ptr<InterfaceModule> iface;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = std::find_if(list_.begin(), list_.end(), [&](const SimInterface& i) { return i.id == id; });
        if (it == list_.end()) fail(GC_ERR_INVALID_ID, "no interface " + id + " in the interface list");
        if (open_.count(id) != 0) fail(GC_ERR_RESOURCE_IN_USE, "interface already open");
        iface = std::make_shared<InterfaceModule>(producer_, *it, handle());
        open_[id] = iface;
    }
    producer_.registry.add(iface);
    return iface;
}

void SystemModule::interfaceClosed(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(id);
}

std::vector<void*> SystemModule::close() { return closeWithChildren(mutex_, open_); }

}  // namespace corvid2::sim
