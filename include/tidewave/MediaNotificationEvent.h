#pragma once
// What concrete engines detect on a line and report as notifications: call-progress
// analysis results (success, failure, intermediate updates), detected tones and the first
// media packet, plus the call-progress result vocabulary.
//
// The library never creates notifications: an engine endpoint builds one and hands it,
// with ownership, to its callback, which wraps it in a MediaEngineNotificationEvent. After
// that the notification is immutable and owned by whoever holds the pointer; receivers
// that keep one clone it. Cloning copies every field deeply (failure detail, result
// vector). One thread at a time per object; the static functions may be called from any
// thread.

#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

#include "tidewave/ClassAllocator.h"
#include "tidewave/Cloneable.h"
#include "tidewave/CloneableObjPtr.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/infra/Object.h"

namespace Omvera {

// ---- call-progress vocabulary -----------------------------------------------------------

// Engine-defined detail of a connection failure. Concrete forms belong to the engines;
// each implements write() and clone() (returning an object of its own class).
class ConnectionFailureImpl : public OutputStreamable, public Cloneable {
 public:
  ~ConnectionFailureImpl() override;
  ConnectionFailureImpl* clone() const override = 0;
};

// Why a call-progress analysis failed: an engine-defined failure code and an optional
// engine-defined detail, owned (copying the value clones the detail). Writes the code in
// decimal and nothing else.
class ConnectionFailureType : public OutputStreamable {
 public:
  // Takes ownership of in_pDetail (null: no detail).
  explicit ConnectionFailureType(std::int32_t in_iFailureCode = 0,
                                 ConnectionFailureImpl* in_pDetail = nullptr);
  ConnectionFailureType(const ConnectionFailureType& in_rhs);
  ConnectionFailureType& operator=(const ConnectionFailureType& in_rhs);
  ~ConnectionFailureType() override;

  std::int32_t getFailureCode() const { return m_iFailureCode; }
  // The detail, null when there is none; lives as long as this value (until reassigned).
  const ConnectionFailureImpl* getDetail() const { return m_pDetail.get(); }

  void write(std::ostream& out_stream) const override;

 private:
  std::int32_t m_iFailureCode;
  CloneableObjPtr<ConnectionFailureImpl> m_pDetail;
};

// One call-progress result: what was detected and how sure the engine is. A plain record.
struct CPAResult {
  enum ResultType : std::int32_t {
    eHUMAN = 0,              // "Human"
    eANSWERING_MACHINE = 1,  // "Answering Machine"
    eFAX = 2,                // "Fax"
    eBUSY = 3,               // "Busy"
    eREORDER = 4,            // "Reorder"
    eSIT_NO_CIRCUIT = 5,     // "SIT No Circuit"
    eSIT_INTERCEPT = 6,      // "SIT Intercept"
    eSIT_VACANT_TONE = 7,    // "SIT Vacant Tone"
    eSIT_REORDER = 8,        // "SIT Reorder"
    eUNKNOWN = 9,            // "Unknown"
    eUNRECOGNISED = 10       // what parsing gives for a name that is none of the above
  };

  // The quoted names above; any other value (eUNRECOGNISED included) "???".
  static const char* getTypeString(ResultType in_eType);
  // The first name of the table above equal to in_szName without regard to ASCII letter
  // case; eUNRECOGNISED when none is (also for a null pointer).
  static ResultType parseTypeString(const char* in_szName);

  CPAResult() = default;
  CPAResult(ResultType in_eType, float in_fScore) : m_eType(in_eType), m_fScore(in_fScore) {}

  ResultType m_eType = eUNKNOWN;
  float m_fScore = 0.0f;
};

// The results of one call-progress update, in the engine's order. A copyable value.
class CPAResultVector : public std::vector<CPAResult> {
 public:
  using std::vector<CPAResult>::vector;

  // For each result in order: the type name, ": ", the score with the stream's current
  // floating-point formatting, "\r\n". An empty vector writes nothing.
  void write(std::ostream& out_stream) const;
  // Not supported: reports the assertion "Not implemented : CPAResultVector::read", reads
  // nothing and returns the stream.
  std::istream& read(std::istream& in_stream);
};

std::ostream& operator<<(std::ostream& out_stream, const CPAResultVector& in_results);
std::istream& operator>>(std::istream& in_stream, CPAResultVector& out_results);

// ---- notifications ----------------------------------------------------------------------

// A notification from an engine: a media event (type chosen by the constructor, direction
// of the reporting side) with a notification type. Instantiable for the notifications
// without further data (eFIRST_PACKET_DETECTED). Text: the base text (type name, " dir=",
// direction name), one blank, the notification type name.
class MediaNotificationEvent : public virtual MediaEvent, private MediaEventWithDirImpl {
  OMVERA_CLASS_ALLOCATOR(MediaNotificationEvent, "MediaEvent")

