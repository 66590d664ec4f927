#pragma once
// The engine facade: the interface through which call control asks an engine for
// endpoints, and the base that concrete engines derive from.
//
// Every engine hands its endpoint requests to the one engine task of the process, created
// on first demand (not started: the owner of tasks starts it through getTaskHandle()).

#include <cstdint>
#include <mutex>
#include <string>

#include "tidewave/CountedObjPtr.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/TSReferenceCount.h"
#include "tidewave/infra/SharedTask.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"

namespace Omvera {

class MediaEngEptCallbackProxy;
class MediaEngineEndpointNoT;
class MediaEngineTask;
class MediaPeerData;

// What call control sees of an engine. Any thread (each implementation says so).
class MediaEngine {
 public:
  virtual ~MediaEngine();

  // A new endpoint of call in_szCallId with the ID in_szEptId, or null. Takes ownership of
  // in_pCallback and in_pSpec (null: a send-receive endpoint) in every outcome; the caller
  // owns the returned endpoint. Outcomes reach in_pCallback only.
  virtual MediaEndpoint* getEndpoint(MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                                     const char* in_szEptId, MediaEndpointSpec* in_pSpec) = 0;
  // getEndpoint with a fresh ID from generateEptId().
  virtual MediaEndpoint* getEndpointNoId(MediaEndpointCallback* in_pCallback,
                                         const char* in_szCallId, MediaEndpointSpec* in_pSpec);

  // Writes the text of a new UUID into out_strEptId. Any thread.
  static void generateEptId(std::string& out_strEptId);
};

// The base of concrete engines: creates their engine endpoints on request of the engine
// task and delivers peer data to them. createEngineEndpoint and deliverPeerData are called
// on the engine task thread only. The engine outlives every endpoint it created.
class MediaEngineGetEndpointImpl : public MediaEngine, public ObjectWithLoggerImpl {
 public:
  // Logs through "tidewave.media.MediaEngineImpl", or through a copy of in_logger.
  MediaEngineGetEndpointImpl();
  explicit MediaEngineGetEndpointImpl(const Logger& in_logger);
  ~MediaEngineGetEndpointImpl() override;
  MediaEngineGetEndpointImpl(const MediaEngineGetEndpointImpl&) = delete;
  MediaEngineGetEndpointImpl& operator=(const MediaEngineGetEndpointImpl&) = delete;

  // The request goes to the process's engine task (MediaEngineTask::getEndpoint), which
  // later calls createEngineEndpoint of this engine on its thread. Any thread.
  MediaEndpoint* getEndpoint(MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                             const char* in_szEptId, MediaEndpointSpec* in_pSpec) override;

  // The engine endpoint for endpoint in_uiEptIndex of call in_szCallId, or null when the
  // engine cannot make one. Takes ownership of in_pCallback (the endpoint's callback, which
  // the new engine endpoint then owns) and of in_pSpec (null allowed) in every outcome; the
  // caller owns the result.
  virtual MediaEngineEndpointNoT* createEngineEndpoint(const char* in_szCallId,
                                                       unsigned long in_uiEptIndex,
                                                       MediaEngEptCallbackProxy* in_pCallback,
                                                       MediaEndpointSpec* in_pSpec,
                                                       const char* in_szEptId) = 0;
  // The processor of endpoint in_szEptId, for engines that offer processors. Default:
  // assertion "Not implemented : MediaEngineGetEndpointImpl::getEndpointProcessor"
  // (source "MediaEngineImpl"), null. May be called from any thread.
  virtual MediaEndpointProcessor* getEndpointProcessor(const char* in_szEptId,
                                                       const char* in_szSecond);
  // Hands one of this engine's endpoints the data a linked peer published, for its side
  // in_eDirection (RX_DIRECTION: its Rx side, TX_DIRECTION: its Tx side). The data is
  // borrowed for the call. The answer is not used by the library.
  virtual bool deliverPeerData(MediaEngineEndpointNoT& in_engineEndpoint,
                               MediaEndpoint::Direction in_eDirection,
                               const MediaPeerData& in_peerData) = 0;
};

// The process's engine task, created on first demand. Any thread.
class MediaEngineImplNoT {
 public:
  using TaskHandle = CountedObjPtr<ManageableTask, TSReferenceCount>;

  // The engine task ("MediaEngineTask"), built (not started) on the first call.
  static MediaEngineTask* getMediaEngineTask();
  // The shared face through which the owner of tasks starts, stops, kills and waits for
  // the engine task (starts and stops are counted: the first start and the last stop
  // reach the task).
  static TaskHandle getTaskHandle();
};

// The process-wide shared face of the engine task ("MediaEngineSharedTaskAdapterPtr").
class MediaEngineSharedTaskAdapterPtr {
 public:
  using AdapterHandle = CountedObjPtr<SharedTaskAdapter<MediaEngineTask>, TSReferenceCount>;

  // Wraps the engine task (creating it) in a shared adapter.
  MediaEngineSharedTaskAdapterPtr();
  ~MediaEngineSharedTaskAdapterPtr();
  static MediaEngineSharedTaskAdapterPtr* getInstance();

  const AdapterHandle& getAdapter() const { return m_pAdapter; }

 private:
  AdapterHandle m_pAdapter;
};

// The same adapter seen as a ManageableTask ("MediaEngineImplNoT_TaskManagerHandle"),
// sharing the adapter's count.
class MediaEngineImplNoT_TaskManagerHandle {
 public:
  MediaEngineImplNoT_TaskManagerHandle();
  ~MediaEngineImplNoT_TaskManagerHandle();
  static MediaEngineImplNoT_TaskManagerHandle* getInstance();

  const MediaEngineImplNoT::TaskHandle& getHandle() const { return m_pTask; }

 private:
  MediaEngineImplNoT::TaskHandle m_pTask;
};

// Small integer ids from 0 upwards, process-wide. Any thread.
class MediaIDGenerator {
 public:
  static std::int32_t getID();

 private:
  static std::int32_t s_iNextID;
  static std::mutex s_mutex;
};

}  // namespace Omvera
