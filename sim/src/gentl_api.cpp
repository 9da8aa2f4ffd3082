// SPDX-License-Identifier: BSD-3-Clause
// GenTL functions over the module objects: handle checks, argument checks and the size conventions.
#include "gentl_api.h"

#include <cstring>

#include "data_stream.h"
#include "device_module.h"
#include "interface_module.h"
#include "producer.h"
#include "system_module.h"

namespace corvid2::sim::api {

namespace {
Producer& producer() { return Producer::instance(); }

template <typename T>
std::shared_ptr<T> lookup(void* handle, std::initializer_list<HandleKind> kinds) {
    return producer().registry.get<T>(handle, kinds);
}
std::shared_ptr<SystemModule> systemOf(TL_HANDLE h) { return lookup<SystemModule>(h, {HandleKind::System}); }
std::shared_ptr<InterfaceModule> interfaceOf(IF_HANDLE h) {
    return lookup<InterfaceModule>(h, {HandleKind::Interface});
}
std::shared_ptr<DeviceModule> deviceOf(DEV_HANDLE h) { return lookup<DeviceModule>(h, {HandleKind::Device}); }
std::shared_ptr<DataStream> streamOf(DS_HANDLE h) { return lookup<DataStream>(h, {HandleKind::DataStream}); }
std::shared_ptr<EventHandle> eventOf(EVENT_HANDLE h) { return lookup<EventHandle>(h, {HandleKind::Event}); }
std::shared_ptr<Module> moduleOf(void* h) {
    return lookup<Module>(h, {HandleKind::System, HandleKind::Interface, HandleKind::Device, HandleKind::RemoteDevice,
                              HandleKind::DataStream, HandleKind::Buffer});
}
std::shared_ptr<BufferObject> bufferOf(const DataStream& stream, BUFFER_HANDLE h) {
    auto buffer = lookup<BufferObject>(h, {HandleKind::Buffer});
    stream.requireOwn(*buffer);
    return buffer;
}
const char* requireText(const char* text, const char* name) {
    if (text == nullptr) fail(GC_ERR_INVALID_PARAMETER, std::string(name) + " is null");
    return text;
}
void forget(const std::vector<void*>& handles) {
    for (void* h : handles) producer().registry.remove(h);
}
}  // namespace

// ---- library ----

void GCInitLib() {
    Producer& p = producer();
    std::lock_guard<std::mutex> lock(p.lifecycle);
    if (p.initialized) fail(GC_ERR_RESOURCE_IN_USE, "GCInitLib called twice without GCCloseLib");
    SimConfig config = SimConfig::fromEnvironment();
    p.faults.clear();
    p.faults.armFromText(config.faults);
    const GC_ERROR injected = p.faults.take("GCInitLib");
    if (injected != GC_ERR_SUCCESS) fail(injected, "injected fault in GCInitLib");
    p.config = config;
    p.world = std::make_unique<World>(p.config);
    p.incompleteEvery = config.incompleteEvery;
    p.frameDelayUs = config.frameDelayUs;
    p.initialized = true;
    p.trace(2, "GCInitLib; vendor " + p.config.vendor);
}

void GCCloseLib() {
    Producer& p = producer();
    std::lock_guard<std::mutex> lock(p.lifecycle);
    if (p.system) {
        p.system->close();
        p.system.reset();
    }
    p.registry.clear();
    p.world.reset();
    p.initialized = false;
}

void GCGetInfo(TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(systemInfo(producer(), iInfoCmd), piType, pBuffer, piSize);
}

void GCGetLastError(GC_ERROR* piErrorCode, char* sErrorText, size_t* piSize) {
    requireOut(piErrorCode, "piErrorCode");
    const GC_ERROR code = lastErrorCode();
    const std::string text = lastErrorText();
    deliverText(text, sErrorText, piSize);
    *piErrorCode = code;
}

// ---- system ----

void TLOpen(TL_HANDLE* phSystem) {
    requireOut(phSystem, "phSystem");
    Producer& p = producer();
    std::lock_guard<std::mutex> lock(p.lifecycle);
    if (p.system) fail(GC_ERR_RESOURCE_IN_USE, "the system module is already open");
    p.system = std::make_shared<SystemModule>(p);
    *phSystem = p.registry.add(p.system);
}

void TLClose(TL_HANDLE hSystem) {
    Producer& p = producer();
    const auto system = systemOf(hSystem);
    std::lock_guard<std::mutex> lock(p.lifecycle);
    forget(system->close());
    p.registry.remove(hSystem);
    p.system.reset();
}

void TLGetInfo(TL_HANDLE hSystem, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(systemOf(hSystem)->info(iInfoCmd), piType, pBuffer, piSize);
}

void TLGetNumInterfaces(TL_HANDLE hSystem, uint32_t* piNumIfaces) {
    const auto system = systemOf(hSystem);
    *requireOut(piNumIfaces, "piNumIfaces") = system->interfaceCount();
}

void TLGetInterfaceID(TL_HANDLE hSystem, uint32_t iIndex, char* sIfaceID, size_t* piSize) {
    deliverText(systemOf(hSystem)->interfaceId(iIndex), sIfaceID, piSize);
}

void TLGetInterfaceInfo(TL_HANDLE hSystem, const char* sIfaceID, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                        void* pBuffer, size_t* piSize) {
    const auto system = systemOf(hSystem);
    deliverInfo(system->interfaceInfo(requireText(sIfaceID, "sIfaceID"), iInfoCmd), piType, pBuffer, piSize);
}

void TLOpenInterface(TL_HANDLE hSystem, const char* sIfaceID, IF_HANDLE* phIface) {
    const auto system = systemOf(hSystem);
    requireOut(phIface, "phIface");
    *phIface = system->openInterface(requireText(sIfaceID, "sIfaceID"))->handle();
}

void TLUpdateInterfaceList(TL_HANDLE hSystem, bool8_t* pbChanged, uint64_t) {
    const bool changed = systemOf(hSystem)->updateInterfaceList();
    if (pbChanged != nullptr) *pbChanged = changed;
}

// ---- interface ----

void IFClose(IF_HANDLE hIface) {
    const auto iface = interfaceOf(hIface);
    forget(iface->close());
    if (auto system = std::dynamic_pointer_cast<SystemModule>(producer().registry.find(iface->systemHandle())))
        system->interfaceClosed(iface->id());
    producer().registry.remove(hIface);
}

void IFGetInfo(IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(interfaceOf(hIface)->info(iInfoCmd), piType, pBuffer, piSize);
}

void IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices) {
    const auto iface = interfaceOf(hIface);
    *requireOut(piNumDevices, "piNumDevices") = iface->deviceCount();
}

void IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sDeviceID, size_t* piSize) {
    deliverText(interfaceOf(hIface)->deviceId(iIndex), sDeviceID, piSize);
}

void IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                     void* pBuffer, size_t* piSize) {
    const auto iface = interfaceOf(hIface);
    deliverInfo(iface->deviceInfo(requireText(sDeviceID, "sDeviceID"), iInfoCmd), piType, pBuffer, piSize);
}

void IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID, DEVICE_ACCESS_FLAGS iOpenFlag, DEV_HANDLE* phDevice) {
    const auto iface = interfaceOf(hIface);
    requireOut(phDevice, "phDevice");
    *phDevice = iface->openDevice(requireText(sDeviceID, "sDeviceID"), iOpenFlag)->handle();
}

void IFUpdateDeviceList(IF_HANDLE hIface, bool8_t* pbChanged, uint64_t) {
    const bool changed = interfaceOf(hIface)->updateDeviceList();
    if (pbChanged != nullptr) *pbChanged = changed;
}

void IFGetParentTL(IF_HANDLE hIface, TL_HANDLE* phSystem) {
    const auto iface = interfaceOf(hIface);
    *requireOut(phSystem, "phSystem") = iface->systemHandle();
}

// ---- device ----

void DevClose(DEV_HANDLE hDevice) {
    const auto device = deviceOf(hDevice);
    forget(device->close());
    if (auto iface = device->parent()) iface->deviceClosed(device->camera()->identity().id);
    producer().registry.remove(hDevice);
}

void DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(deviceOf(hDevice)->info(iInfoCmd), piType, pBuffer, piSize);
}

void DevGetNumDataStreams(DEV_HANDLE hDevice, uint32_t* piNumDataStreams) {
    deviceOf(hDevice);
    *requireOut(piNumDataStreams, "piNumDataStreams") = 1;
}

void DevGetDataStreamID(DEV_HANDLE hDevice, uint32_t iIndex, char* sDataStreamID, size_t* piSize) {
    deliverText(deviceOf(hDevice)->streamId(iIndex), sDataStreamID, piSize);
}

void DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID, DS_HANDLE* phDataStream) {
    const auto device = deviceOf(hDevice);
    requireOut(phDataStream, "phDataStream");
    *phDataStream = device->openStream(requireText(sDataStreamID, "sDataStreamID"))->handle();
}

void DevGetPort(DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDev) {
    const auto device = deviceOf(hDevice);
    *requireOut(phRemoteDev, "phRemoteDev") = device->remotePortHandle();
}

