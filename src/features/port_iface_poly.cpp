// SPDX-License-Identifier: BSD-3-Clause
// Forwarding of the port operations of any module object to the port that its type designates.
#include "features/port_iface_poly.h"

#include <utility>

#include "features/port_iface.h"

namespace corvid2 {

using namespace GenTL;

namespace {
constexpr std::int32_t kNoPort = -1001;
}

template <class... Parameters, class... Arguments>
std::int32_t IPortIfacePoly::forward(std::int32_t (IPortIface::*operation)(Parameters...), Arguments&&... arguments) {
    IPortIface* port = portTarget();
    return port != nullptr ? (port->*operation)(std::forward<Arguments>(arguments)...) : kNoPort;
}

std::int32_t IPortIfacePoly::ReadPort(std::uint64_t address, void* buffer, size_t* size) {
    return forward(&IPortIface::ReadPort, address, buffer, size);
}
std::int32_t IPortIfacePoly::WritePort(std::uint64_t address, const void* buffer, size_t* size) {
    return forward(&IPortIface::WritePort, address, buffer, size);
}
std::int32_t IPortIfacePoly::GetPortURL(std::uint32_t index, std::string* url) {
    return forward(&IPortIface::GetPortURL, index, url);
}
std::int32_t IPortIfacePoly::GetNumPortURLs(std::uint32_t* count) {
    return forward(&IPortIface::GetNumPortURLs, count);
}
std::int32_t IPortIfacePoly::GetPortInfo(PORT_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    return forward(&IPortIface::GetPortInfo, command, type, buffer, size);
}
std::int32_t IPortIfacePoly::GetPortURLInfo(std::uint32_t index, URL_INFO_CMD command, INFO_DATATYPE* type,
                                            void* buffer, size_t* size) {
    return forward(&IPortIface::GetPortURLInfo, index, command, type, buffer, size);
}
std::int32_t IPortIfacePoly::ReadPortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return forward(&IPortIface::ReadPortStacked, entries, count);
}
std::int32_t IPortIfacePoly::WritePortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return forward(&IPortIface::WritePortStacked, entries, count);
}

}  // namespace corvid2
