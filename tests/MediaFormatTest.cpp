// Audio format names and parsing, silence and G.711 buffer copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "tidewave/G711.h"
#include "tidewave/MediaFormat.h"

namespace Omvera {
namespace {

using Media::Format;
using Test::AssertionRecorder;
using Test::LogCapture;
using Type = Format::Type;

const char* const s_szLOGGER = "tidewave.media.format";

// --- Names and initialisation ----------------------------------------------------------

TEST(MediaFormatTypes, NamesAndTheirFallback) {
  const char* const aNames[] = {"pcmu", "pcma", "G721", "G722",   "G723",
                                "G726", "G729", "gsm",  "linear", "unknown"};
  for (int i = 0; i < 10; ++i) EXPECT_STREQ(aNames[i], Format::getTypeString(Type(i))) << i;
  EXPECT_STREQ("MediaFormat_???", Format::getTypeString(Type(10)));
  EXPECT_STREQ("MediaFormat_???", Format::getTypeString(Type(-1)));
}

TEST(MediaFormatTypes, G711TypesSetRateAndCountOthersKeepThem) {
  const Format pcmu(Format::ePCMU);
  EXPECT_EQ(Format::ePCMU, pcmu.m_type);
  EXPECT_EQ(8000u, pcmu.m_uiSamplingRate);
  EXPECT_EQ(1u, pcmu.m_uiChannelCount);

  const Format g729(Format::eG729);
  EXPECT_EQ(Format::eG729, g729.m_type);
  EXPECT_EQ(0u, g729.m_uiSamplingRate);
  EXPECT_EQ(0u, g729.m_uiChannelCount);

  Format format(Format::ePCMA);
  format.m_uiSamplingRate = 16000;
  format.initFrom(Format::eLINEAR);
  EXPECT_EQ(Format::eLINEAR, format.m_type);
  EXPECT_EQ(16000u, format.m_uiSamplingRate);
  format.initFrom(Format::ePCMU);
  EXPECT_EQ(8000u, format.m_uiSamplingRate);
}

TEST(MediaFormatTypes, OutOfRangeTypeIsKeptAndLogged) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  Format format(Format::ePCMU);
  format.initFrom(Type(12));
  EXPECT_EQ(12, format.m_type);
  EXPECT_EQ(8000u, format.m_uiSamplingRate);
  format.initFrom(Type(-3));
  format.initFrom(Format::eUNKNOWN);  // the last valid value is not logged
  EXPECT_EQ((std::vector<std::string>{"invalid media format type : 12",
                                      "invalid media format type : -3"}),
            capture.messages(LogLevel::ERROR));
}

// --- Parsing one name ------------------------------------------------------------------

TEST(MediaFormatParsing, AcceptedNamesInAnyCase) {
  const struct {
    const char* m_szText;
    Type m_type;
  } aCases[] = {{"pcmu", Format::ePCMU},   {"PCMU", Format::ePCMU},    {"ulaw", Format::ePCMU},
                {"Ulaw", Format::ePCMU},   {"uLaW", Format::ePCMU},    {"pcma", Format::ePCMA},
                {"PcmA", Format::ePCMA},   {"ALAW", Format::ePCMA},    {"G721", Format::eG721},
                {"g721", Format::eG721},   {"G722", Format::eG722},    {"g723", Format::eG723},
                {"G729", Format::eG729},   {"gsm", Format::eGSM},      {"GSM", Format::eGSM},
                {"linear", Format::eLINEAR}, {"LINEAR", Format::eLINEAR}};
  for (const auto& testCase : aCases) {
    const Fallible<Type> parsed = Format::parseTypeString(testCase.m_szText);
    ASSERT_TRUE(parsed.valid()) << testCase.m_szText;
    EXPECT_EQ(testCase.m_type, parsed.getValue()) << testCase.m_szText;
  }
}

TEST(MediaFormatParsing, RejectedTextsInTheGLAndPGroups) {
  const char* const aRejected[] = {"",      "G726", "Gxyz",  "G7",    "G72",     "G7211",
                                   "G721 ", "gs",   "gsmx",  "g",     "linea",   "linear ",
                                   "L",     "pcm",  "pcmuu", "pcmu ", "Pcm-a",   "p"};
  for (const char* szText : aRejected) {
    EXPECT_TRUE(Format::parseTypeString(szText).failed()) << "'" << szText << "'";
  }
  EXPECT_TRUE(Format::parseTypeString(nullptr).failed());
}

TEST(MediaFormatParsing, AnyOtherTextIsTheValidUnknownType) {
  // Outside the G, L and P groups only the exact (case-free) ulaw and alaw are recognised;
  // a blank before or after makes a different, unknown name.
  for (const char* szText : {"mp3", "unknown", "ulaw ", " pcmu", "ula", "alaww", "x", "9", "\t"}) {
    const Fallible<Type> parsed = Format::parseTypeString(szText);
    ASSERT_TRUE(parsed.valid()) << "'" << szText << "'";
    EXPECT_EQ(Format::eUNKNOWN, parsed.getValue()) << "'" << szText << "'";
  }
}

TEST(MediaFormatParsing, EveryPrintedNameButG726ParsesBack) {
  for (int i = 0; i < 10; ++i) {
    const Fallible<Type> parsed = Format::parseTypeString(Format::getTypeString(Type(i)));
    if (i == Format::eG726) {
      EXPECT_TRUE(parsed.failed());
    } else {
      ASSERT_TRUE(parsed.valid()) << i;
      EXPECT_EQ(i, parsed.getValue()) << i;
    }
  }
}

// --- Parsing lists ---------------------------------------------------------------------

TEST(MediaFormatListParsing, SeparatorRunsMakeNoEmptyNames) {
  std::vector<Type> vTypes;
  EXPECT_TRUE(Format::parseTypeListString("pcmu, pcma  gsm", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::ePCMU, Format::ePCMA, Format::eGSM}), vTypes);

