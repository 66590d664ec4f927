// Endpoint types and specs, directions, operation status and the endpoint interface's
// default out-of-band handling.
#include <gtest/gtest.h>

#include <memory>

#include "support/LogCapture.h"
#include "tidewave/MediaEndpoint.h"

namespace Omvera {
namespace {

using Test::LogCapture;

TEST(EndpointTypes, NameEveryTypeAndFallBackOutsideTheTable) {
  EXPECT_STREQ("eSND_RECV", MediaEndpointSpec::getEptTypeString(MediaEndpointSpec::eSND_RECV));
  EXPECT_STREQ("eREDIRECT_RX",
               MediaEndpointSpec::getEptTypeString(MediaEndpointSpec::eREDIRECT_RX));
  EXPECT_STREQ("eFORK_TX", MediaEndpointSpec::getEptTypeString(MediaEndpointSpec::eFORK_TX));
  EXPECT_STREQ("eUNDEF_EPT_TYPE",
               MediaEndpointSpec::getEptTypeString(MediaEndpointSpec::eUNDEF_EPT_TYPE));
  for (int iValue : {4, 7, -1}) {
    EXPECT_STREQ("???MediaEndpointSpec::EptType???",
                 MediaEndpointSpec::getEptTypeString(static_cast<MediaEndpointSpec::EptType>(iValue)));
  }
}

TEST(Directions, NameEveryDirectionAndOnlyTxSidesAreTx) {
  EXPECT_STREQ("RX_DIRECTION", MediaEndpoint::getDirectionString(MediaEndpoint::RX_DIRECTION));
  EXPECT_STREQ("TX_DIRECTION", MediaEndpoint::getDirectionString(MediaEndpoint::TX_DIRECTION));
  EXPECT_STREQ("RXTX_DIRECTION", MediaEndpoint::getDirectionString(MediaEndpoint::RXTX_DIRECTION));
  EXPECT_STREQ("UNDEF_DIRECTION",
               MediaEndpoint::getDirectionString(static_cast<MediaEndpoint::Direction>(3)));
  EXPECT_STREQ("???", MediaEndpoint::getDirectionString(static_cast<MediaEndpoint::Direction>(4)));
  EXPECT_STREQ("???", MediaEndpoint::getDirectionString(static_cast<MediaEndpoint::Direction>(-1)));

  EXPECT_FALSE(MediaEndpoint::isTx(MediaEndpoint::RX_DIRECTION));
  EXPECT_TRUE(MediaEndpoint::isTx(MediaEndpoint::TX_DIRECTION));
  EXPECT_TRUE(MediaEndpoint::isTx(MediaEndpoint::RXTX_DIRECTION));
  EXPECT_FALSE(MediaEndpoint::isTx(MediaEndpoint::UNDEF_DIRECTION));
  EXPECT_FALSE(MediaEndpoint::isTx(static_cast<MediaEndpoint::Direction>(5)));
}

TEST(OperationStatus, NamesBothValuesAndFallsBack) {
  EXPECT_STREQ("EPT_OP_OK", MediaEndpointCallback::getOpStatusString(MediaEndpointCallback::EPT_OP_OK));
  EXPECT_STREQ("EPT_OP_FAILED",
               MediaEndpointCallback::getOpStatusString(MediaEndpointCallback::EPT_OP_FAILED));
  EXPECT_STREQ("???", MediaEndpointCallback::getOpStatusString(
                          static_cast<MediaEndpointCallback::EptOpStatus>(2)));
  EXPECT_STREQ("???", MediaEndpointCallback::getOpStatusString(
                          static_cast<MediaEndpointCallback::EptOpStatus>(-1)));
}

TEST(EndpointSpecs, EachSubclassReportsItsTypeThroughTheBase) {
  std::unique_ptr<MediaEndpointSpec> pPlain(new MediaEndpointSpec());
  std::unique_ptr<MediaEndpointSpec> pRedirect(new RedirectRxEndpointSpec("ept-1"));
  std::unique_ptr<MediaEndpointSpec> pFork(new ForkTxEndpointSpec(std::string("ept-2")));
  EXPECT_EQ(MediaEndpointSpec::eSND_RECV, pPlain->getEptType());
  EXPECT_EQ(MediaEndpointSpec::eREDIRECT_RX, pRedirect->getEptType());
  EXPECT_EQ(MediaEndpointSpec::eFORK_TX, pFork->getEptType());
  // Deleted through the base (the unique_ptrs): the subclass strings are freed too.
}

TEST(EndpointSpecs, RedirectForIdIsValidOnlyWhenGiven) {
  const RedirectRxEndpointSpec redirect("ept-1");
  ASSERT_TRUE(redirect.getRedirectForEptId().valid());
  EXPECT_EQ("ept-1", redirect.getRedirectForEptId().getValue());

  EXPECT_TRUE(ForkTxEndpointSpec("").getRedirectForEptId().valid());
  EXPECT_FALSE(RedirectRxEndpointSpec().getRedirectForEptId().valid());
  EXPECT_FALSE(RedirectRxEndpointSpec(static_cast<const char*>(nullptr)).getRedirectForEptId().valid());
  EXPECT_FALSE(ForkTxEndpointSpec().getRedirectForEptId().valid());
  EXPECT_FALSE(ForkTxEndpointSpec(static_cast<const char*>(nullptr)).getRedirectForEptId().valid());
}

TEST(EndpointSpecs, CopiesKeepTypeAndId) {
  const ForkTxEndpointSpec original("ept-forked");
  ForkTxEndpointSpec copy(original);
  ForkTxEndpointSpec assigned;
  assigned = original;
  EXPECT_EQ(MediaEndpointSpec::eFORK_TX, copy.getEptType());
  EXPECT_EQ("ept-forked", copy.getRedirectForEptId().getValue());
  EXPECT_EQ("ept-forked", assigned.getRedirectForEptId().getValue());

  const RedirectRxEndpointSpec empty;
  RedirectRxEndpointSpec invalidCopy(empty);
  EXPECT_FALSE(invalidCopy.getRedirectForEptId().valid());
}

// The least endpoint: everything but the default out-of-band handling is a stub.
class StubEndpoint : public MediaEndpoint {
 public:
  const char* getEptId() const override { return "stub"; }
  bool getCapacity(Direction) override { return false; }
  bool configure(Direction, MediaEndpointConfig*) override { return false; }
  bool start(Direction) override { return false; }
  bool stop(Direction) override { return false; }
  MediaEndpointProcessor* getProcessor() override { return nullptr; }
};

TEST(OutOfBandEvents, DefaultAcceptsAndTracesAtTheEndpointLoggersLevel) {
  StubEndpoint endpoint;
  {
    LogCapture capture("tidewave.media.Endpoint", LogLevel::TRACE);
    EXPECT_TRUE(endpoint.handleOutOfBandEvent(42));
    const auto vLines = capture.lines();
    ASSERT_EQ(2u, vLines.size());
    EXPECT_EQ("MediaEndpoint::handleOutOfBandEvent entry", vLines[0].m_strMessage);
    EXPECT_EQ("MediaEndpoint::handleOutOfBandEvent exit", vLines[1].m_strMessage);
    for (const auto& line : vLines) {
      EXPECT_EQ(LogLevel::TRACE, line.m_iLevel);
      EXPECT_EQ("tidewave.media.Endpoint", line.m_strLogger);
    }
  }
  {
    LogCapture capture("tidewave.media.Endpoint", LogLevel::DEBUG);
    EXPECT_TRUE(endpoint.handleOutOfBandEvent(-1));
    EXPECT_TRUE(capture.lines().empty());
  }
}

}  // namespace
}  // namespace Omvera
