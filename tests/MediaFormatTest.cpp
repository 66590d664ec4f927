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

// --- Names, initialisation, parsing ---------------------------------------------------

TEST(MediaFormatTypes, NamesFallbackAndRoundTrip) {
  const char* const aNames[] = {"pcmu", "pcma", "G721", "G722",   "G723",
                                "G726", "G729", "gsm",  "linear", "unknown"};
  for (int i = 0; i < 10; ++i) {
    EXPECT_STREQ(aNames[i], Format::getTypeString(Type(i))) << i;
    const Fallible<Type> parsed = Format::parseTypeString(aNames[i]);
    EXPECT_EQ(i != Format::eG726, parsed.valid()) << i;  // every printed name but G726 parses back
    if (parsed.valid()) {
      EXPECT_EQ(i, parsed.getValue()) << i;
    }
  }
  EXPECT_STREQ("MediaFormat_???", Format::getTypeString(Type(10)));
  EXPECT_STREQ("MediaFormat_???", Format::getTypeString(Type(-1)));
}

TEST(MediaFormatTypes, G711TypesSetRateOthersKeepItOutOfRangeIsLogged) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  const Format pcmu(Format::ePCMU);
  EXPECT_EQ(8000u, pcmu.m_uiSamplingRate);
  EXPECT_EQ(1u, pcmu.m_uiChannelCount);
  EXPECT_EQ(0u, Format(Format::eG729).m_uiSamplingRate);

  Format format(Format::ePCMA);
  format.m_uiSamplingRate = 16000;
  format.initFrom(Format::eLINEAR);
  EXPECT_EQ(Format::eLINEAR, format.m_type);
  EXPECT_EQ(16000u, format.m_uiSamplingRate);
  format.initFrom(Format::ePCMU);
  EXPECT_EQ(8000u, format.m_uiSamplingRate);
  format.initFrom(Type(12));
  EXPECT_EQ(12, format.m_type);
  format.initFrom(Type(-3));
  format.initFrom(Format::eUNKNOWN);  // the last valid value is not logged
  EXPECT_EQ((std::vector<std::string>{"invalid media format type : 12", "invalid media format type : -3"}),
            capture.messages(LogLevel::ERROR));
}

TEST(MediaFormatParsing, CaseFreeNamesRejectsAndTheUnknownFallback) {
  const struct {
    const char* m_szText;
    Type m_type;
  } aAccepted[] = {{"PCMU", Format::ePCMU}, {"uLaW", Format::ePCMU},   {"PcmA", Format::ePCMA},
                   {"ALAW", Format::ePCMA}, {"g721", Format::eG721},   {"G722", Format::eG722},
                   {"g723", Format::eG723}, {"GSM", Format::eGSM},     {"LINEAR", Format::eLINEAR},
                   // Outside the G, L and P groups only the exact (case-free) ulaw and alaw are
                   // recognised; a blank before or after makes a different, unknown name.
                   {"mp3", Format::eUNKNOWN}, {"ulaw ", Format::eUNKNOWN}, {" pcmu", Format::eUNKNOWN},
                   {"ula", Format::eUNKNOWN}, {"alaww", Format::eUNKNOWN}, {"\t", Format::eUNKNOWN}};
  for (const auto& testCase : aAccepted) {
    const Fallible<Type> parsed = Format::parseTypeString(testCase.m_szText);
    ASSERT_TRUE(parsed.valid()) << "'" << testCase.m_szText << "'";
    EXPECT_EQ(testCase.m_type, parsed.getValue()) << "'" << testCase.m_szText << "'";
  }
  for (const char* szText : {"", "G726", "Gxyz", "G72", "G7211", "G721 ", "gs", "gsmx", "g", "linea",
                             "linear ", "L", "pcm", "pcmuu", "pcmu ", "Pcm-a", "p"}) {
    EXPECT_TRUE(Format::parseTypeString(szText).failed()) << "'" << szText << "'";
  }
  EXPECT_TRUE(Format::parseTypeString(nullptr).failed());
}

// --- Parsing lists ---------------------------------------------------------------------

TEST(MediaFormatListParsing, SeparatorRunsAppendingAndStopAtTheFirstInvalidName) {
  std::vector<Type> vTypes{Format::eG729};
  EXPECT_TRUE(Format::parseTypeListString(",\t linear\r\n,,mp3 , alaw", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::eG729, Format::eLINEAR, Format::eUNKNOWN, Format::ePCMA}), vTypes);

  vTypes.clear();
  EXPECT_FALSE(Format::parseTypeListString(" , ,, ", vTypes));
  EXPECT_FALSE(Format::parseTypeListString("", vTypes));
  EXPECT_TRUE(vTypes.empty());
  EXPECT_FALSE(Format::parseTypeListString("pcmu G726 pcma", vTypes));
  EXPECT_EQ((std::vector<Type>{Format::ePCMU}), vTypes);
}