void DevGetParentIF(DEV_HANDLE hDevice, IF_HANDLE* phIface) {
    const auto device = deviceOf(hDevice);
    requireOut(phIface, "phIface");
    const auto iface = device->parent();
    if (!iface) fail(GC_ERR_INVALID_HANDLE, "the interface of this device is closed");
    *phIface = iface->handle();
}

// ---- data stream ----

void DSClose(DS_HANDLE hDataStream) {
    const auto stream = streamOf(hDataStream);
    forget(stream->close());
    if (auto device = std::dynamic_pointer_cast<DeviceModule>(producer().registry.find(stream->parentHandle())))
        device->streamClosed();
    producer().registry.remove(hDataStream);
}

void DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice) {
    const auto stream = streamOf(hDataStream);
    *requireOut(phDevice, "phDevice") = stream->parentHandle();
}

void DSAnnounceBuffer(DS_HANDLE hDataStream, void* pBuffer, size_t iSize, void* pPrivate, BUFFER_HANDLE* phBuffer) {
    const auto stream = streamOf(hDataStream);
    if (pBuffer == nullptr || iSize == 0) fail(GC_ERR_INVALID_PARAMETER, "no buffer memory");
    requireOut(phBuffer, "phBuffer");
    const auto buffer = stream->announce({{static_cast<uint8_t*>(pBuffer), iSize}}, {}, pPrivate, false);
    *phBuffer = producer().registry.add(buffer);
}

void DSAllocAndAnnounceBuffer(DS_HANDLE hDataStream, size_t iBufferSize, void* pPrivate, BUFFER_HANDLE* phBuffer) {
    const auto stream = streamOf(hDataStream);
    if (iBufferSize == 0 || iBufferSize > (size_t{1} << 31)) fail(GC_ERR_INVALID_PARAMETER, "unreasonable buffer size");
    requireOut(phBuffer, "phBuffer");
    *phBuffer = producer().registry.add(stream->allocate(iBufferSize, pPrivate));
}

void DSAnnounceCompositeBuffer(DS_HANDLE hDataStream, size_t iNumSegments, void** ppSegments, size_t* piSizes,
                               void* pPrivate, BUFFER_HANDLE* phBuffer) {
    const auto stream = streamOf(hDataStream);
    if (iNumSegments == 0 || iNumSegments > 64 || ppSegments == nullptr || piSizes == nullptr)
        fail(GC_ERR_INVALID_PARAMETER, "no segments");
    requireOut(phBuffer, "phBuffer");
    std::vector<BufferObject::Segment> segments;
    for (size_t i = 0; i < iNumSegments; ++i) {
        if (ppSegments[i] == nullptr || piSizes[i] == 0) fail(GC_ERR_INVALID_PARAMETER, "empty segment");
        segments.push_back({static_cast<uint8_t*>(ppSegments[i]), piSizes[i]});
    }
    *phBuffer = producer().registry.add(stream->announce(std::move(segments), {}, pPrivate, true));
}

void DSRevokeBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, void** ppBuffer, void** ppPrivate) {
    const auto stream = streamOf(hDataStream);
    const auto buffer = bufferOf(*stream, hBuffer);
    stream->revoke(buffer, ppBuffer, ppPrivate);
    producer().registry.remove(hBuffer);
}

void DSQueueBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer) {
    const auto stream = streamOf(hDataStream);
    stream->queue(bufferOf(*stream, hBuffer));
}

void DSGetBufferID(DS_HANDLE hDataStream, uint32_t iIndex, BUFFER_HANDLE* phBuffer) {
    const auto stream = streamOf(hDataStream);
    *requireOut(phBuffer, "phBuffer") = stream->bufferAt(iIndex)->handle();
}

void DSFlushQueue(DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation) { streamOf(hDataStream)->flush(iOperation); }

void DSStartAcquisition(DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags, uint64_t iNumToAcquire) {
    streamOf(hDataStream)->start(iStartFlags, iNumToAcquire);
    producer().trace(2, "DSStartAcquisition");
}

void DSStopAcquisition(DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags) {
    streamOf(hDataStream)->stop(iStopFlags);
    producer().trace(2, "DSStopAcquisition");
}

void DSGetInfo(DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(streamOf(hDataStream)->info(iInfoCmd), piType, pBuffer, piSize);
}

void DSGetBufferInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                     void* pBuffer, size_t* piSize) {
    const auto stream = streamOf(hDataStream);
    deliverInfo(stream->bufferInfo(*bufferOf(*stream, hBuffer), iInfoCmd), piType, pBuffer, piSize);
}

