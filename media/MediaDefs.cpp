#include "tidewave/MediaDefs.h"

#include <cstddef>

#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaDefs", "tidewave.media.MediaDefs")

namespace Omvera {

namespace {

constexpr const char* s_szUNKNOWN_VALUE = "???";

int toLowerAscii(unsigned char in_ucChar) {
  return (in_ucChar >= 'A' && in_ucChar <= 'Z') ? in_ucChar - 'A' + 'a' : in_ucChar;
}

// Returns in_aTexts[in_iValue] when in_iValue indexes the table, else the fallback.
template <std::size_t N>
const char* textOf(const char* const (&in_aTexts)[N], std::int32_t in_iValue,
                   const char* in_szFallback) {
  if (in_iValue < 0 || static_cast<std::size_t>(in_iValue) >= N) return in_szFallback;
  return in_aTexts[in_iValue];
}

}  // namespace

int strcasecmp(const char* in_szLeft, const char* in_szRight) {
  if (in_szLeft == in_szRight) return 0;
  if (in_szLeft == nullptr) return -1;
  if (in_szRight == nullptr) return 1;
  const unsigned char* pLeft = reinterpret_cast<const unsigned char*>(in_szLeft);
  const unsigned char* pRight = reinterpret_cast<const unsigned char*>(in_szRight);
  for (;; ++pLeft, ++pRight) {
    const int iLeft = toLowerAscii(*pLeft);
    const int iRight = toLowerAscii(*pRight);
    if (iLeft != iRight || iLeft == 0) return iLeft - iRight;
  }
}

namespace Media {

namespace {

// Index = Transport value.
constexpr const char* s_aTRANSPORT_TEXTS[] = {"ctbus", "in-memory", "dummy", "undef"};

struct TransportName {
  const char* m_szText;
  Transport m_eTransport;
};

// Searched in this order; the first match wins.
constexpr TransportName s_aTRANSPORT_NAMES[] = {
    {"ctbus", eCTBUS_TRANSPORT},          {"in-memory", eIN_MEMORY_TRANSPORT},
    {"inmemory", eIN_MEMORY_TRANSPORT},   {"host-based", eIN_MEMORY_TRANSPORT},
    {"hostbased", eIN_MEMORY_TRANSPORT},  {"dummy", eDUMMY_TRANSPORT},
    {"dummy-rtp", eDUMMY_TRANSPORT},
};

// Index = StreamMode value. The first four are also the texts parsing accepts, in the
// order they are searched.
constexpr const char* s_aMODE_TEXTS[] = {"sendonly", "recvonly", "sendrecv",
                                         "inactive", "inactive", "undef"};
constexpr std::size_t s_uiNUM_PARSED_MODES = 4;

}  // namespace

const char* getMediaTransportString(Transport in_eTransport) {
  return textOf(s_aTRANSPORT_TEXTS, in_eTransport, s_szUNKNOWN_VALUE);
}

std::ostream& operator<<(std::ostream& out_stream, const Transport& in_eTransport) {
  return out_stream << getMediaTransportString(in_eTransport);
}

Transport parseMediaTransport(const char* in_szText) {
  if (in_szText == nullptr) return eUNDEF_TRANSPORT;
  for (const TransportName& name : s_aTRANSPORT_NAMES) {
    if (Omvera::strcasecmp(in_szText, name.m_szText) == 0) return name.m_eTransport;
  }
  return eUNDEF_TRANSPORT;
}

const char* getMediaModeString(StreamMode in_eMode) {
  return textOf(s_aMODE_TEXTS, in_eMode, s_szUNKNOWN_VALUE);
}

StreamMode parseMediaMode(const char* in_szText) {
  if (in_szText == nullptr) return eUNDEF_MODE;
  for (std::size_t i = 0; i < s_uiNUM_PARSED_MODES; ++i) {
    if (Omvera::strcasecmp(in_szText, s_aMODE_TEXTS[i]) == 0) return static_cast<StreamMode>(i);
  }
  return eUNDEF_MODE;
}

}  // namespace Media

std::ostream& operator<<(std::ostream& out_stream, const MediaEndpointCapacity& in_capacity) {
  bool bFirstEntry = true;
  for (const auto& entry : in_capacity) {
    if (!bFirstEntry) out_stream << std::endl;
    bFirstEntry = false;
    out_stream << entry.first << ' ';
    bool bFirstValue = true;
    for (const ParameterValue& value : entry.second) {
      if (!bFirstValue) out_stream << ' ';
      bFirstValue = false;
      out_stream << value;
    }
  }
  return out_stream;
}

const char* ToneDetector::getToneTypeString(ToneType in_eType) {
  static constexpr const char* s_aTEXTS[] = {
      "SPRINGWARE_CALL_PROGRESS_TONE", "HMP_CALL_PROGRESS_TONE", "CUSTOM_TONE_RELAY",
      "DISCONNECT_TONE",               "LOCAL_DIAL_TONE",        "INTERNATIONAL_DIAL_TONE",
      "EXTRA_DIAL_TONE",               "POST_AMD_TONE",          "HMP_PRE_CONNECT_REORDER_TONE",
      "UNDEF_TONE_TYPE"};
  return textOf(s_aTEXTS, in_eType, s_szUNKNOWN_VALUE);
}

const char* MediaEndpointProcessorObjectType::getObjectTypeString(ObjectType in_eType) {
  static constexpr const char* s_aTEXTS[] = {"eSIGNAL_DETECTOR", "ePLAYER", "eRECORDER",
                                             "eUNDEFINED_OBJECT_TYPE"};
  return textOf(s_aTEXTS, in_eType, s_szUNKNOWN_VALUE);
}

}  // namespace Omvera
