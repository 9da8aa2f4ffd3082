// SPDX-License-Identifier: BSD-3-Clause
// One interface of a system: identity and life cycle within its system's interface set.
#include "modules/interfaceobj.h"

#include "trace/trace.h"

namespace corvid2 {

CInterfaceObj::CInterfaceObj(CProducerObj* system, CGenTLProducer* producer, GenTL::TL_HANDLE tlHandle,
                             std::string id, const std::string& vendor)
    : CGenTLModule("InterfacePort", producer, vendor.c_str()), system_(system), tlHandle_(tlHandle),
      id_(std::move(id)) {
    traceName_ = "InterfaceObj";
    traceInfo("%s; ctor; %s", traceName_.c_str(), id_.c_str());
}

CInterfaceObj::~CInterfaceObj() { traceInfo("%s; dtor; %s", traceName_.c_str(), id_.c_str()); }

}  // namespace corvid2
