// Call-progress notifications: names, result parsing, exact text forms, deep clones and
// ownership through the engine notification wrapper.
#include <gtest/gtest.h>

#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <utility>

#include "support/AssertionRecorder.h"
#include "support/NullCallContainer.h"
#include "support/TextOf.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/MediaNotificationEvent.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::NullCallContainer;
using Test::textOf;

// An engine-defined failure detail that counts its live instances.
class CountingDetail : public ConnectionFailureImpl {
 public:
  explicit CountingDetail(const std::string& in_strReason) : m_strReason(in_strReason) {
    ++s_iLive;
  }
  CountingDetail(const CountingDetail& in_rhs)
      : Object(), ConnectionFailureImpl(in_rhs), m_strReason(in_rhs.m_strReason) {
    ++s_iLive;
  }
  ~CountingDetail() override { --s_iLive; }
  void write(std::ostream& out_stream) const override { out_stream << m_strReason; }
  CountingDetail* clone() const override { return new CountingDetail(*this); }
  std::string m_strReason;
  static int s_iLive;
};
int CountingDetail::s_iLive = 0;

// ---- vocabulary ----

TEST(MediaNotificationType, NamesAndFallback) {
  using N = MediaNotificationEvent;
  const std::pair<int, const char*> aNames[] = {
      {N::eCPA_RESULT_SUCCESS, "eCPA_RESULT_SUCCESS"}, {N::eCPA_RESULT_FAILURE, "eCPA_RESULT_FAILURE"},
      {N::eFIRST_PACKET_DETECTED, "eFIRST_PACKET_DETECTED"}, {N::eCPA_UPDATE, "eCPA_UPDATE"},
      {2, "???"}, {5, "???"}, {-1, "???"}};
  for (const auto& name : aNames) {
    EXPECT_STREQ(name.second, N::getNotificationTypeString(static_cast<N::NotificationType>(name.first)));
  }
}

