// G.711 companding and transcoding, checked over the whole domain: every code, every
// 16-bit sample, every byte; and the buffer conversions against the scalar functions.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "tidewave/G711.h"
#include "tidewave/MediaFormat.h"

namespace Omvera {
namespace {

using Media::Format;

// Distance between neighbouring expansions in the segment of a code.
int ulawStep(unsigned char in_ucCode) { return 8 << ((~in_ucCode & 0x70) >> 4); }
int alawStep(unsigned char in_ucCode) {
  const int iSeg = ((in_ucCode ^ 0x55) & 0x70) >> 4;
  return 16 << (iSeg == 0 ? 0 : iSeg - 1);
}

// --- Expansion and compression of single samples ---------------------------------------

TEST(G711Companding, EveryCodeRecompressesToItselfSymmetricAndOrdered) {
  for (int iCode = 0; iCode < 256; ++iCode) {
    const unsigned char ucCode = static_cast<unsigned char>(iCode);
    // mu-law has two zeros; 0x7F (negative zero) recompresses to 0xFF.
    EXPECT_EQ(iCode == 0x7F ? 0xFF : iCode, linear2ulaw(ulaw2linear(ucCode))) << "mu-law code " << iCode;
    EXPECT_EQ(iCode, linear2alaw(alaw2linear(ucCode))) << "A-law code " << iCode;
  }
  int iPrevUlaw = -1;
  int iPrevAlaw = -1;
  for (int iMagnitude = 0; iMagnitude < 128; ++iMagnitude) {
    const unsigned char ucUlaw = static_cast<unsigned char>(0xFF ^ iMagnitude);
    const unsigned char ucAlaw = static_cast<unsigned char>(0xD5 ^ iMagnitude);
    EXPECT_EQ(-ulaw2linear(ucUlaw), ulaw2linear(static_cast<unsigned char>(ucUlaw ^ 0x80)));
    EXPECT_EQ(-alaw2linear(ucAlaw), alaw2linear(static_cast<unsigned char>(ucAlaw ^ 0x80)));
    EXPECT_GT(ulaw2linear(ucUlaw), iPrevUlaw) << iMagnitude;
    EXPECT_GT(alaw2linear(ucAlaw), iPrevAlaw) << iMagnitude;
    iPrevUlaw = ulaw2linear(ucUlaw);
    iPrevAlaw = alaw2linear(ucAlaw);
  }
  EXPECT_EQ(0, ulaw2linear(0x7F));
  EXPECT_EQ(32124, ulaw2linear(0x80));
  EXPECT_EQ(8, alaw2linear(0xD5));
  EXPECT_EQ(32256, alaw2linear(0xAA));
}

TEST(G711Companding, EverySixteenBitSampleLandsWithinOneStep) {
  int iPrevUlaw = INT_MIN;
  int iPrevAlaw = INT_MIN;
  for (int iSample = -32768; iSample <= 32767; ++iSample) {
    const unsigned char ucUlaw = linear2ulaw(iSample);
    const int iUlawBack = ulaw2linear(ucUlaw);
    ASSERT_LE(std::abs(iUlawBack - iSample), ulawStep(ucUlaw)) << "mu-law sample " << iSample;
    ASSERT_GE(iUlawBack, iPrevUlaw) << "mu-law not monotonic at " << iSample;
    iPrevUlaw = iUlawBack;

    if (iSample >= -7 && iSample <= -1) continue;  // pinned in the next test
    const unsigned char ucAlaw = linear2alaw(iSample);
    const int iAlawBack = alaw2linear(ucAlaw);
    ASSERT_LE(std::abs(iAlawBack - iSample), alawStep(ucAlaw)) << "A-law sample " << iSample;
    ASSERT_GE(iAlawBack, iPrevAlaw) << "A-law not monotonic at " << iSample;
    iPrevAlaw = iAlawBack;
  }
}

// The A-law compression subtracts 8 from the magnitude of negative samples, so the seven
// smallest negative samples fall to a negative magnitude and come out as 0x5A (-248). This
// is the established behaviour of the encoder and must not change.
TEST(G711Companding, SmallestNegativeSamplesGiveTheALawOffsetCode) {
  for (int iSample = -7; iSample <= -1; ++iSample) {
    EXPECT_EQ(0x5A, linear2alaw(iSample)) << iSample;
  }
  EXPECT_EQ(-248, alaw2linear(0x5A));
  EXPECT_EQ(0x55, linear2alaw(-8));
  EXPECT_EQ(0x55, linear2alaw(-23));
  EXPECT_EQ(0x54, linear2alaw(-24));
}

TEST(G711Companding, KnownValuesAndInputsBeyondSixteenBits) {
  EXPECT_EQ(0xFF, linear2ulaw(0));
  EXPECT_EQ(0x7F, linear2ulaw(-1));
  EXPECT_EQ(0x80, linear2ulaw(32767));

  // mu-law reads an input with bit 15 set as a 16-bit two's complement sample.
  for (int iSample = 32768; iSample <= 65535; ++iSample) {
    ASSERT_EQ(linear2ulaw(iSample - 65536), linear2ulaw(iSample)) << iSample;
  }
  EXPECT_EQ(linear2ulaw(-32768), linear2ulaw(0x18000));
  // Without bit 15 the value is taken as it is and clips.
  EXPECT_EQ(0x80, linear2ulaw(65536 + 5));
  EXPECT_EQ(0x00, linear2ulaw(INT_MIN));
  EXPECT_EQ(0x7F, linear2ulaw(INT_MAX));  // bit 15 set: the sample -1
  // A-law does not wrap: beyond the top segment it clips by sign.
  EXPECT_EQ(0xAA, linear2alaw(INT_MAX));
  EXPECT_EQ(0x2A, linear2alaw(-40000));
}

// --- Transcoding -----------------------------------------------------------------------

TEST(G711Transcoding, ByteTranscodersAgreeWithTheTablesForEveryByte) {
  for (int iByte = 0; iByte < 256; ++iByte) {
    const unsigned char ucByte = static_cast<unsigned char>(iByte);
    EXPECT_EQ(s_u2a[iByte], ulaw2alaw(ucByte)) << iByte;
    EXPECT_EQ(s_a2u[iByte], alaw2ulaw(ucByte)) << iByte;
  }
}

TEST(G711Transcoding, KeepsSignOrderAndValueWithinOneStepOfTheTargetLaw) {
  int iPrevAlaw = INT_MIN;
  int iPrevUlaw = INT_MIN;
  // From the most negative code to the most positive one.
  for (int iRank = 0; iRank < 256; ++iRank) {
    const int iMagnitude = iRank < 128 ? 127 - iRank : iRank - 128;
    const bool bNegative = iRank < 128;
    const unsigned char ucUlaw = static_cast<unsigned char>((bNegative ? 0x7F : 0xFF) ^ iMagnitude);
    const unsigned char ucAlaw = static_cast<unsigned char>((bNegative ? 0x55 : 0xD5) ^ iMagnitude);

    const unsigned char ucToAlaw = ulaw2alaw(ucUlaw);
    EXPECT_EQ(ucUlaw & 0x80, ucToAlaw & 0x80) << iRank;
    EXPECT_LE(std::abs(alaw2linear(ucToAlaw) - ulaw2linear(ucUlaw)), alawStep(ucToAlaw)) << iRank;
    EXPECT_GE(alaw2linear(ucToAlaw), iPrevAlaw) << iRank;
    iPrevAlaw = alaw2linear(ucToAlaw);

    const unsigned char ucToUlaw = alaw2ulaw(ucAlaw);
    EXPECT_EQ(ucAlaw & 0x80, ucToUlaw & 0x80) << iRank;
    EXPECT_LE(std::abs(ulaw2linear(ucToUlaw) - alaw2linear(ucAlaw)), ulawStep(ucToUlaw)) << iRank;
    EXPECT_GE(ulaw2linear(ucToUlaw), iPrevUlaw) << iRank;
    iPrevUlaw = ulaw2linear(ucToUlaw);
  }
}

TEST(G711Transcoding, FollowsTheG711TablesWhereTheyDepartFromRounding) {
  EXPECT_EQ(0xD5, ulaw2alaw(0xFF));  // zero to the smallest positive A-law value
  EXPECT_EQ(0xFE, alaw2ulaw(0xD5));
  // mu-law magnitude 80 (4092) goes to A-law magnitude 79 (4032), leaving A-law 80 unused.
  EXPECT_EQ(0xD5 ^ 79, ulaw2alaw(0xFF ^ 80));
  EXPECT_EQ(0xD5 ^ 81, ulaw2alaw(0xFF ^ 81));
  // A-law magnitudes 79 and 80 both go to mu-law magnitude 80.
  EXPECT_EQ(0xFF ^ 80, alaw2ulaw(0xD5 ^ 79));
  EXPECT_EQ(0xFF ^ 80, alaw2ulaw(0xD5 ^ 80));
  // mu-law magnitudes 48 and 49 round up to A-law 45 and 47.
  EXPECT_EQ(0x55 ^ 45, ulaw2alaw(0x7F ^ 48));
  EXPECT_EQ(0x55 ^ 47, ulaw2alaw(0x7F ^ 49));
}

// --- Buffer conversions ----------------------------------------------------------------

std::vector<unsigned char> allBytes() {
  std::vector<unsigned char> vBytes(256);
  for (int i = 0; i < 256; ++i) vBytes[i] = static_cast<unsigned char>(i);
  return vBytes;
}

TEST(G711Buffers, ByteAndExpansionConversionsMatchTheScalarFunctions) {
  const std::vector<unsigned char> vBytes = allBytes();
  std::vector<unsigned char> vOut(257, 0xEE);
  std::vector<double> vLinear(257, -1.5);

  EXPECT_EQ(vOut.data(), Format::convert_ulaw2alaw(vBytes.data(), vOut.data(), 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(s_u2a[i], vOut[i]) << i;
  EXPECT_EQ(vOut.data(), Format::convert_alaw2ulaw(vBytes.data(), vOut.data(), 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(s_a2u[i], vOut[i]) << i;
  EXPECT_EQ(vLinear.data(), Format::convert_ulaw2Linear(vBytes.data(), vLinear.data(), 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(ulaw2linear(vBytes[i]), vLinear[i]) << i;
  EXPECT_EQ(vLinear.data(), Format::convert_alaw2Linear(vBytes.data(), vLinear.data(), 256));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(alaw2linear(vBytes[i]), vLinear[i]) << i;
  EXPECT_EQ(0xEE, vOut[256]);
  EXPECT_EQ(-1.5, vLinear[256]);

  // In place, and nothing at all for length 0.
  std::vector<unsigned char> vInPlace = allBytes();
  Format::convert_ulaw2alaw(vInPlace.data(), vInPlace.data(), 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(s_u2a[i], vInPlace[i]) << i;
  unsigned char ucUntouched = 0x33;
  EXPECT_EQ(&ucUntouched, Format::convert_ulaw2alaw(vBytes.data(), &ucUntouched, 0));
  EXPECT_EQ(0x33, ucUntouched);
}

// Compares the buffer compressors with the scalar ones on the given integers.
void expectCompressionMatches(const std::vector<int>& in_vSamples) {
  const std::vector<double> vDoubles(in_vSamples.begin(), in_vSamples.end());
  std::vector<unsigned char> vUlaw(vDoubles.size());
  std::vector<unsigned char> vAlaw(vDoubles.size());
  EXPECT_EQ(vUlaw.data(), Format::convert_linear2ulaw(vDoubles.data(), vUlaw.data(), vUlaw.size()));
  EXPECT_EQ(vAlaw.data(), Format::convert_linear2alaw(vDoubles.data(), vAlaw.data(), vAlaw.size()));
  for (std::size_t i = 0; i < in_vSamples.size(); ++i) {
    ASSERT_EQ(linear2ulaw(in_vSamples[i]), vUlaw[i]) << in_vSamples[i];
    ASSERT_EQ(linear2alaw(in_vSamples[i]), vAlaw[i]) << in_vSamples[i];
  }
}

TEST(G711Buffers, CompressionMatchesTheScalarFunctionsOverTheWholeRange) {
  std::vector<int> vSamples;
  for (int i = -70000; i <= 70000; ++i) vSamples.push_back(i);
  expectCompressionMatches(vSamples);

  // Wide values: every high half with bit 15 set or clear.
  vSamples.clear();
  for (int iHigh : {0x0001, 0x1234, 0x7FFF, 0x8000, 0xABCD, 0xFFFE}) {
    for (int iLow = 0; iLow < 0x10000; iLow += 37) {
      vSamples.push_back(static_cast<int>((static_cast<unsigned int>(iHigh) << 16) |
                                          static_cast<unsigned int>(iLow)));
    }
  }
  vSamples.push_back(INT_MIN);
  vSamples.push_back(INT_MAX);
  expectCompressionMatches(vSamples);
}

TEST(G711Buffers, CompressionTruncatesTowardZeroAndSaturates) {
  const double aInputs[] = {7.9,     -7.9,     -8.5,     0.99,   -0.99,   32767.9, 32768.5,
                            -32768.9, -32769.5, 65535.9, 65536.5, 1e300,   -1e300,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  const int aTruncated[] = {7,      -7,     -8,    0,       0,       32767, 32768, -32768,
                            -32769, 65535,  65536, INT_MAX, INT_MIN, INT_MAX, INT_MIN, 0};
  constexpr std::size_t uiCount = sizeof(aInputs) / sizeof(aInputs[0]);
  static_assert(uiCount == sizeof(aTruncated) / sizeof(aTruncated[0]), "");
  unsigned char aUlaw[uiCount];
  unsigned char aAlaw[uiCount];
  Format::convert_linear2ulaw(aInputs, aUlaw, uiCount);
  Format::convert_linear2alaw(aInputs, aAlaw, uiCount);
  for (std::size_t i = 0; i < uiCount; ++i) {
    EXPECT_EQ(linear2ulaw(aTruncated[i]), aUlaw[i]) << aInputs[i];
    EXPECT_EQ(linear2alaw(aTruncated[i]), aAlaw[i]) << aInputs[i];
  }
  EXPECT_EQ(0x5A, aAlaw[1]);  // -7.9 truncates to -7, not -8
}

}  // namespace
}  // namespace Omvera
