// SPDX-License-Identifier: BSD-3-Clause
// The remote device: the camera's port and node map.
#include "modules/remotedeviceobj.h"

#include "modules/deviceobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

CRemoteDeviceObj::CRemoteDeviceObj(CDeviceObj& device)
    : CGenTLModule("Device", device.getProducer(), device.vendor().c_str()), device_(device) {
    setTraceName(kTraceName);
}

CRemoteDeviceObj::~CRemoteDeviceObj() { releaseNodeMap(); }

Result CRemoteDeviceObj::setPort(PORT_HANDLE port, const std::string* description) {
    static constexpr char kOperation[] = "setPort";
    port_ = port;
    if (const GC_ERROR code = initPort(port); code != GC_ERR_SUCCESS)
        traceWarning(
            "%s; setHandle; Port interface not initialized %d. Maybe the access to GenICam nodes not possible.",
            traceName().c_str(), code);
    if (const Result code = initializeNodeInterface(description); code != Result::Success)
        return failed(code, kOperation, "Node interface not initialized %d", toCode(code));
    return Result::Success;
}

}  // namespace corvid2