TEST(CPAResult, NamesRoundTripParsingIgnoresLetterCaseOnly) {
  const char* const aszNames[] = {"Human",         "Answering Machine", "Fax",
                                  "Busy",          "Reorder",           "SIT No Circuit",
                                  "SIT Intercept", "SIT Vacant Tone",   "SIT Reorder",
                                  "Unknown"};
  for (int i = 0; i < 10; ++i) {
    const auto eType = static_cast<CPAResult::ResultType>(i);
    EXPECT_STREQ(aszNames[i], CPAResult::getTypeString(eType));
    EXPECT_EQ(eType, CPAResult::parseTypeString(aszNames[i]));
  }
  for (int iValue : {10, -1}) {
    EXPECT_STREQ("???", CPAResult::getTypeString(static_cast<CPAResult::ResultType>(iValue)));
  }
  EXPECT_EQ(CPAResult::eANSWERING_MACHINE, CPAResult::parseTypeString("answering machine"));
  EXPECT_EQ(CPAResult::eSIT_VACANT_TONE, CPAResult::parseTypeString("SIT VACANT TONE"));
  EXPECT_EQ(CPAResult::eUNKNOWN, CPAResult::parseTypeString("uNKNOWN"));
  for (const char* szText : {"Answering-Machine", " Fax", "Fax ", "SIT", "", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(10, CPAResult::parseTypeString(szText)) << (szText ? szText : "(null)");
  }
}

TEST(CPAResultVector, WritesOneLinePerResultAndCannotBeRead) {
  CPAResultVector results;
  EXPECT_EQ("", textOf(results));
  results.emplace_back(CPAResult::eBUSY, 0.5f);
  results.emplace_back(CPAResult::eFAX, 1.0f);
  EXPECT_EQ("Busy: 0.5\r\nFax: 1\r\n", textOf(results));
  // The stream's formatting applies to the scores; out-of-range types print "???".
  results.emplace_back(static_cast<CPAResult::ResultType>(10), 0.25f);
  std::ostringstream stream;
  stream << std::fixed << std::setprecision(2) << results;
  EXPECT_EQ("Busy: 0.50\r\nFax: 1.00\r\n???: 0.25\r\n", stream.str());

  AssertionRecorder assertions;
  std::istringstream input("Busy: 0.5\r\n");
  input >> results;
  ASSERT_EQ(1u, assertions.count());
  EXPECT_EQ("Not implemented : CPAResultVector::read", assertions.records()[0].m_strExpression);
  EXPECT_EQ("MediaEvent", assertions.records()[0].m_strModule);
  EXPECT_EQ(0, input.tellg());
  EXPECT_EQ(3u, results.size());
}

TEST(ConnectionFailureType, WritesTheCodeAndCopiesTheDetail) {
  CountingDetail::s_iLive = 0;
  {
    const ConnectionFailureType failure(-42, new CountingDetail("no answer"));
    EXPECT_EQ("-42", textOf(failure));  // the detail is not written
    EXPECT_EQ("0", textOf(ConnectionFailureType()));
    ConnectionFailureType copy(failure);
    EXPECT_NE(failure.getDetail(), copy.getDetail());
    EXPECT_EQ("no answer", textOf(*copy.getDetail()));
    ConnectionFailureType assigned(7);
    assigned = failure;
    EXPECT_EQ(-42, assigned.getFailureCode());
    EXPECT_EQ(3, CountingDetail::s_iLive);
    assigned = ConnectionFailureType(8);
    EXPECT_EQ(nullptr, assigned.getDetail());
    EXPECT_EQ(2, CountingDetail::s_iLive);
  }
  EXPECT_EQ(0, CountingDetail::s_iLive);
}

// ---- notifications ----

// Every notification class: its exact text, and a clone of the same class writing the same.
TEST(MediaNotificationEvent, TextFormsAndClones) {
  using N = MediaNotificationEvent;
  const std::pair<std::shared_ptr<N>, std::string> aCases[] = {
      {std::make_shared<N>(MediaEndpoint::RX_DIRECTION, N::eFIRST_PACKET_DETECTED),
       "eNOTIFICATION dir=RX_DIRECTION eFIRST_PACKET_DETECTED"},
      {std::make_shared<ToneDetectedEvent>(MediaEndpoint::TX_DIRECTION, N::eCPA_UPDATE, 4, 12),
       "eTONE_DETECTED dir=TX_DIRECTION eCPA_UPDATE,toneid=4,toneevtid=12"},
      {std::make_shared<ToneDetectedEvent>(MediaEndpoint::RX_DIRECTION, static_cast<N::NotificationType>(2),
                                           4294967295u, 18446744073709551615ull),
       "eTONE_DETECTED dir=RX_DIRECTION ???,toneid=4294967295,toneevtid=18446744073709551615"},
      {std::make_shared<CPASuccessNotificationEvent>(MediaEndpoint::RX_DIRECTION, -3),
       "eNOTIFICATION dir=RX_DIRECTION eCPA_RESULT_SUCCESS -3"},
      {std::make_shared<CPAFailureNotificationEvent>(MediaEndpoint::TX_DIRECTION, ConnectionFailureType(42)),
       "eNOTIFICATION dir=TX_DIRECTION eCPA_RESULT_FAILURE 42"},
      // An update ends its notification text with a line end, then lists the results.
      {std::make_shared<CPAUpdateNotificationEvent>(MediaEndpoint::RX_DIRECTION, CPAResultVector()),
       "eNOTIFICATION dir=RX_DIRECTION eCPA_UPDATE\n"},
      {std::make_shared<CPAUpdateNotificationEvent>(MediaEndpoint::RX_DIRECTION,
                                                    CPAResultVector{CPAResult(CPAResult::eBUSY, 0.5f)}),
       "eNOTIFICATION dir=RX_DIRECTION eCPA_UPDATE\nBusy: 0.5\r\n"}};
  for (const auto& testCase : aCases) {
    EXPECT_EQ(testCase.second, textOf(*testCase.first));
    std::unique_ptr<MediaEvent> pClone(testCase.first->clone());
    const MediaEvent& original = *testCase.first;
    const MediaEvent& clone = *pClone;
    EXPECT_EQ(typeid(original), typeid(clone));
    EXPECT_EQ(testCase.second, textOf(*pClone));
  }
}

TEST(MediaNotificationEvent, ClonesAreDeepAndTheEngineWrapperOwnsTheNotification) {
  CountingDetail::s_iLive = 0;
  AssertionRecorder assertions;
  std::unique_ptr<MediaNotificationEvent> pFailure(new CPAFailureNotificationEvent(
      MediaEndpoint::TX_DIRECTION, ConnectionFailureType(5, new CountingDetail("busy"))));
  EXPECT_EQ(1, CountingDetail::s_iLive);  // the event holds its own copy, the argument is gone
  std::unique_ptr<MediaNotificationEvent> pFailureClone(pFailure->clone());
  EXPECT_EQ(2, CountingDetail::s_iLive);
  pFailure.reset();
  const auto& failure = dynamic_cast<const CPAFailureNotificationEvent&>(*pFailureClone);
  ASSERT_NE(nullptr, failure.getFailure().getDetail());
  EXPECT_EQ("busy", textOf(*failure.getFailure().getDetail()));
  pFailureClone.reset();
  EXPECT_EQ(0, CountingDetail::s_iLive);

  std::unique_ptr<CPAUpdateNotificationEvent> pUpdate(new CPAUpdateNotificationEvent(
      MediaEndpoint::RX_DIRECTION,
      CPAResultVector{CPAResult(CPAResult::eHUMAN, 0.9f), CPAResult(CPAResult::eFAX, 0.1f)}));
  std::unique_ptr<CPAUpdateNotificationEvent> pUpdateCopy(pUpdate->clone());
  EXPECT_NE(&pUpdate->getResults(), &pUpdateCopy->getResults());
  pUpdate.reset();
  ASSERT_EQ(2u, pUpdateCopy->getResults().size());
  EXPECT_FLOAT_EQ(0.1f, pUpdateCopy->getResults()[1].m_fScore);

  const ToneDetectedEvent tone(MediaEndpoint::RX_DIRECTION, MediaNotificationEvent::eCPA_UPDATE, 9, 99);
  std::unique_ptr<ToneDetectedEvent> pToneClone(tone.clone());
  EXPECT_EQ(9u, pToneClone->getToneId());
  EXPECT_EQ(99u, pToneClone->getToneEventId());

  NullCallContainer container;
  auto* pNotification = new CPAFailureNotificationEvent(
      MediaEndpoint::RX_DIRECTION, ConnectionFailureType(3, new CountingDetail("sit")));
  {
    const MediaEngineNotificationEvent wrapper(pNotification->getDirection(), &container, 2, pNotification);
    EXPECT_EQ(pNotification, &wrapper.getEvent());
    std::unique_ptr<MediaEngineNotificationEvent> pCopy(wrapper.clone());
    EXPECT_NE(pNotification, &pCopy->getEvent());
    EXPECT_EQ(2, CountingDetail::s_iLive);
  }
  EXPECT_EQ(0, CountingDetail::s_iLive);
  EXPECT_EQ(0u, assertions.count());
}

class UnallocatedTone : public ToneDetectedEvent {
 public:
  UnallocatedTone()
      : MediaNotificationEvent(MediaEndpoint::RX_DIRECTION, eCPA_UPDATE, eTONE_DETECTED),
        ToneDetectedEvent(MediaEndpoint::RX_DIRECTION, eCPA_UPDATE, 1, 2) {}
  int m_iExtra = 0;
};

TEST(MediaNotificationEvent, DerivedClassesWithoutTheirOwnAllocatorAreReported) {
  AssertionRecorder assertions;
  delete new UnallocatedTone();
  ASSERT_EQ(1u, assertions.count());
  EXPECT_EQ("in_uiSize == sizeof(ToneDetectedEvent)", assertions.records()[0].m_strExpression);
  EXPECT_EQ("MediaEvent", assertions.records()[0].m_strModule);
}

}  // namespace
}  // namespace Omvera