  enum NotificationType : std::int32_t {
    eCPA_RESULT_SUCCESS = 0,
    eCPA_RESULT_FAILURE = 1,
    eFIRST_PACKET_DETECTED = 3,
    eCPA_UPDATE = 4
  };

  // The enumerator's name; 2 and any value outside the enumeration give "???".
  static const char* getNotificationTypeString(NotificationType in_eType);

  MediaNotificationEvent(MediaEndpoint::Direction in_eDirection,
                         NotificationType in_eNotificationType, Type in_eType = eNOTIFICATION);
  MediaNotificationEvent(const MediaNotificationEvent& in_rhs);
  ~MediaNotificationEvent() override;

  Type getType() const override;
  MediaEndpoint::Direction getDirection() const override;
  void write(std::ostream& out_stream) const override;
  MediaNotificationEvent* clone() const override;
  virtual NotificationType getNotificationType() const;

 private:
  NotificationType m_eNotificationType;
};

// A tone detected on the line (MediaEvent type eTONE_DETECTED). The tone ID and tone event
// ID are the engine's. Text after the notification text: ",toneid=", the tone ID,
// ",toneevtid=", the tone event ID, both in decimal.
class ToneDetectedEvent : public virtual MediaNotificationEvent {
  OMVERA_CLASS_ALLOCATOR(ToneDetectedEvent, "MediaEvent")

  ToneDetectedEvent(MediaEndpoint::Direction in_eDirection,
                    NotificationType in_eNotificationType, std::uint32_t in_uiToneId,
                    std::uint64_t in_uiToneEventId);
  ToneDetectedEvent(const ToneDetectedEvent& in_rhs);
  ~ToneDetectedEvent() override;

  std::uint32_t getToneId() const { return m_uiToneId; }
  std::uint64_t getToneEventId() const { return m_uiToneEventId; }

  void write(std::ostream& out_stream) const override;
  ToneDetectedEvent* clone() const override;

 private:
  std::uint32_t m_uiToneId;
  std::uint64_t m_uiToneEventId;
};

// A successful call-progress analysis (eCPA_RESULT_SUCCESS) with the engine's result code.
// Text after the notification text: one blank, the code in decimal.
class CPASuccessNotificationEvent : public virtual MediaNotificationEvent {
  OMVERA_CLASS_ALLOCATOR(CPASuccessNotificationEvent, "MediaEvent")

  CPASuccessNotificationEvent(MediaEndpoint::Direction in_eDirection, std::int32_t in_iResult);
  CPASuccessNotificationEvent(const CPASuccessNotificationEvent& in_rhs);
  ~CPASuccessNotificationEvent() override;

  std::int32_t getResult() const { return m_iResult; }

  void write(std::ostream& out_stream) const override;
  CPASuccessNotificationEvent* clone() const override;

 private:
  std::int32_t m_iResult;
};

// A failed call-progress analysis (eCPA_RESULT_FAILURE). Text after the notification
// text: one blank, the failure's text.
class CPAFailureNotificationEvent : public virtual MediaNotificationEvent {
  OMVERA_CLASS_ALLOCATOR(CPAFailureNotificationEvent, "MediaEvent")

  CPAFailureNotificationEvent(MediaEndpoint::Direction in_eDirection,
                              const ConnectionFailureType& in_failure);
  CPAFailureNotificationEvent(const CPAFailureNotificationEvent& in_rhs);
  ~CPAFailureNotificationEvent() override;

  const ConnectionFailureType& getFailure() const { return m_failure; }

  void write(std::ostream& out_stream) const override;
  CPAFailureNotificationEvent* clone() const override;

 private:
  ConnectionFailureType m_failure;
};

// Intermediate call-progress results (eCPA_UPDATE). Text after the notification text: a
// line end (flushed), then the results' text.
class CPAUpdateNotificationEvent : public virtual MediaNotificationEvent {
  OMVERA_CLASS_ALLOCATOR(CPAUpdateNotificationEvent, "MediaEvent")

  CPAUpdateNotificationEvent(MediaEndpoint::Direction in_eDirection,
                             const CPAResultVector& in_results);
  CPAUpdateNotificationEvent(const CPAUpdateNotificationEvent& in_rhs);
  ~CPAUpdateNotificationEvent() override;

  const CPAResultVector& getResults() const { return m_results; }

  void write(std::ostream& out_stream) const override;
  CPAUpdateNotificationEvent* clone() const override;

 private:
  CPAResultVector m_results;
};

}  // namespace Omvera
