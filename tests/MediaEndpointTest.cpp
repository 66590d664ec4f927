// Endpoint types and specs, directions, operation status and the endpoint interface's
// default out-of-band handling.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "tidewave/MediaEndpoint.h"

namespace Omvera {
namespace {

using Test::LogCapture;

TEST(EndpointVocabulary, NamesWithFallbacksAndOnlyTxSidesAreTx) {
  const char* const aszTypes[] = {"eSND_RECV", "eREDIRECT_RX", "eFORK_TX", "eUNDEF_EPT_TYPE",
                                  "???MediaEndpointSpec::EptType???"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_STREQ(aszTypes[i], MediaEndpointSpec::getEptTypeString(static_cast<MediaEndpointSpec::EptType>(i)));
  }
  EXPECT_STREQ(aszTypes[4], MediaEndpointSpec::getEptTypeString(static_cast<MediaEndpointSpec::EptType>(-1)));
  const char* const aszDirections[] = {"RX_DIRECTION", "TX_DIRECTION", "RXTX_DIRECTION", "UNDEF_DIRECTION", "???"};
  const bool abTx[] = {false, true, true, false, false};
  for (int i = 0; i < 5; ++i) {
    const auto eDirection = static_cast<MediaEndpoint::Direction>(i);
    EXPECT_STREQ(aszDirections[i], MediaEndpoint::getDirectionString(eDirection));
    EXPECT_EQ(abTx[i], MediaEndpoint::isTx(eDirection)) << i;
  }
  EXPECT_STREQ("???", MediaEndpoint::getDirectionString(static_cast<MediaEndpoint::Direction>(-1)));
  const char* const aszStatus[] = {"EPT_OP_OK", "EPT_OP_FAILED", "???"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(aszStatus[i],
                 MediaEndpointCallback::getOpStatusString(static_cast<MediaEndpointCallback::EptOpStatus>(i)));
  }
}

TEST(EndpointSpecs, TypeThroughTheBaseAndRedirectIdValidOnlyWhenGiven) {
  std::unique_ptr<MediaEndpointSpec> pPlain(new MediaEndpointSpec());
  std::unique_ptr<MediaEndpointSpec> pRedirect(new RedirectRxEndpointSpec("ept-1"));
  std::unique_ptr<MediaEndpointSpec> pFork(new ForkTxEndpointSpec(std::string("ept-2")));
  EXPECT_EQ(MediaEndpointSpec::eSND_RECV, pPlain->getEptType());
  EXPECT_EQ(MediaEndpointSpec::eREDIRECT_RX, pRedirect->getEptType());
  EXPECT_EQ(MediaEndpointSpec::eFORK_TX, pFork->getEptType());
  // Deleted through the base (the unique_ptrs): the subclass strings are freed too.

  EXPECT_TRUE(ForkTxEndpointSpec("").getRedirectForEptId().valid());
  EXPECT_FALSE(RedirectRxEndpointSpec().getRedirectForEptId().valid());
  EXPECT_FALSE(RedirectRxEndpointSpec(static_cast<const char*>(nullptr)).getRedirectForEptId().valid());
  EXPECT_FALSE(ForkTxEndpointSpec(static_cast<const char*>(nullptr)).getRedirectForEptId().valid());

  const ForkTxEndpointSpec original("ept-forked");
  ForkTxEndpointSpec copy(original);
  ForkTxEndpointSpec assigned;
  assigned = original;
  EXPECT_EQ("ept-forked", copy.getRedirectForEptId().getValue());
  EXPECT_EQ("ept-forked", assigned.getRedirectForEptId().getValue());
  EXPECT_FALSE(RedirectRxEndpointSpec(RedirectRxEndpointSpec()).getRedirectForEptId().valid());
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
    const std::vector<std::string> vExpected = {"MediaEndpoint::handleOutOfBandEvent entry",
                                                "MediaEndpoint::handleOutOfBandEvent exit"};
    EXPECT_EQ(vExpected, capture.messages());  // all of them at TRACE
    EXPECT_EQ(vExpected, capture.messages(LogLevel::TRACE));
  }
  {
    LogCapture capture("tidewave.media.Endpoint", LogLevel::DEBUG);
    EXPECT_TRUE(endpoint.handleOutOfBandEvent(-1));
    EXPECT_TRUE(capture.lines().empty());
  }
}

}  // namespace
}  // namespace Omvera
