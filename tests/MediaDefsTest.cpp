// Transports, stream modes, the capacity record, tone and processor object types, and the
// case-insensitive compare.
#include <gtest/gtest.h>

#include <string>
#include <strings.h>
#include <vector>

#include "support/TextOf.h"
#include "tidewave/MediaDefs.h"

namespace Omvera {
namespace {

using Media::StreamMode;
using Media::Transport;
using Test::textOf;

int sign(int in_iValue) { return (in_iValue > 0) - (in_iValue < 0); }

TEST(CaseInsensitiveCompare, FollowsThePosixSignConventionForAsciiTexts) {
  const std::vector<std::pair<const char*, const char*>> vPairs = {
      {"ctbus", "CTBUS"}, {"Host-Based", "host-based"}, {"", ""},      {"a", "B"},
      {"B", "a"},         {"abc", "abcd"},              {"abcd", "ABC"}, {"", "x"},
      {"_", "a"},         {"[", "a"},                   {"Z", "_"},      {"sendonly ", "sendonly"}};
  for (const auto& pair : vPairs) {
    EXPECT_EQ(sign(::strcasecmp(pair.first, pair.second)),
              sign(Omvera::strcasecmp(pair.first, pair.second)))
        << '"' << pair.first << "\" vs \"" << pair.second << '"';
  }
}

TEST(CaseInsensitiveCompare, FoldsOnlyAsciiLettersAndOrdersBytesUnsigned) {
  // Latin-1 upper/lower pairs are different bytes, whatever the locale.
  EXPECT_NE(0, Omvera::strcasecmp("\xC4", "\xE4"));
  EXPECT_GT(Omvera::strcasecmp("\xFF", "a"), 0);
  EXPECT_LT(Omvera::strcasecmp("a", "\x80"), 0);
}

TEST(CaseInsensitiveCompare, NullSortsFirstAndEqualsNull) {
  EXPECT_EQ(0, Omvera::strcasecmp(nullptr, nullptr));
  EXPECT_LT(Omvera::strcasecmp(nullptr, ""), 0);
  EXPECT_GT(Omvera::strcasecmp("", nullptr), 0);
}

TEST(Transports, ParseAcceptsEachSpellingInAnyCase) {
  const std::vector<std::pair<const char*, int>> vCases = {
      {"ctbus", 0},      {"CTBUS", 0},      {"CtBuS", 0},     {"in-memory", 1}, {"IN-MEMORY", 1},
      {"inmemory", 1},   {"host-based", 1}, {"Host-Based", 1}, {"hostbased", 1}, {"HOSTBASED", 1},
      {"dummy", 2},      {"Dummy", 2},      {"dummy-rtp", 2}, {"DUMMY-RTP", 2}};
  for (const auto& test : vCases) {
    EXPECT_EQ(test.second, Media::parseMediaTransport(test.first)) << test.first;
  }
}

TEST(Transports, UnrecognisedTextsParseToUndefined) {
  const char* const aTexts[] = {"ct-bus", "",      "ctbus ",    " ctbus",  "ctbu",
                                "ctbuss", "undef", "dummy-rt",  "dummyrtp", "host based",
                                "in_memory", "hostbasedd", "dummy-rtp\t"};
  for (const char* szText : aTexts) {
    EXPECT_EQ(Media::eUNDEF_TRANSPORT, Media::parseMediaTransport(szText)) << '"' << szText << '"';
  }
  EXPECT_EQ(Media::eUNDEF_TRANSPORT, Media::parseMediaTransport(nullptr));
}

TEST(Transports, PrintTheirTextWithFallbackOutsideTheTable) {
  EXPECT_EQ("ctbus", textOf(Media::eCTBUS_TRANSPORT));
  EXPECT_EQ("in-memory", textOf(Media::parseMediaTransport("inmemory")));
  EXPECT_EQ("in-memory", textOf(Media::parseMediaTransport("hostbased")));
  EXPECT_EQ("dummy", textOf(Media::parseMediaTransport("dummy-rtp")));
  EXPECT_EQ("undef", textOf(Media::parseMediaTransport("ct-bus")));
  EXPECT_EQ("???", textOf(static_cast<Transport>(4)));
  EXPECT_EQ("???", textOf(static_cast<Transport>(-1)));
  EXPECT_EQ("???", textOf(static_cast<Transport>(0x7fffffff)));
  // Every printable transport parses back to itself.
  for (int i = 0; i <= 3; ++i) {
    const Transport eTransport = static_cast<Transport>(i);
    EXPECT_EQ(eTransport, Media::parseMediaTransport(textOf(eTransport).c_str()));
  }
}

TEST(StreamModes, ParseIgnoresCaseButNothingElse) {
  EXPECT_EQ(Media::eSEND_ONLY_MODE, Media::parseMediaMode("sendonly"));
  EXPECT_EQ(Media::eRECV_ONLY_MODE, Media::parseMediaMode("RECVONLY"));
  EXPECT_EQ(Media::eSEND_RECV_MODE, Media::parseMediaMode("SendRecv"));
  EXPECT_EQ(Media::eINACTIVE_MODE, Media::parseMediaMode("Inactive"));
  const char* const aTexts[] = {"sendonly ", " sendonly", "sendonl", "sendonlyy", "",
                                "send-only", "undef",     "inactive\n"};
  for (const char* szText : aTexts) {
    EXPECT_EQ(Media::eUNDEF_MODE, Media::parseMediaMode(szText)) << '"' << szText << '"';
  }
  EXPECT_EQ(Media::eUNDEF_MODE, Media::parseMediaMode(nullptr));
}

TEST(StreamModes, PrintTheirTextsAndFallback) {
  const std::vector<std::string> vExpected = {"sendonly", "recvonly", "sendrecv",
                                              "inactive", "inactive", "undef"};
  for (int i = 0; i < static_cast<int>(vExpected.size()); ++i) {
    EXPECT_EQ(vExpected[i], Media::getMediaModeString(static_cast<StreamMode>(i))) << i;
  }
  EXPECT_STREQ("???", Media::getMediaModeString(static_cast<StreamMode>(6)));
  EXPECT_STREQ("???", Media::getMediaModeString(static_cast<StreamMode>(-1)));
  // The undefined mode's text does not turn into a defined mode when parsed again.
  EXPECT_EQ(Media::eUNDEF_MODE,
            Media::parseMediaMode(Media::getMediaModeString(Media::eUNDEF_MODE)));
}

TEST(ToneAndProcessorTypes, NameEveryValueAndFallBackOutsideTheTable) {
  const std::vector<std::string> vTones = {
      "SPRINGWARE_CALL_PROGRESS_TONE", "HMP_CALL_PROGRESS_TONE", "CUSTOM_TONE_RELAY",
      "DISCONNECT_TONE",               "LOCAL_DIAL_TONE",        "INTERNATIONAL_DIAL_TONE",
      "EXTRA_DIAL_TONE",               "POST_AMD_TONE",          "HMP_PRE_CONNECT_REORDER_TONE",
      "UNDEF_TONE_TYPE"};
  for (int i = 0; i < static_cast<int>(vTones.size()); ++i) {
    EXPECT_EQ(vTones[i], ToneDetector::getToneTypeString(static_cast<ToneDetector::ToneType>(i)));
  }
  EXPECT_STREQ("???", ToneDetector::getToneTypeString(static_cast<ToneDetector::ToneType>(10)));
  EXPECT_STREQ("???", ToneDetector::getToneTypeString(static_cast<ToneDetector::ToneType>(-1)));

  using ObjectType = MediaEndpointProcessorObjectType;
  EXPECT_STREQ("eSIGNAL_DETECTOR", ObjectType::getObjectTypeString(ObjectType::eSIGNAL_DETECTOR));
  EXPECT_STREQ("ePLAYER", ObjectType::getObjectTypeString(ObjectType::ePLAYER));
  EXPECT_STREQ("eRECORDER", ObjectType::getObjectTypeString(ObjectType::eRECORDER));
  EXPECT_STREQ("eUNDEFINED_OBJECT_TYPE",
               ObjectType::getObjectTypeString(ObjectType::eUNDEFINED_OBJECT_TYPE));
  EXPECT_STREQ("???", ObjectType::getObjectTypeString(static_cast<ObjectType::ObjectType>(4)));
  EXPECT_STREQ("???", ObjectType::getObjectTypeString(static_cast<ObjectType::ObjectType>(-5)));
}

TEST(EndpointCapacities, EmptyRecordWritesNothing) {
  EXPECT_EQ("", textOf(MediaEndpointCapacity()));
}

TEST(EndpointCapacities, OneEntryIsNameBlankAndBlankSeparatedValuesWithoutLineEnd) {
  MediaEndpointCapacity capacity;
  capacity["channels"] = {ParameterValue(1), ParameterValue(2)};
  EXPECT_EQ("channels 1 2", textOf(capacity));

  capacity["channels"] = {ParameterValue("g711"), ParameterValue(true), ParameterValue(2.5)};
  EXPECT_EQ("channels g711 true 2.5", textOf(capacity));

  capacity["channels"].clear();
  EXPECT_EQ("channels ", textOf(capacity));
}

TEST(EndpointCapacities, EntriesAreSeparatedByOneLineEndInIterationOrder) {
  MediaEndpointCapacity capacity;
  capacity["a"] = {ParameterValue(1)};
  capacity["b"] = {ParameterValue(2), ParameterValue(3)};
  capacity["c"] = {};
  std::string strExpected;
  for (const auto& entry : capacity) {
    if (!strExpected.empty()) strExpected += '\n';
    strExpected += entry.first + " ";
    for (std::size_t i = 0; i < entry.second.size(); ++i) {
      strExpected += (i == 0 ? "" : " ") + textOf(entry.second[i]);
    }
  }
  EXPECT_EQ(strExpected, textOf(capacity));
  EXPECT_NE('\n', textOf(capacity).back());
}

TEST(EndpointCapacities, CopiesAreIndependentValues) {
  MediaEndpointCapacity original;
  original["ports"] = {ParameterValue(4)};
  MediaEndpointCapacity copy(original);
  copy["ports"].push_back(ParameterValue(5));
  MediaEndpointCapacity assigned;
  assigned = original;
  original.clear();
  EXPECT_EQ("ports 4 5", textOf(copy));
  EXPECT_EQ("ports 4", textOf(assigned));
}

}  // namespace
}  // namespace Omvera
