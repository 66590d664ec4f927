#pragma once
// The call data snapshot: what a call knows about each of its endpoints (index, ID, type,
// published peer data, peer links, redirect/fork binding, start/stop flags), handed to
// engine endpoints when they are configured or started so that they can see their peers.
//
// Plain values: built on the engine task thread, then read by the engine receiving the
// snapshot on whatever thread it uses; one thread at a time. Copies are deep: every copy
// owns its own peer data objects, so a snapshot stays whole after its source is changed or
// destroyed.

#include <string>
#include <vector>

#include "tidewave/Cloneable.h"
#include "tidewave/CloneableObjPtr.h"
#include "tidewave/Fallible.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaPeerData.h"

namespace Omvera {

// What the call knows about one endpoint. The media call keeps one per endpoint (as the
// base of its own endpoint records) and reads and writes the fields directly; engines read
// them in snapshots. Owns its two peer data objects.
class MediaCallEndpointData : public Cloneable {
 public:
  using PeerDataPtr = CloneableObjPtr<MediaPeerData>;
  using IndexVector = std::vector<unsigned long>;

  // Empty ID, null peer data, empty peer lists, invalid redirect/fork fields. The owner
  // sets index, type and flags before use; until then they are 0, eUNDEF_EPT_TYPE, Rx not
  // started and Tx stopped (the state of an endpoint that has not started anything).
  MediaCallEndpointData();
  MediaCallEndpointData(unsigned long in_uiEptIndex, const std::string& in_strEptId,
                        MediaEndpointSpec::EptType in_eptType);
  // Copy every field; the peer data are cloned.
  MediaCallEndpointData(const MediaCallEndpointData&) = default;
  MediaCallEndpointData& operator=(const MediaCallEndpointData&) = default;
  MediaCallEndpointData(MediaCallEndpointData&&) = default;
  MediaCallEndpointData& operator=(MediaCallEndpointData&&) = default;
  ~MediaCallEndpointData() override;

  // A new MediaCallEndpointData copied from the data part of this object (a derived
  // record is sliced to its data); the caller owns it.
  MediaCallEndpointData* clone() const override;

  unsigned long getEptIndex() const { return m_uiEptIndex; }
  // The text lives as long as the record and its ID are unchanged.
  const char* getEptId() const { return m_strEptId.c_str(); }
  MediaEndpointSpec::EptType getEptType() const { return m_eptType; }

  // TX_DIRECTION gives the Tx side's peer data, any other direction the Rx side's. The
  // handle may be null.
  const PeerDataPtr& getPeerData(MediaEndpoint::Direction in_eDirection) const;
  // Takes ownership of in_pPeerData (may be null) as the peer data of the Tx side
  // (TX_DIRECTION) or of the Rx side (any other direction); the object it replaces is
  // deleted.
  void setPeerData(MediaEndpoint::Direction in_eDirection, MediaPeerData* in_pPeerData);

  // RX_DIRECTION assigns the endpoints whose Tx side this endpoint's Rx side feeds to
  // out_vPeerIndex, TX_DIRECTION the endpoints whose Rx side feeds this endpoint's Tx
  // side. Any other direction asserts "0" and leaves out_vPeerIndex as it was.
  void findPeers(MediaEndpoint::Direction in_eDirection, IndexVector& out_vPeerIndex) const;

  // Prepares the record for reuse: index 0, both peer data deleted, both peer lists
  // emptied, redirect/fork index invalidated. ID, type, redirect-for ID and flags are left
  // for the next owner to set.
  void reset();

  unsigned long m_uiEptIndex;
  std::string m_strEptId;
  MediaEndpointSpec::EptType m_eptType;
  // Peer data published by the Rx and Tx sides; each may be null.
  PeerDataPtr m_pRxPeerData;
  PeerDataPtr m_pTxPeerData;
  // Endpoints whose Tx side this endpoint's Rx side feeds.
  IndexVector m_vRxPeerIndex;
  // Endpoints whose Rx side feeds this endpoint's Tx side.
  IndexVector m_vTxPeerIndex;
  // For a redirect or fork endpoint, the ID of the endpoint it is for.
  FallibleClass<std::string> m_strRedirectForEptId;
  // For a redirect or fork endpoint, the index of the endpoint it is bound to; invalid
  // while unbound.
  Fallible<unsigned long> m_redirectForkIndex;
  bool m_bRxStarted;
  bool m_bTxStopped;
};

// A snapshot of a whole call: entry i describes the endpoint of index i.
class MediaCallData : public Cloneable {
 public:
  using IndexVector = MediaCallEndpointData::IndexVector;

  MediaCallData();
  // Copy every entry, peer data included.
  MediaCallData(const MediaCallData&) = default;
  MediaCallData& operator=(const MediaCallData&) = default;
  MediaCallData(MediaCallData&&) = default;
  MediaCallData& operator=(MediaCallData&&) = default;
  ~MediaCallData() override;

  // A new deep copy; the caller owns it.
  MediaCallData* clone() const override;

  // findPeers of entry in_uiEptIndex, which the caller guarantees to exist.
  void findPeers(unsigned long in_uiEptIndex, MediaEndpoint::Direction in_eDirection,
                 IndexVector& out_vPeerIndex) const;

  // The peers of entry in_uiEptIndex in in_eDirection that are running, in peer-list
  // order: for RX_DIRECTION the Tx peers not stopped, for any other direction the Rx
  // peers started. A peer index outside the snapshot, or the endpoint itself listed as its
  // own peer, is reported as an assertion and ends the walk, leaving out_vPeerIndex
  // filtered only up to that index. The caller guarantees that in_uiEptIndex exists.
  void findStartedPeers(unsigned long in_uiEptIndex, MediaEndpoint::Direction in_eDirection,
                        IndexVector& out_vPeerIndex) const;

  std::vector<MediaCallEndpointData> m_vEptData;
};

}  // namespace Omvera