TEST(MediaFormatListParsing, IntoFormatsReplacesOnlyOnSuccessAndNullFails) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  std::vector<Format> vFormats{Format(Format::ePCMU), Format(Format::eGSM), Format(Format::eGSM)};
  EXPECT_FALSE(Format::parseTypeListString("pcma G7", vFormats));
  EXPECT_FALSE(Format::parseTypeListString(" ,", vFormats));
  ASSERT_EQ(3u, vFormats.size());
  EXPECT_EQ(Format::ePCMU, vFormats[0].m_type);

  EXPECT_TRUE(Format::parseTypeListString("linear pcma", vFormats));
  ASSERT_EQ(2u, vFormats.size());
  EXPECT_EQ(Format::eLINEAR, vFormats[0].m_type);
  EXPECT_EQ(8000u, vFormats[0].m_uiSamplingRate);  // kept from the pcmu element it reused
  EXPECT_EQ(Format::ePCMA, vFormats[1].m_type);
  EXPECT_EQ(8000u, vFormats[1].m_uiSamplingRate);
  EXPECT_EQ(0u, recorder.count());

  std::vector<Type> vTypes{Format::eGSM};
  EXPECT_FALSE(Format::parseTypeListString(nullptr, vTypes));
  EXPECT_FALSE(Format::parseTypeListString(nullptr, vFormats));
  EXPECT_EQ(1u, vTypes.size());
  EXPECT_EQ(2u, vFormats.size());
  EXPECT_EQ((std::vector<std::string>{"in_szTypeList != 0", "in_szTypeList != 0"}), recorder.expressions());
  EXPECT_EQ("MediaFormat", recorder.records()[0].m_strModule);
  EXPECT_EQ(2u, capture.messages(LogLevel::ERROR).size());  // through the module logger
}

// --- Silence ---------------------------------------------------------------------------

TEST(MediaFormatSilence, G711FillsExactlyTheLengthOthersWriteNothing) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  std::vector<unsigned char> vBuffer(9, 0x11);
  Format(Format::ePCMU).fillAudioBufferWithSilence(vBuffer.data(), 8);
  Format(Format::ePCMA).fillAudioBufferWithSilence(vBuffer.data(), 3);
  EXPECT_EQ((std::vector<unsigned char>{0x55, 0x55, 0x55, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x11}), vBuffer);
  EXPECT_EQ(0u, recorder.count());

  Format(Format::eG729).fillAudioBufferWithSilence(vBuffer.data(), 4);
  Format format;
  format.m_type = Type(42);
  format.fillAudioBufferWithSilence(vBuffer.data(), 4);
  EXPECT_EQ(0x55, vBuffer[0]);
  EXPECT_EQ(0xFF, vBuffer[3]);
  EXPECT_TRUE(capture.contains(LogLevel::ERROR,
                               "Unsupported media format: 'G729'. Only 'pcmu' and 'pcma' are supported."));
  EXPECT_TRUE(capture.contains(
      LogLevel::ERROR, "Unsupported media format: 'MediaFormat_??\?'. Only 'pcmu' and 'pcma' are supported."));
  EXPECT_EQ(2u, recorder.count("false && \"Unsupported media format.\""));

  capture.clear();
  Format(Format::ePCMU).fillAudioBufferWithSilence(nullptr, 160);  // logged, not asserted
  Format(Format::ePCMU).fillAudioBufferWithSilence(nullptr, 0);
  EXPECT_EQ(1u, capture.messages(LogLevel::ERROR).size());
  EXPECT_EQ(2u, recorder.count());
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
}

TEST(MediaFormatCopy, TranscodesBetweenTheG711Laws) {
  std::vector<unsigned char> vSrc(256);
  for (int i = 0; i < 256; ++i) vSrc[i] = static_cast<unsigned char>(i);
  std::vector<unsigned char> vDst(257, 0xEE);
  EXPECT_EQ(vDst.data(), Format::copyAudioBuffer(vSrc.data(), Format::ePCMU, vDst.data(), Format::ePCMA, 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(ulaw2alaw(vSrc[i]), vDst[i]) << i;
  EXPECT_EQ(0xEE, vDst[256]);
  // In place: a tone buffer converted within itself.
  Format::copyAudioBuffer(vSrc.data(), Format::ePCMA, vSrc.data(), Format::ePCMU, 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(alaw2ulaw(static_cast<unsigned char>(i)), vSrc[i]);
}

TEST(MediaFormatCopy, UnsupportedPairsAndNullBuffersGiveNull) {
  LogCapture capture(s_szLOGGER, LogLevel::TRACE);
  AssertionRecorder recorder;
  unsigned char aSrc[2] = {1, 2};
  unsigned char aDst[2] = {7, 7};
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::ePCMU, aDst, Format::eLINEAR, 2));
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::eG729, aDst, Format::ePCMA, 2));
  EXPECT_EQ(0u, recorder.count());  // asserted only when neither side is G.711
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::eLINEAR, aDst, Format::eGSM, 2));
  EXPECT_EQ((std::vector<std::string>{
                "in_DstFormat.m_type == ePCMA || in_DstFormat.m_type == ePCMU || "
                "in_SrcFormat.m_type == ePCMA || in_SrcFormat.m_type == ePCMU"}),
            recorder.expressions());
  EXPECT_EQ("MediaFormat", recorder.records()[0].m_strModule);
  EXPECT_EQ(7, aDst[0]);

  capture.clear();
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(nullptr, Format::ePCMU, aDst, Format::ePCMA, 1));
  EXPECT_EQ(nullptr, Format::copyAudioBuffer(aSrc, Format::ePCMU, nullptr, Format::ePCMU, 1));
  EXPECT_EQ(7, aDst[0]);
  EXPECT_EQ(2u, capture.messages(LogLevel::ERROR).size());
  EXPECT_EQ(aDst, Format::copyAudioBuffer(nullptr, Format::ePCMU, aDst, Format::ePCMU, 0));
  EXPECT_EQ(aDst, Format::copyAudioBuffer(nullptr, Format::ePCMU, aDst, Format::ePCMA, 0));
}

}  // namespace
}  // namespace Omvera