void DSGetBufferInfoStacked(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, DS_BUFFER_INFO_STACKED* pInfoStacked,
                            size_t iNumInfos) {
    const auto stream = streamOf(hDataStream);
    const auto buffer = bufferOf(*stream, hBuffer);
    if (pInfoStacked == nullptr && iNumInfos != 0) fail(GC_ERR_INVALID_PARAMETER, "pInfoStacked is null");
    stream->bufferInfoStacked(*buffer, pInfoStacked, iNumInfos);
}

void DSGetBufferChunkData(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, SINGLE_CHUNK_DATA* pChunkData,
                          size_t* piNumChunks) {
    const auto stream = streamOf(hDataStream);
    const auto buffer = bufferOf(*stream, hBuffer);
    requireOut(piNumChunks, "piNumChunks");
    const std::vector<ChunkEntry> chunks = stream->chunks(*buffer);
    if (pChunkData != nullptr) {
        if (*piNumChunks < chunks.size()) fail(GC_ERR_BUFFER_TOO_SMALL, "room for fewer chunks than the buffer has");
        for (size_t i = 0; i < chunks.size(); ++i)
            pChunkData[i] = SINGLE_CHUNK_DATA{chunks[i].id, static_cast<ptrdiff_t>(chunks[i].offset), chunks[i].length};
    }
    *piNumChunks = chunks.size();
}

void DSGetNumBufferParts(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumParts) {
    const auto stream = streamOf(hDataStream);
    const auto buffer = bufferOf(*stream, hBuffer);
    *requireOut(piNumParts, "piNumParts") = stream->partCount(*buffer);
}

void DSGetBufferPartInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t iPartIndex,
                         BUFFER_PART_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    const auto stream = streamOf(hDataStream);
    deliverInfo(stream->partInfo(*bufferOf(*stream, hBuffer), iPartIndex, iInfoCmd), piType, pBuffer, piSize);
}

void DSGetBufferPartInfoStacked(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, DS_BUFFER_PART_INFO_STACKED* pInfoStacked,
                                size_t iNumInfos) {
    const auto stream = streamOf(hDataStream);
    const auto buffer = bufferOf(*stream, hBuffer);
    if (pInfoStacked == nullptr && iNumInfos != 0) fail(GC_ERR_INVALID_PARAMETER, "pInfoStacked is null");
    for (size_t i = 0; i < iNumInfos; ++i) {
        DS_BUFFER_PART_INFO_STACKED& entry = pInfoStacked[i];
        try {
            size_t size = entry.iSize;
            INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
            deliverInfo(stream->partInfo(*buffer, entry.iPartIndex, entry.iInfoCmd), &type, entry.pBuffer, &size);
            entry.iType = type;
            entry.iSize = size;
            entry.iResult = GC_ERR_SUCCESS;
        } catch (const SimError& e) {
            entry.iResult = e.code();
        }
    }
}

void DSGetNumFlows(DS_HANDLE hDataStream, uint32_t* piNumFlows) {
    streamOf(hDataStream);
    *requireOut(piNumFlows, "piNumFlows") = 0;
}

void DSGetFlowInfo(DS_HANDLE hDataStream, uint32_t, FLOW_INFO_CMD, INFO_DATATYPE*, void*, size_t*) {
    streamOf(hDataStream);
    fail(GC_ERR_INVALID_INDEX, "the stream has no flows");
}

void DSGetNumBufferSegments(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumSegments) {
    const auto stream = streamOf(hDataStream);
    const auto buffer = bufferOf(*stream, hBuffer);
    *requireOut(piNumSegments, "piNumSegments") = stream->segmentCount(*buffer);
}

void DSGetBufferSegmentInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t iSegmentIndex,
                            SEGMENT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    const auto stream = streamOf(hDataStream);
    deliverInfo(stream->segmentInfo(*bufferOf(*stream, hBuffer), iSegmentIndex, iInfoCmd), piType, pBuffer, piSize);
}

// ---- ports ----

void GCGetPortInfo(PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(moduleOf(hPort)->requirePort().info(iInfoCmd), piType, pBuffer, piSize);
}

// Every location, as consecutive zero-terminated texts (the form GenTL 1.0 consumers read).
void GCGetPortURL(PORT_HANDLE hPort, char* sURL, size_t* piSize) {
    Port& port = moduleOf(hPort)->requirePort();
    if (port.urlCount() == 0) fail(GC_ERR_NOT_AVAILABLE, "the port has no description");
    std::string block;
    for (uint32_t index = 0; index < port.urlCount(); ++index) {
        if (index > 0) block.push_back('\0');
        block += port.location(index).url;
    }
    deliverText(block, sURL, piSize);
}

