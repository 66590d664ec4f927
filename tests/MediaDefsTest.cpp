// Transports, stream modes, the capacity record, tone and processor object types, and the
// case-insensitive compare.
#include <gtest/gtest.h>

#include <string>
#include <strings.h>
#include <utility>
#include <vector>

#include "support/TextOf.h"
#include "tidewave/MediaDefs.h"

namespace Omvera {
namespace {

using Media::StreamMode;
using Media::Transport;
using Test::textOf;

int sign(int in_iValue) { return (in_iValue > 0) - (in_iValue < 0); }

TEST(CaseInsensitiveCompare, PosixSignsForAsciiUnsignedBytesAndNullFirst) {
  const std::vector<std::pair<const char*, const char*>> vPairs = {
      {"ctbus", "CTBUS"}, {"Host-Based", "host-based"}, {"", ""},      {"a", "B"},
      {"B", "a"},         {"abc", "abcd"},              {"abcd", "ABC"}, {"", "x"},
      {"_", "a"},         {"[", "a"},                   {"Z", "_"},      {"sendonly ", "sendonly"}};
  for (const auto& pair : vPairs) {
    EXPECT_EQ(sign(::strcasecmp(pair.first, pair.second)), sign(Omvera::strcasecmp(pair.first, pair.second)))
        << '"' << pair.first << "\" vs \"" << pair.second << '"';
  }
  // Latin-1 upper/lower pairs are different bytes, whatever the locale.
  EXPECT_NE(0, Omvera::strcasecmp("\xC4", "\xE4"));
  EXPECT_GT(Omvera::strcasecmp("\xFF", "a"), 0);
  EXPECT_EQ(0, Omvera::strcasecmp(nullptr, nullptr));
  EXPECT_LT(Omvera::strcasecmp(nullptr, ""), 0);
  EXPECT_GT(Omvera::strcasecmp("", nullptr), 0);
}

TEST(Transports, ParseEachSpellingInAnyCaseAndNothingElse) {
  const std::vector<std::pair<const char*, int>> vCases = {
      {"CtBuS", 0},   {"IN-MEMORY", 1}, {"inmemory", 1},  {"Host-Based", 1}, {"HOSTBASED", 1},
      {"Dummy", 2},   {"DUMMY-RTP", 2}, {"ct-bus", 3},    {"", 3},           {"ctbus ", 3},
      {" ctbus", 3},  {"ctbu", 3},      {"ctbuss", 3},    {"undef", 3},      {"dummy-rt", 3},
      {"dummyrtp", 3}, {"host based", 3}, {"in_memory", 3}, {"hostbasedd", 3}, {"dummy-rtp\t", 3}};
  static_assert(Media::eUNDEF_TRANSPORT == 3, "undefined transport");
  for (const auto& test : vCases) {
    EXPECT_EQ(test.second, Media::parseMediaTransport(test.first)) << '"' << test.first << '"';
  }
  EXPECT_EQ(Media::eUNDEF_TRANSPORT, Media::parseMediaTransport(nullptr));
}

TEST(Transports, PrintTheirTextWithFallbackOutsideTheTable) {
  const char* const aszNames[] = {"ctbus", "in-memory", "dummy", "undef", "???"};
  for (int i = 0; i <= 4; ++i) {
    const Transport eTransport = static_cast<Transport>(i);
    EXPECT_EQ(aszNames[i], textOf(eTransport));
    if (i < 4) {
      EXPECT_EQ(eTransport, Media::parseMediaTransport(aszNames[i]));  // parses back
    }
  }
  EXPECT_EQ("???", textOf(static_cast<Transport>(-1)));
}

TEST(StreamModes, ParseIgnoresCaseButNothingElseAndPrintWithFallback) {
  EXPECT_EQ(Media::eSEND_ONLY_MODE, Media::parseMediaMode("sendonly"));
  EXPECT_EQ(Media::eRECV_ONLY_MODE, Media::parseMediaMode("RECVONLY"));
  EXPECT_EQ(Media::eSEND_RECV_MODE, Media::parseMediaMode("SendRecv"));
  EXPECT_EQ(Media::eINACTIVE_MODE, Media::parseMediaMode("Inactive"));
  for (const char* szText : {"sendonly ", " sendonly", "sendonl", "sendonlyy", "", "send-only", "undef",
                             "inactive\n", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(Media::eUNDEF_MODE, Media::parseMediaMode(szText)) << '"' << (szText ? szText : "(null)") << '"';
  }
  const std::vector<std::string> vExpected = {"sendonly", "recvonly", "sendrecv", "inactive", "inactive",
                                              "undef",    "???"};
  for (int i = 0; i < static_cast<int>(vExpected.size()); ++i) {
    EXPECT_EQ(vExpected[i], Media::getMediaModeString(static_cast<StreamMode>(i))) << i;
  }
  EXPECT_STREQ("???", Media::getMediaModeString(static_cast<StreamMode>(-1)));
}

TEST(ToneAndProcessorTypes, NameEveryValueAndFallBackOutsideTheTable) {
  // The first and last names, one between, and the fallbacks on both sides.
  const std::pair<int, const char*> aTones[] = {
      {0, "SPRINGWARE_CALL_PROGRESS_TONE"}, {4, "LOCAL_DIAL_TONE"}, {8, "HMP_PRE_CONNECT_REORDER_TONE"},
      {9, "UNDEF_TONE_TYPE"}, {10, "???"}, {-1, "???"}};
  for (const auto& tone : aTones) {
    EXPECT_STREQ(tone.second, ToneDetector::getToneTypeString(static_cast<ToneDetector::ToneType>(tone.first)));
  }
  using ObjectType = MediaEndpointProcessorObjectType;
  const std::vector<std::string> vObjects = {"eSIGNAL_DETECTOR", "ePLAYER", "eRECORDER",
                                             "eUNDEFINED_OBJECT_TYPE", "???"};
  for (int i = 0; i < static_cast<int>(vObjects.size()); ++i) {
    EXPECT_EQ(vObjects[i], ObjectType::getObjectTypeString(static_cast<ObjectType::ObjectType>(i)));
  }
  EXPECT_STREQ("???", ObjectType::getObjectTypeString(static_cast<ObjectType::ObjectType>(-5)));
}

TEST(EndpointCapacities, NameBlankValuesEntriesSeparatedByOneLineEnd) {
  MediaEndpointCapacity capacity;
  EXPECT_EQ("", textOf(capacity));
  capacity["channels"] = {ParameterValue("g711"), ParameterValue(true), ParameterValue(2.5)};
  EXPECT_EQ("channels g711 true 2.5", textOf(capacity));
  capacity["channels"].clear();
  EXPECT_EQ("channels ", textOf(capacity));

  capacity["b"] = {ParameterValue(2), ParameterValue(3)};
  std::string strExpected;
  for (const auto& entry : capacity) {
    if (!strExpected.empty()) strExpected += '\n';
    strExpected += entry.first + (entry.first == "b" ? " 2 3" : " ");
  }
  EXPECT_EQ(strExpected, textOf(capacity));

  MediaEndpointCapacity copy(capacity);  // copies are independent values
  copy["b"].push_back(ParameterValue(5));
  capacity.clear();
  EXPECT_EQ(3u, copy["b"].size());
}

}  // namespace
}  // namespace Omvera
