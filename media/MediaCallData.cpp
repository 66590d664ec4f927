#include "tidewave/MediaCallData.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaCallData", "tidewave.media.CallData")

namespace Omvera {

// MediaCallEndpointData ----------------------------------------------------------------

MediaCallEndpointData::MediaCallEndpointData()
    : m_uiEptIndex(0),
      m_eptType(MediaEndpointSpec::eUNDEF_EPT_TYPE),
      m_bRxStarted(false),
      m_bTxStopped(true) {}

MediaCallEndpointData::MediaCallEndpointData(unsigned long in_uiEptIndex,
                                             const std::string& in_strEptId,
                                             MediaEndpointSpec::EptType in_eptType)
    : m_uiEptIndex(in_uiEptIndex),
      m_strEptId(in_strEptId),
      m_eptType(in_eptType),
      m_bRxStarted(false),
      m_bTxStopped(true) {}

MediaCallEndpointData::~MediaCallEndpointData() = default;

MediaCallEndpointData* MediaCallEndpointData::clone() const {
  return new MediaCallEndpointData(*this);
}

const MediaCallEndpointData::PeerDataPtr& MediaCallEndpointData::getPeerData(
    MediaEndpoint::Direction in_eDirection) const {
  return in_eDirection == MediaEndpoint::TX_DIRECTION ? m_pTxPeerData : m_pRxPeerData;
}

void MediaCallEndpointData::setPeerData(MediaEndpoint::Direction in_eDirection,
                                        MediaPeerData* in_pPeerData) {
  if (in_eDirection == MediaEndpoint::TX_DIRECTION) {
    m_pTxPeerData = in_pPeerData;
  } else {
    m_pRxPeerData = in_pPeerData;
  }
}

void MediaCallEndpointData::findPeers(MediaEndpoint::Direction in_eDirection,
                                      IndexVector& out_vPeerIndex) const {
  switch (in_eDirection) {
    case MediaEndpoint::RX_DIRECTION:
      out_vPeerIndex = m_vRxPeerIndex;
      break;
    case MediaEndpoint::TX_DIRECTION:
      out_vPeerIndex = m_vTxPeerIndex;
      break;
    default:
      Assertion(false, "0", s_szMODULE_NAME, __LINE__);
      break;
  }
}

void MediaCallEndpointData::reset() {
  m_uiEptIndex = 0;
  m_pRxPeerData.reset();
  m_pTxPeerData.reset();
  m_vRxPeerIndex.clear();
  m_vTxPeerIndex.clear();
  m_redirectForkIndex.invalidate();
}

// MediaCallData ------------------------------------------------------------------------

MediaCallData::MediaCallData() = default;

MediaCallData::~MediaCallData() = default;

MediaCallData* MediaCallData::clone() const { return new MediaCallData(*this); }

void MediaCallData::findPeers(unsigned long in_uiEptIndex, MediaEndpoint::Direction in_eDirection,
                              IndexVector& out_vPeerIndex) const {
  m_vEptData[in_uiEptIndex].findPeers(in_eDirection, out_vPeerIndex);
}

void MediaCallData::findStartedPeers(unsigned long in_uiEptIndex,
                                     MediaEndpoint::Direction in_eDirection,
                                     IndexVector& out_vPeerIndex) const {
  OMVERA_TRACE_SCOPE(fileScopeLogger(), "MediaCallData::findStartedPeers");
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
             "MediaCallData::findStartedPeers : in_eptIndex=" << in_uiEptIndex);
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
             "MediaCallData::findStartedPeers : in_eptDirection="
                 << MediaEndpoint::getDirectionString(in_eDirection));
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
             "MediaCallData::findStartedPeers : m_vEptData.size()=" << m_vEptData.size());

  findPeers(in_uiEptIndex, in_eDirection, out_vPeerIndex);
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
             "MediaCallData::findStartedPeers : out_vPeerIndex.size()=" << out_vPeerIndex.size());

  // Rx peers of an endpoint are Tx sides (running while not stopped); its Tx peers are Rx
  // sides (running once started).
  const bool bPeersAreTx = in_eDirection == MediaEndpoint::RX_DIRECTION;
  std::size_t uiPos = 0;
  while (uiPos < out_vPeerIndex.size()) {
    const unsigned long uiPeerIndex = out_vPeerIndex[uiPos];
    if (!Assertion(uiPeerIndex < m_vEptData.size(), "out_vPeerIndex[i] < m_vEptData.size()",
                   s_szMODULE_NAME, __LINE__)) {
      return;
    }
    if (!Assertion(uiPeerIndex != in_uiEptIndex, "out_vPeerIndex[i] != in_eptIndex",
                   s_szMODULE_NAME, __LINE__)) {
      return;
    }
    const MediaCallEndpointData& peer = m_vEptData[uiPeerIndex];
    const bool bRunning = bPeersAreTx ? !peer.m_bTxStopped : peer.m_bRxStarted;
    if (bRunning) {
      ++uiPos;
    } else {
      out_vPeerIndex.erase(out_vPeerIndex.begin() + static_cast<std::ptrdiff_t>(uiPos));
    }
  }
}

}  // namespace Omvera
