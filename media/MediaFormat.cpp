// Audio format names, parsing, silence and G.711 buffer copies. The six buffer conversions
// live in G711.cpp, next to the tables they index.

#include "tidewave/MediaFormat.h"

#include <cstring>
#include <string>

#include "tidewave/MediaDefs.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaFormat", "tidewave.media.format")

namespace Omvera {
namespace Media {

namespace {

constexpr int s_iNUM_TYPES = 10;

// Index = Type value.
constexpr const char* s_aTYPE_NAMES[s_iNUM_TYPES] = {"pcmu", "pcma", "G721", "G722",   "G723",
                                                     "G726", "G729", "gsm",  "linear", "unknown"};

struct NamedType {
  const char* m_szName;
  Format::Type m_type;
};

// The names of the G group, searched in this order.
constexpr NamedType s_aG_GROUP[] = {{"G721", Format::eG721}, {"gsm", Format::eGSM},
                                    {"G723", Format::eG723}, {"G722", Format::eG722},
                                    {"G729", Format::eG729}};

constexpr unsigned char s_ucULAW_SILENCE = 0xFF;
constexpr unsigned char s_ucALAW_SILENCE = 0x55;

bool isListSeparator(char in_c) {
  return in_c == ',' || in_c == ' ' || in_c == '\t' || in_c == '\n' || in_c == '\v' ||
         in_c == '\f' || in_c == '\r';
}

}  // namespace

Format::Format(Type in_type) : m_type(eUNKNOWN), m_uiSamplingRate(0), m_uiChannelCount(0) {
  initFrom(in_type);
}

void Format::initFrom(Type in_type) {
  m_type = in_type;
  if (in_type == ePCMU || in_type == ePCMA) {
    m_uiSamplingRate = 8000;
    m_uiChannelCount = 1;
  } else if (in_type < 0 || in_type >= s_iNUM_TYPES) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "invalid media format type : " << static_cast<int>(in_type));
  }
}

const char* Format::getTypeString(Type in_type) {
  if (in_type < 0 || in_type >= s_iNUM_TYPES) return "MediaFormat_???";
  return s_aTYPE_NAMES[in_type];
}

Fallible<Format::Type> Format::parseTypeString(const char* in_szType) {
  if (in_szType == nullptr || in_szType[0] == '\0') return Fallible<Type>();
  switch (in_szType[0]) {
    case 'G':
    case 'g':
      for (const NamedType& named : s_aG_GROUP) {
        if (Omvera::strcasecmp(in_szType, named.m_szName) == 0) return named.m_type;
      }
      return Fallible<Type>();
    case 'L':
    case 'l':
      if (Omvera::strcasecmp(in_szType, "linear") == 0) return eLINEAR;
      return Fallible<Type>();
    case 'P':
    case 'p':
      if (Omvera::strcasecmp(in_szType, "pcmu") == 0) return ePCMU;
      if (Omvera::strcasecmp(in_szType, "pcma") == 0) return ePCMA;
      return Fallible<Type>();
    default:
      if (Omvera::strcasecmp(in_szType, "ulaw") == 0) return ePCMU;
      if (Omvera::strcasecmp(in_szType, "alaw") == 0) return ePCMA;
      return eUNKNOWN;
  }
}

bool Format::parseTypeListString(const char* in_szTypeList, std::vector<Type>& out_vTypes) {
  if (!Assertion(in_szTypeList != 0, "in_szTypeList != 0", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  bool bAppended = false;
  std::string strToken;
  const char* pCursor = in_szTypeList;
  while (*pCursor != '\0') {
    while (isListSeparator(*pCursor)) ++pCursor;
    if (*pCursor == '\0') break;
    const char* const pStart = pCursor;
    while (*pCursor != '\0' && !isListSeparator(*pCursor)) ++pCursor;
    strToken.assign(pStart, pCursor);
    const Fallible<Type> type = parseTypeString(strToken.c_str());
    if (type.failed()) return false;
    out_vTypes.push_back(type.getValue(s_szMODULE_NAME, __LINE__));
    bAppended = true;
  }
  return bAppended;
}

bool Format::parseTypeListString(const char* in_szTypeList, std::vector<Format>& out_vFormats) {
  std::vector<Type> vTypes;
  if (!parseTypeListString(in_szTypeList, vTypes)) return false;
  out_vFormats.resize(vTypes.size());
  for (std::size_t i = 0; i < vTypes.size(); ++i) out_vFormats[i].initFrom(vTypes[i]);
  return true;
}

void Format::fillAudioBufferWithSilence(unsigned char* out_pBuffer,
                                        unsigned long in_ulLength) const {
  unsigned char ucSilence;
  if (m_type == ePCMU) {
    ucSilence = s_ucULAW_SILENCE;
  } else if (m_type == ePCMA) {
    ucSilence = s_ucALAW_SILENCE;
  } else {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "Unsupported media format: '" << getTypeString(m_type) << "'. Only '"
                                             << getTypeString(ePCMU) << "' and '"
                                             << getTypeString(ePCMA) << "' are supported.");
    Assertion(false, "false && \"Unsupported media format.\"", fileScopeLogger(),
              s_szMODULE_NAME, __LINE__);
    return;
  }
  if (in_ulLength == 0) return;
  if (out_pBuffer == nullptr) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "Format::fillAudioBufferWithSilence : null buffer of length " << in_ulLength);
    return;
  }
  std::memset(out_pBuffer, ucSilence, in_ulLength);
}

unsigned char* Format::copyAudioBuffer(const unsigned char* in_pSrc, const Format& in_SrcFormat,
                                       unsigned char* out_pDst, const Format& in_DstFormat,
                                       unsigned long in_ulLength) {
  if (in_ulLength != 0 && (in_pSrc == nullptr || out_pDst == nullptr)) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "Format::copyAudioBuffer : null buffer for " << in_ulLength << " samples");
    return nullptr;
  }
  if (in_SrcFormat.m_type == in_DstFormat.m_type) {
    // memmove: the same buffer on both sides is allowed.
    if (in_ulLength != 0) std::memmove(out_pDst, in_pSrc, in_ulLength);
    return out_pDst;
  }
  if (in_SrcFormat.m_type == ePCMA && in_DstFormat.m_type == ePCMU) {
    return convert_alaw2ulaw(in_pSrc, out_pDst, in_ulLength);
  }
  if (in_SrcFormat.m_type == ePCMU && in_DstFormat.m_type == ePCMA) {
    return convert_ulaw2alaw(in_pSrc, out_pDst, in_ulLength);
  }
  Assertion(in_DstFormat.m_type == ePCMA || in_DstFormat.m_type == ePCMU ||
                in_SrcFormat.m_type == ePCMA || in_SrcFormat.m_type == ePCMU,
            "in_DstFormat.m_type == ePCMA || in_DstFormat.m_type == ePCMU || "
            "in_SrcFormat.m_type == ePCMA || in_SrcFormat.m_type == ePCMU",
            fileScopeLogger(), s_szMODULE_NAME, __LINE__);
  return nullptr;
}

}  // namespace Media
}  // namespace Omvera
