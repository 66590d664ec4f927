#pragma once
// Peer data: what one side of an endpoint publishes so that the endpoints linked to it can
// connect to its media. Engines create and read peer data; the media call stores, copies
// and forwards it without looking inside (except through the CT-bus query below).

#include "tidewave/Cloneable.h"

namespace Omvera {

class MediaCallData;

// The abstract peer data. A concrete engine derives its own kind and implements clone()
// (returning an object of its own dynamic type). Held by the call through owning,
// deep-copying handles. Plain value: one thread at a time (the thread owning the object).
class MediaPeerData : public virtual Cloneable {
 public:
  ~MediaPeerData() override;
};

// The peer data of an endpoint whose received media is placed on a CT-bus time slot: a Tx
// side fed by that endpoint listens to that time slot. Plain value: one thread at a time;
// the static query reads the call snapshot it is given and may run on any thread.
class CTBusPeerData : public MediaPeerData {
 public:
  explicit CTBusPeerData(unsigned long in_uiTimeSlot = 0) : m_uiTimeSlot(in_uiTimeSlot) {}
  CTBusPeerData(const CTBusPeerData&) = default;
  CTBusPeerData& operator=(const CTBusPeerData&) = default;
  ~CTBusPeerData() override;

  // A new copy; the caller owns it.
  CTBusPeerData* clone() const override;

  unsigned long getTimeSlot() const { return m_uiTimeSlot; }

  // The time slot the Tx side of endpoint in_uiTxEptIndex is to listen to: true with
  // out_uiTimeSlot set when exactly one started Rx side feeds that Tx side and it published
  // a CTBusPeerData. Otherwise false with out_uiTimeSlot 0: no or several started Rx peers
  // and a peer data of another kind are logged at ERROR; a peer index outside the snapshot
  // and a started peer without Rx peer data are reported as assertions. The caller
  // guarantees that in_uiTxEptIndex is an entry of in_callData. Never blocks.
  static bool getStartedRxPeerTimeslot(unsigned long in_uiTxEptIndex,
                                       const MediaCallData& in_callData,
                                       unsigned long& out_uiTimeSlot);

 private:
  unsigned long m_uiTimeSlot;
};

}  // namespace Omvera