void GCGetNumPortURLs(PORT_HANDLE hPort, uint32_t* piNumURLs) {
    Port& port = moduleOf(hPort)->requirePort();
    *requireOut(piNumURLs, "piNumURLs") = port.urlCount();
}

void GCGetPortURLInfo(PORT_HANDLE hPort, uint32_t iURLIndex, URL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                      void* pBuffer, size_t* piSize) {
    deliverInfo(moduleOf(hPort)->requirePort().urlInfo(iURLIndex, iInfoCmd), piType, pBuffer, piSize);
}

void GCReadPort(PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer, size_t* piSize) {
    const auto module = moduleOf(hPort);
    requireOut(piSize, "piSize");
    if (pBuffer == nullptr) fail(GC_ERR_INVALID_PARAMETER, "pBuffer is null");
    module->readPort(iAddress, pBuffer, *piSize);
}

void GCWritePort(PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer, size_t* piSize) {
    const auto module = moduleOf(hPort);
    requireOut(piSize, "piSize");
    if (pBuffer == nullptr) fail(GC_ERR_INVALID_PARAMETER, "pBuffer is null");
    module->writePort(iAddress, pBuffer, *piSize);
}

// Stacked accesses stop at the first failure; *piNumEntries then says how many were done.
void GCReadPortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries, size_t* piNumEntries) {
    const auto module = moduleOf(hPort);
    requireOut(piNumEntries, "piNumEntries");
    if (pEntries == nullptr && *piNumEntries != 0) fail(GC_ERR_INVALID_PARAMETER, "pEntries is null");
    const size_t count = *piNumEntries;
    for (size_t i = 0; i < count; ++i) {
        if (pEntries[i].pBuffer == nullptr) *piNumEntries = i, fail(GC_ERR_INVALID_PARAMETER, "entry without buffer");
        try {
            module->readPort(pEntries[i].Address, pEntries[i].pBuffer, pEntries[i].Size);
        } catch (...) {
            *piNumEntries = i;
            throw;
        }
    }
}

void GCWritePortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries, size_t* piNumEntries) {
    const auto module = moduleOf(hPort);
    requireOut(piNumEntries, "piNumEntries");
    if (pEntries == nullptr && *piNumEntries != 0) fail(GC_ERR_INVALID_PARAMETER, "pEntries is null");
    const size_t count = *piNumEntries;
    for (size_t i = 0; i < count; ++i) {
        if (pEntries[i].pBuffer == nullptr) *piNumEntries = i, fail(GC_ERR_INVALID_PARAMETER, "entry without buffer");
        try {
            module->writePort(pEntries[i].Address, pEntries[i].pBuffer, pEntries[i].Size);
        } catch (...) {
            *piNumEntries = i;
            throw;
        }
    }
}

// ---- events ----

void GCRegisterEvent(EVENTSRC_HANDLE hModule, EVENT_TYPE iEventID, EVENT_HANDLE* phEvent) {
    const auto module = moduleOf(hModule);
    if (module->handleKind() == HandleKind::RemoteDevice)
        fail(GC_ERR_INVALID_HANDLE, "events are registered on the device module");
    requireOut(phEvent, "phEvent");
    *phEvent = producer().registry.add(module->registerEvent(iEventID));
}

void GCUnregisterEvent(EVENTSRC_HANDLE hModule, EVENT_TYPE iEventID) {
    const auto event = moduleOf(hModule)->unregisterEvent(iEventID);
    if (!event) fail(GC_ERR_NOT_AVAILABLE, "event type not registered on this module");
    producer().registry.remove(event->handle());
}

void EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize, uint64_t iTimeout) {
    const auto event = eventOf(hEvent);
    if (event->type() == EVENT_NEW_BUFFER) producer().logEventWait(iTimeout);
    event->get(pBuffer, piSize, iTimeout);
}

void EventGetDataInfo(EVENT_HANDLE hEvent, const void* pInBuffer, size_t iInSize, EVENT_DATA_INFO_CMD iInfoCmd,
                      INFO_DATATYPE* piType, void* pOutBuffer, size_t* piOutSize) {
    deliverInfo(eventOf(hEvent)->dataInfo(pInBuffer, iInSize, iInfoCmd), piType, pOutBuffer, piOutSize);
}

void EventGetInfo(EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    deliverInfo(eventOf(hEvent)->info(iInfoCmd), piType, pBuffer, piSize);
}

void EventFlush(EVENT_HANDLE hEvent) { eventOf(hEvent)->flush(); }

void EventKill(EVENT_HANDLE hEvent) { eventOf(hEvent)->kill(); }

}  // namespace corvid2::sim::api
