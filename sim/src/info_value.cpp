// SPDX-License-Identifier: BSD-3-Clause
// Delivery of info values and the per-thread last error.
#include "info_value.h"

namespace corvid2::sim {

namespace {
struct LastError {
  GC_ERROR code = GC_ERR_SUCCESS;
  std::string text = "No Error";
};
thread_local LastError tLastError;
}  // namespace

void setLastError(GC_ERROR code, const std::string& text) {
  tLastError.code = code;
  tLastError.text = text;
}
GC_ERROR lastErrorCode() { return tLastError.code; }
const std::string& lastErrorText() { return tLastError.text; }

void deliverInfo(const InfoValue& value, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  requireOut(piSize, "piSize");
  requireOut(piType, "piType");
  if (pBuffer != nullptr) {
    if (*piSize < value.bytes.size()) fail(GC_ERR_BUFFER_TOO_SMALL, "buffer too small for the value");
    std::memcpy(pBuffer, value.bytes.data(), value.bytes.size());
  }
  *piType = value.type;
  *piSize = value.bytes.size();
}

void deliverText(const std::string& text, char* pBuffer, size_t* piSize) {
  requireOut(piSize, "piSize");
  const size_t needed = text.size() + 1;
  if (pBuffer != nullptr) {
    if (*piSize < needed) fail(GC_ERR_BUFFER_TOO_SMALL, "buffer too small for the text");
    std::memcpy(pBuffer, text.c_str(), needed);
  }
  *piSize = needed;
}

InfoValue lookupInfo(const InfoTable& table, int32_t command) {
  const auto it = table.find(command);
  if (it == table.end()) fail(GC_ERR_NOT_IMPLEMENTED, "info command " + std::to_string(command) + " not implemented");
  return it->second();
}

}  // namespace corvid2::sim
