// SPDX-License-Identifier: BSD-3-Clause
// IPortIfacePoly: the eight port operations offered on any module object, forwarded to its port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/result_codes.h"
#include "gentl.h"

namespace corvid2 {

class IPortIface;

// Module objects carry their own port; image objects hold another object's. Each answers through
// portTarget(), so the object's dynamic type picks the port. An object without port gets Error and
// no call is made.
class IPortIfacePoly {
public:
    virtual ~IPortIfacePoly() = default;

    Result ReadPort(std::uint64_t address, void* buffer, size_t* size);
    Result WritePort(std::uint64_t address, const void* buffer, size_t* size);
    Result GetPortURL(std::uint32_t index, std::string* url);
    Result GetNumPortURLs(std::uint32_t* count);
    Result GetPortInfo(GenTL::PORT_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    Result GetPortURLInfo(std::uint32_t index, GenTL::URL_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer,
                          size_t* size);
    Result ReadPortStacked(GenTL::PORT_REGISTER_STACK_ENTRY* entries, size_t* count);
    Result WritePortStacked(GenTL::PORT_REGISTER_STACK_ENTRY* entries, size_t* count);

protected:
    virtual IPortIface* portTarget() { return nullptr; }

private:
    template <class... Parameters, class... Arguments>
    Result forward(Result (IPortIface::*operation)(Parameters...), Arguments&&... arguments);
};

}  // namespace corvid2
