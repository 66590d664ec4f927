
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>

#include "tidewave/MediaCallData.h"
#include "tidewave/MediaPeerData.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("CTBusPeerData", "tidewave.media.CTBusPeerData")

namespace Omvera {

MediaPeerData::~MediaPeerData() = default;

CTBusPeerData::~CTBusPeerData() = default;

CTBusPeerData* CTBusPeerData::clone() const { return new CTBusPeerData(*this); }

bool CTBusPeerData::getStartedRxPeerTimeslot(unsigned long in_uiTxEptIndex,
                                             const MediaCallData& in_callData,
                                             unsigned long& out_uiTimeSlot) {
  OMVERA_TRACE_SCOPE(fileScopeLogger(), "CTBusPeerData::getStartedRxPeerTimeslot");
  out_uiTimeSlot = 0;

  MediaCallData::IndexVector vRxPeerIndex;
  in_callData.findStartedPeers(in_uiTxEptIndex, MediaEndpoint::TX_DIRECTION, vRxPeerIndex);
  if (vRxPeerIndex.size() != 1) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "CTBusPeerData::getStartedRxPeerTimeslot : Tx ept "
                   << in_uiTxEptIndex << " has " << vRxPeerIndex.size() << " started Rx peer(s)");
    return false;
  }

  const unsigned long uiPeerIndex = vRxPeerIndex.front();
  if (!Assertion(in_callData.m_vEptData.size() > uiPeerIndex,
                 "in_callData.m_vEptData.size() > uiPeerIndex", s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  const MediaCallEndpointData::PeerDataPtr& pPeerData =
      in_callData.m_vEptData[uiPeerIndex].m_pRxPeerData;
  if (!Assertion(!pPeerData.isNull(),
                 "! in_callData.m_vEptData[uiPeerIndex].m_pRxPeerData.isNull()", s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }

  const CTBusPeerData* pCTBusData = dynamic_cast<const CTBusPeerData*>(pPeerData.get());
  if (pCTBusData == nullptr) {
    const MediaPeerData& peerData = *pPeerData;
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "CTBusPeerData::getStartedRxPeerTimeslot : Tx ept "
                   << in_uiTxEptIndex
                   << " Rx peer does not have a ctbus peer data. Peer type = "
                   << readableTypeName(typeid(peerData).name()));
    return false;
  }
  out_uiTimeSlot = pCTBusData->getTimeSlot();
  return true;
}

}  // namespace Omvera