  vTypes.clear();
  EXPECT_TRUE(Format::parseTypeListString(",\t linear\r\n,,mp3 ,", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::eLINEAR, Format::eUNKNOWN}), vTypes);

  vTypes.clear();
  EXPECT_FALSE(Format::parseTypeListString(" , ,, ", vTypes));
  EXPECT_FALSE(Format::parseTypeListString("", vTypes));
  EXPECT_TRUE(vTypes.empty());
}

TEST(MediaFormatListParsing, AppendsAndStopsAtTheFirstInvalidName) {
  std::vector<Type> vTypes{Format::eG729};
  EXPECT_TRUE(Format::parseTypeListString("alaw", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::eG729, Format::ePCMA}), vTypes);

  vTypes.clear();
  EXPECT_FALSE(Format::parseTypeListString("pcmu,G7", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::ePCMU}), vTypes);

  vTypes.clear();
  EXPECT_FALSE(Format::parseTypeListString("pcmu G726 pcma", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::ePCMU}), vTypes);
}

TEST(MediaFormatListParsing, IntoFormatsReplacesOnlyOnSuccess) {
  std::vector<Format> vFormats{Format(Format::ePCMU), Format(Format::eGSM), Format(Format::eGSM)};
  EXPECT_FALSE(Format::parseTypeListString("pcma G7", vFormats));
  ASSERT_EQ(3u, vFormats.size());
  EXPECT_EQ(Format::ePCMU, vFormats[0].m_type);
  EXPECT_FALSE(Format::parseTypeListString(" ,", vFormats));
  EXPECT_EQ(3u, vFormats.size());

  EXPECT_TRUE(Format::parseTypeListString("linear pcma", vFormats));
  ASSERT_EQ(2u, vFormats.size());
  EXPECT_EQ(Format::eLINEAR, vFormats[0].m_type);
  EXPECT_EQ(8000u, vFormats[0].m_uiSamplingRate);  // kept from the pcmu element it reused
  EXPECT_EQ(Format::ePCMA, vFormats[1].m_type);
  EXPECT_EQ(8000u, vFormats[1].m_uiSamplingRate);
  EXPECT_EQ(1u, vFormats[1].m_uiChannelCount);

  std::vector<Format> vFresh;
  EXPECT_TRUE(Format::parseTypeListString("G729", vFresh));
  ASSERT_EQ(1u, vFresh.size());
  EXPECT_EQ(0u, vFresh[0].m_uiSamplingRate);
}

TEST(MediaFormatListParsing, NullListRaisesTheAssertionAndFails) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  std::vector<Type> vTypes{Format::eGSM};
  std::vector<Format> vFormats(2);
  EXPECT_FALSE(Format::parseTypeListString(nullptr, vTypes));
  EXPECT_FALSE(Format::parseTypeListString(nullptr, vFormats));
  EXPECT_EQ(1u, vTypes.size());
  EXPECT_EQ(2u, vFormats.size());
  EXPECT_EQ((std::vector<std::string>{"in_szTypeList != 0", "in_szTypeList != 0"}),
            recorder.expressions());
  EXPECT_EQ("MediaFormat", recorder.records()[0].m_strModule);
  EXPECT_EQ(2u, capture.messages(LogLevel::ERROR).size());  // through the module logger
}

// --- Silence ---------------------------------------------------------------------------

TEST(MediaFormatSilence, G711SilenceFillsExactlyTheLength) {
  std::vector<unsigned char> vBuffer(9, 0x11);
  Format(Format::ePCMU).fillAudioBufferWithSilence(vBuffer.data(), 8);
  EXPECT_EQ((std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x11}),
            vBuffer);
  Format(Format::ePCMA).fillAudioBufferWithSilence(vBuffer.data(), 3);
  EXPECT_EQ((std::vector<unsigned char>{0x55, 0x55, 0x55, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x11}),
            vBuffer);
  Format(Format::ePCMA).fillAudioBufferWithSilence(vBuffer.data(), 0);
  EXPECT_EQ(0x55, vBuffer[0]);
}

