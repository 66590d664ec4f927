#pragma once
// The engine endpoint interface: what a concrete media engine implements for each endpoint
// it creates, the callback through which it reports, and partial implementations for
// engines to build on.
//
// Threads. The library calls every request of an engine endpoint on the engine task
// thread, one at a time; an engine whose endpoints work on a thread of their own either
// queues the work itself or puts a MediaEngEptProxyNoT in front of them. The engine's
// MediaEngineEndpointCallback may be called from any thread: it only queues the report to
// the engine task.
//
// The contract an engine endpoint keeps, which the endpoint state machines rely on:
// - getCapacity, configure, start and stop concern one direction (RX_DIRECTION or
//   TX_DIRECTION). Answering true means the request was accepted; its outcome must then be
//   reported through the callback for the same direction, at once or later, exactly once
//   (setCapacity or getCapacityFailure, configureStatus, startStatus, stopStatus).
//   Answering false means refused: no report follows, and the library reports the failure
//   to its user itself. A report must not be made from inside the request that it answers
//   unless the callback queues it (the library's callback always does).
// - The configuration handed to configure becomes the engine endpoint's. The call snapshot
//   (MediaCallData) describes the call at the time of the request: the endpoint's own entry
//   is at its index; its peers' entries tell which peers are started and what peer data
//   they published.
// - When a side's connection data is known or changes, the engine endpoint publishes it
//   with the callback's sendPeerData; the library stores it and hands a copy to each
//   linked peer through that peer's engine (MediaEngineGetEndpointImpl::deliverPeerData).
// - Events detected on the line go to the callback's notifyEvent; the library forwards
//   them to the linked peers (notifyPeerEvent) and to the user's callback.
// - The engine endpoint owns its callback and deletes it when it is itself deleted, which
//   happens once both endpoint state machines have let go of it.
//
// An engine endpoint that overrides only one of the two configure (or start) overloads
// hides the other: it declares `using MediaEngineEndpointNoT::configure;` (or start).

#include <string>

#include "tidewave/CopiedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaEndpoint.h"

namespace Omvera {

class MediaCallData;
class MediaEndpointConfig;
class MediaNotificationEvent;
class MediaPeerData;

// The callback handed to each engine endpoint: the user callback's reports plus the
// publication of peer data. Implemented by the library (the engine endpoint callback
// proxy); any thread.
class MediaEngineEndpointCallback : public MediaEndpointCallback {
 public:
  ~MediaEngineEndpointCallback() override;

  // The side of in_eDirection publishes its peer data. Takes ownership of in_pPeerData.
  virtual bool sendPeerData(MediaEndpoint::Direction in_eDirection,
                            MediaPeerData* in_pPeerData) = 0;
};

// The interface of a concrete engine endpoint. Engine task thread only (see the top of
// this file). getEptId, getCapacity, stop, getProcessor and getEndpointSpec are the
// engine's to define.
class MediaEngineEndpointNoT : public virtual MediaEndpoint {
 public:
  ~MediaEngineEndpointNoT() override;

  // Default: assertion "Not implemented : MediaEngineEndpointNoT::configure" (source
  // "MediaEngineEndpoint"), false. in_pConfig is deleted.
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) override;
  // Default: assertion "Not implemented : MediaEngineEndpointNoT::start", false.
  bool start(Direction in_eDirection) override;

  // The specification the endpoint was created with; null when it was requested without
  // one. The handle does not own; the specification lives as long as the endpoint.
  virtual LimitedObjPtr<MediaEndpointSpec> getEndpointSpec() const = 0;

  // The requests the library makes, with the call snapshot of that moment. Defaults: the
  // two-argument configure / one-argument start above, without the snapshot.
  virtual bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig,
                         const MediaCallData& in_callData);
  virtual bool start(Direction in_eDirection, const MediaCallData& in_callData);

  // A linked peer detected an event. Takes ownership of in_pEvent. Default: deletes it
  // (null allowed) and answers true.
  virtual bool notifyPeerEvent(MediaNotificationEvent* in_pEvent);

  // The type of getEndpointSpec(); eSND_RECV when the endpoint has no specification.
  MediaEndpointSpec::EptType getEptType() const;
};

// The endpoint ID and the default processor, for endpoint implementations. Used by one
// thread at a time.
class MediaEndpointImpl : public virtual MediaEndpoint {
 public:
  // The ID stays empty until setEptId.
  MediaEndpointImpl();
  ~MediaEndpointImpl() override;

  // The ID; the text lives as long as the endpoint and its ID are unchanged.
  const char* getEptId() const override;
  // Assertion "Not implemented : MediaEndpointImpl::getProcessor" (source "MediaEndpoint"),
  // null.
  MediaEndpointProcessor* getProcessor() override;

 protected:
  // For the constructor bodies of derived endpoints: this class is a virtual base, built by
  // the most derived class before any other base, so the ID cannot reach it through an
  // intermediate class's initialiser list.
  void setEptId(const char* in_szEptId);

 private:
  std::string m_strEptId;
};

// The base for concrete engine endpoints: owns the specification and keeps the ID.
// Engine task thread only.
class MediaEngineEndpointImpl : public virtual MediaEngineEndpointNoT,
                                protected virtual MediaEndpointImpl {
 public:
  // Takes ownership of in_pSpec (null allowed). in_szEptId (null: empty) becomes getEptId().
  MediaEngineEndpointImpl(MediaEndpointSpec* in_pSpec, const char* in_szEptId);
  // Deletes the specification.
  ~MediaEngineEndpointImpl() override;
  MediaEngineEndpointImpl(const MediaEngineEndpointImpl&) = delete;
  MediaEngineEndpointImpl& operator=(const MediaEngineEndpointImpl&) = delete;

  const char* getEptId() const override;
  MediaEndpointProcessor* getProcessor() override;
  LimitedObjPtr<MediaEndpointSpec> getEndpointSpec() const override;

 private:
  CopiedObjPtr<MediaEndpointSpec> m_pSpec;
};

// An engine endpoint whose every request fails at once through its callback: capacity
// requests answer getCapacityFailure, configure (after deleting the configuration), start
// and stop answer their status with EPT_OP_FAILED. The callback's answer is the request's
// answer. Owns the callback. Engine task thread only.
class AlwaysFailMediaEngineEndpointImpl : public MediaEngineEndpointImpl {
 public:
  // Takes ownership of in_pSpec and in_pCallback.
  AlwaysFailMediaEngineEndpointImpl(MediaEndpointSpec* in_pSpec, const char* in_szEptId,
                                    MediaEngineEndpointCallback* in_pCallback);
  ~AlwaysFailMediaEngineEndpointImpl() override;

  using MediaEngineEndpointNoT::configure;
  using MediaEngineEndpointNoT::start;

  bool getCapacity(Direction in_eDirection) override;
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) override;
  bool start(Direction in_eDirection) override;
  bool stop(Direction in_eDirection) override;

 private:
  CopiedObjPtr<MediaEngineEndpointCallback> m_pCallback;
};

}  // namespace Omvera
