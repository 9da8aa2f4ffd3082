// SPDX-License-Identifier: BSD-3-Clause
// Forwarding of the port operations of any module object to the port that its type designates.
#include "features/port_iface_poly.h"

#include <utility>

#include "features/port_iface.h"

namespace corvid2 {

using namespace GenTL;

namespace {}

template <class... Parameters, class... Arguments>
Result IPortIfacePoly::forward(Result (IPortIface::*operation)(Parameters...), Arguments&&... arguments) {
    IPortIface* port = portTarget();
    return port != nullptr ? (port->*operation)(std::forward<Arguments>(arguments)...) : Result::Error;
}

Result IPortIfacePoly::ReadPort(std::uint64_t address, void* buffer, size_t* size) {
    return forward(&IPortIface::ReadPort, address, buffer, size);
}
Result IPortIfacePoly::WritePort(std::uint64_t address, const void* buffer, size_t* size) {
    return forward(&IPortIface::WritePort, address, buffer, size);
}
Result IPortIfacePoly::GetPortURL(std::uint32_t index, std::string* url) {
    return forward(&IPortIface::GetPortURL, index, url);
}
Result IPortIfacePoly::GetNumPortURLs(std::uint32_t* count) { return forward(&IPortIface::GetNumPortURLs, count); }
Result IPortIfacePoly::GetPortInfo(PORT_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    return forward(&IPortIface::GetPortInfo, command, type, buffer, size);
}
Result IPortIfacePoly::GetPortURLInfo(std::uint32_t index, URL_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                      size_t* size) {
    return forward(&IPortIface::GetPortURLInfo, index, command, type, buffer, size);
}
Result IPortIfacePoly::ReadPortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return forward(&IPortIface::ReadPortStacked, entries, count);
}
Result IPortIfacePoly::WritePortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
    return forward(&IPortIface::WritePortStacked, entries, count);
}

}  // namespace corvid2