TEST(MediaFormatSilence, OtherTypesWriteNothingLogAndAssert) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  unsigned char aBuffer[4] = {1, 2, 3, 4};
  Format(Format::eG729).fillAudioBufferWithSilence(aBuffer, 4);
  Format format;
  format.m_type = Type(42);
  format.fillAudioBufferWithSilence(aBuffer, 4);
  EXPECT_EQ(1, aBuffer[0]);
  EXPECT_EQ(4, aBuffer[3]);
  EXPECT_TRUE(capture.contains(
      LogLevel::ERROR, "Unsupported media format: 'G729'. Only 'pcmu' and 'pcma' are supported."));
  EXPECT_TRUE(capture.contains(
      LogLevel::ERROR,
      "Unsupported media format: 'MediaFormat_??\?'. Only 'pcmu' and 'pcma' are supported."));
  EXPECT_EQ(2u, recorder.count("false && \"Unsupported media format.\""));
  EXPECT_EQ(2u, recorder.count());
}

TEST(MediaFormatSilence, NullBufferIsRefusedWithoutWriting) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  Format(Format::ePCMU).fillAudioBufferWithSilence(nullptr, 160);
  Format(Format::ePCMU).fillAudioBufferWithSilence(nullptr, 0);
  EXPECT_EQ(1u, capture.messages(LogLevel::ERROR).size());
  EXPECT_EQ(0u, recorder.count());
}

// --- Copying ---------------------------------------------------------------------------

TEST(MediaFormatCopy, SameTypeCopiesBytesWhateverTheType) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);  // Type(77) is logged when constructed
  const unsigned char aSrc[5] = {0x00, 0x7F, 0x80, 0xD5, 0xFF};
  for (Type type : {Format::ePCMU, Format::ePCMA, Format::eLINEAR, Format::eG729, Type(77)}) {
    unsigned char aDst[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(aDst, Format::copyAudioBuffer(aSrc, Format(type), aDst, Format(type), 5)) << type;
    EXPECT_EQ(0, std::memcmp(aSrc, aDst, 5));
    EXPECT_EQ(9, aDst[5]);
  }
  unsigned char aSame[2] = {1, 2};
  EXPECT_EQ(aSame, Format::copyAudioBuffer(aSame, Format::ePCMU, aSame, Format::ePCMU, 2));
  EXPECT_EQ(2, aSame[1]);
}

TEST(MediaFormatCopy, TranscodesBetweenTheG711Laws) {
  std::vector<unsigned char> vSrc(256);
  for (int i = 0; i < 256; ++i) vSrc[i] = static_cast<unsigned char>(i);
  std::vector<unsigned char> vDst(257, 0xEE);

  EXPECT_EQ(vDst.data(), Format::copyAudioBuffer(vSrc.data(), Format::ePCMU, vDst.data(),
                                                 Format::ePCMA, 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(ulaw2alaw(vSrc[i]), vDst[i]) << i;
  EXPECT_EQ(vDst.data(), Format::copyAudioBuffer(vSrc.data(), Format::ePCMA, vDst.data(),
                                                 Format::ePCMU, 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(alaw2ulaw(vSrc[i]), vDst[i]) << i;
  EXPECT_EQ(0xEE, vDst[256]);

  // In place: a tone buffer converted within itself.
  Format::copyAudioBuffer(vSrc.data(), Format::ePCMA, vSrc.data(), Format::ePCMU, 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(alaw2ulaw(static_cast<unsigned char>(i)), vSrc[i]);
}

TEST(MediaFormatCopy, UnsupportedPairsGiveNullAndAssertOnlyWithoutG711) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  unsigned char aSrc[2] = {1, 2};
  unsigned char aDst[2] = {7, 7};
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::ePCMU, aDst, Format::eLINEAR, 2));
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::eG729, aDst, Format::ePCMA, 2));
  EXPECT_EQ(0u, recorder.count());
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::eLINEAR, aDst, Format::eGSM, 2));
  EXPECT_EQ((std::vector<std::string>{
                "in_DstFormat.m_type == ePCMA || in_DstFormat.m_type == ePCMU || "
                "in_SrcFormat.m_type == ePCMA || in_SrcFormat.m_type == ePCMU"}),
            recorder.expressions());
  EXPECT_EQ("MediaFormat", recorder.records()[0].m_strModule);
  EXPECT_EQ(7, aDst[0]);
  EXPECT_EQ(7, aDst[1]);
}

TEST(MediaFormatCopy, NullBuffersGiveNullUnlessNothingIsCopied) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  unsigned char aBuffer[1] = {5};
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(nullptr, Format::ePCMU, aBuffer, Format::ePCMA, 1));
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aBuffer, Format::ePCMU, nullptr, Format::ePCMU, 1));
  EXPECT_EQ(5, aBuffer[0]);
  EXPECT_EQ(2u, capture.messages(LogLevel::ERROR).size());
  EXPECT_EQ(aBuffer, Format::copyAudioBuffer(nullptr, Format::ePCMU, aBuffer, Format::ePCMU, 0));
  EXPECT_EQ(aBuffer, Format::copyAudioBuffer(nullptr, Format::ePCMU, aBuffer, Format::ePCMA, 0));
}

}  // namespace
}  // namespace Omvera
