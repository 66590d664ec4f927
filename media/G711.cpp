// G.711 companding and transcoding, and the buffer conversions of Media::Format that run
// on it.
//
// The scalar functions compute each code with the segment end table. The buffer
// conversions index tables instead; every table is built at compile time from the same
// scalar code, so a buffer conversion gives, sample for sample, what the scalar function
// gives. The hot loops hold no calls, no assertions and no branch on a sample's sign; the
// compressors only test whether a sample lies in the 16-bit range, which real audio always
// does.

#include "tidewave/G711.h"

#include <climits>
#include <cstddef>
#include <cstdint>

#include "tidewave/MediaFormat.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("G711", "tidewave.media.format")

namespace Omvera {

namespace {

constexpr int s_iSIGN_BIT = 0x80;    // sign bit of a code
constexpr int s_iQUANT_MASK = 0x0F;  // quantisation field of a code
constexpr int s_iSEG_MASK = 0x70;    // segment field of a code
constexpr int s_iSEG_SHIFT = 4;      // position of the segment field
constexpr int s_iULAW_BIAS = 0x84;   // mu-law bias added to the magnitude
constexpr int s_iNUM_SEGS = 8;

// The last magnitude of each segment.
constexpr short s_aSEG_END[s_iNUM_SEGS] = {0xFF,  0x1FF,  0x3FF,  0x7FF,
                                           0xFFF, 0x1FFF, 0x3FFF, 0x7FFF};

// mu-law magnitude code (0..127) to A-law magnitude code plus one, from G.711.
constexpr unsigned char s_aU2A_128[128] = {
    1,   1,   2,   2,   3,   3,   4,   4,   5,   5,   6,   6,   7,   7,   8,   8,
    9,   10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,  23,  24,
    25,  27,  29,  31,  33,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,
    46,  48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,
    64,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,
    80,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  95,  96,
    97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112,
    113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128};

// A-law magnitude code (0..127) to mu-law magnitude code, from G.711.
constexpr unsigned char s_aA2U_128[128] = {
    1,   3,   5,   7,   9,   11,  13,  15,  16,  17,  18,  19,  20,  21,  22,  23,
    24,  25,  26,  27,  28,  29,  30,  31,  32,  32,  33,  33,  34,  34,  35,  35,
    36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  48,  49,  49,
    50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,  64,  64,
    65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,  80,
    80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  95,
    96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111,
    112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127};

constexpr int searchTable(int in_iValue, const short* in_pTable, int in_iSize) {
  for (int i = 0; i < in_iSize; ++i) {
    if (in_iValue <= in_pTable[i]) return i;
  }
  return in_iSize;
}

// Segment and quantisation bits of a biased mu-law magnitude; 0x7F beyond the top segment.
constexpr int ulawMagnitudeCode(int in_iBiased) {
  const int iSeg = searchTable(in_iBiased, s_aSEG_END, s_iNUM_SEGS);
  if (iSeg >= s_iNUM_SEGS) return 0x7F;
  return (iSeg << s_iSEG_SHIFT) | ((in_iBiased >> (iSeg + 3)) & s_iQUANT_MASK);
}

// Segment and quantisation bits of an A-law magnitude; 0x7F beyond the top segment. A
// negative magnitude (-1..-7, from the -8 of negative samples) lands in segment 0 with
// all quantisation bits set: the shift is arithmetic.
constexpr int alawMagnitudeCode(int in_iMagnitude) {
  const int iSeg = searchTable(in_iMagnitude, s_aSEG_END, s_iNUM_SEGS);
  if (iSeg >= s_iNUM_SEGS) return 0x7F;
  const int iShift = iSeg < 2 ? 4 : iSeg + 3;
  return (iSeg << s_iSEG_SHIFT) | ((in_iMagnitude >> iShift) & s_iQUANT_MASK);
}

constexpr unsigned char encodeUlaw(int in_iPcm) {
  int iPcm = in_iPcm;
  if ((iPcm & 0x8000) != 0) iPcm |= ~0xFFFF;  // a 16-bit two's complement sample
  // Every magnitude beyond the top segment clips; bounding them keeps the bias in range.
  if (iPcm > 0x10000) iPcm = 0x10000;
  if (iPcm < -0x10000) iPcm = -0x10000;
  int iMask = 0xFF;
  if (iPcm < 0) {
    iPcm = s_iULAW_BIAS - iPcm;
    iMask = 0x7F;
  } else {
    iPcm += s_iULAW_BIAS;
  }
  return static_cast<unsigned char>(ulawMagnitudeCode(iPcm) ^ iMask);
}

constexpr unsigned char encodeAlaw(int in_iPcm) {
  int iPcm = in_iPcm;
  int iMask = 0xD5;
  if (iPcm < 0) {
    iMask = 0x55;
    iPcm = -(iPcm + 8);  // -pcm - 8, without overflow for INT_MIN
  }
  return static_cast<unsigned char>(alawMagnitudeCode(iPcm) ^ iMask);
}

constexpr int decodeAlaw(unsigned char in_ucCode) {
  const int iCode = in_ucCode ^ 0x55;
  int iValue = (iCode & s_iQUANT_MASK) << 4;
  const int iSeg = (iCode & s_iSEG_MASK) >> s_iSEG_SHIFT;
  if (iSeg == 0) {
    iValue += 8;
  } else {
    iValue += 0x108;
    iValue <<= iSeg - 1;
  }
  return (iCode & s_iSIGN_BIT) != 0 ? iValue : -iValue;
}

constexpr int decodeUlaw(unsigned char in_ucCode) {
  const int iCode = ~in_ucCode & 0xFF;
  int iValue = ((iCode & s_iQUANT_MASK) << 3) + s_iULAW_BIAS;
  iValue <<= (iCode & s_iSEG_MASK) >> s_iSEG_SHIFT;
  return (iCode & s_iSIGN_BIT) != 0 ? s_iULAW_BIAS - iValue : iValue - s_iULAW_BIAS;
}

constexpr unsigned char transcodeAlawToUlaw(unsigned char in_ucAlaw) {
  return static_cast<unsigned char>((in_ucAlaw & s_iSIGN_BIT) != 0
                                        ? (0xFF ^ s_aA2U_128[in_ucAlaw ^ 0xD5])
                                        : (0x7F ^ s_aA2U_128[in_ucAlaw ^ 0x55]));
}

constexpr unsigned char transcodeUlawToAlaw(unsigned char in_ucUlaw) {
  return static_cast<unsigned char>((in_ucUlaw & s_iSIGN_BIT) != 0
                                        ? (0xD5 ^ (s_aU2A_128[0xFF ^ in_ucUlaw] - 1))
                                        : (0x55 ^ (s_aU2A_128[0x7F ^ in_ucUlaw] - 1)));
}

template <class T>
constexpr std::array<T, 256> tabulateBytes(T (*in_pfnOf)(unsigned char)) {
  std::array<T, 256> aTable{};
  for (std::size_t i = 0; i < aTable.size(); ++i) {
    aTable[i] = in_pfnOf(static_cast<unsigned char>(i));
  }
  return aTable;
}

constexpr double ulawToDouble(unsigned char in_ucCode) { return decodeUlaw(in_ucCode); }
constexpr double alawToDouble(unsigned char in_ucCode) { return decodeAlaw(in_ucCode); }

constexpr std::array<double, 256> s_aULAW_TO_DOUBLE = tabulateBytes(&ulawToDouble);
constexpr std::array<double, 256> s_aALAW_TO_DOUBLE = tabulateBytes(&alawToDouble);

// Biased mu-law magnitudes (bias + |sample| for 16-bit samples, at most 0x8084) select
// their code by their bits above bit 2: the segment boundaries are multiples of 0x100 and
// the quantisation shift is at least 3. Entry k is the magnitude code of k << 3; the last
// entries are the clipped code.
constexpr int s_iULAW_ENCODE_SIZE = ((s_iULAW_BIAS + 0x8000) >> 3) + 1;
// A-law magnitudes (-7..0x7FFF for 16-bit samples) likewise by their bits above bit 3,
// shifted by one entry: entry k + 1 is the magnitude code of k << 4, entry 0 that of the
// negative magnitudes -7..-1.
constexpr int s_iALAW_ENCODE_SIZE = ((0x7FFF + 16) >> 4) + 1;

struct EncodeTables {
  unsigned char m_aUlaw[s_iULAW_ENCODE_SIZE];
  unsigned char m_aAlaw[s_iALAW_ENCODE_SIZE];

  constexpr EncodeTables() : m_aUlaw(), m_aAlaw() {
    for (int k = 0; k < s_iULAW_ENCODE_SIZE; ++k) {
      m_aUlaw[k] = static_cast<unsigned char>(ulawMagnitudeCode(k << 3));
    }
    for (int k = 0; k < s_iALAW_ENCODE_SIZE; ++k) {
      m_aAlaw[k] = static_cast<unsigned char>(alawMagnitudeCode(k == 0 ? -1 : (k - 1) << 4));
    }
  }
};

constexpr EncodeTables s_encodeTables;

// Truncation toward zero, saturating beyond the int range; NaN gives 0. Real samples always
// take the same way through the selections.
inline int truncateToInt(double in_dValue) {
  double dValue = in_dValue == in_dValue ? in_dValue : 0.0;
  dValue = dValue < -2147483648.0 ? -2147483648.0 : dValue;
  dValue = dValue > 2147483647.0 ? 2147483647.0 : dValue;
  return static_cast<int>(dValue);
}

// encodeUlaw of the truncation of in_dValue. Samples of the 16-bit range (and up to 65535,
// which wrap) take the table without branching on their sign; anything else (rare, so the
// branch predicts well) takes the scalar code.
inline unsigned char encodeUlawFast(double in_dValue) {
  if (!(in_dValue > -32769.0 && in_dValue < 65536.0)) {
    return encodeUlaw(truncateToInt(in_dValue));
  }
  // -32768..65535: the sample is the low 16 bits, sign-extended.
  const int iPcm = static_cast<int>(in_dValue);
  const int iSample = static_cast<std::int16_t>(static_cast<std::uint16_t>(iPcm & 0xFFFF));
  const int iSign = iSample >> 31;  // 0 or -1
  const int iBiased = ((iSample ^ iSign) - iSign) + s_iULAW_BIAS;
  const int iMask = 0xFF ^ (iSign & 0x80);
  return static_cast<unsigned char>(s_encodeTables.m_aUlaw[iBiased >> 3] ^ iMask);
}

// encodeAlaw of the truncation of in_dValue, the same way.
inline unsigned char encodeAlawFast(double in_dValue) {
  if (!(in_dValue > -32769.0 && in_dValue < 32768.0)) {
    return encodeAlaw(truncateToInt(in_dValue));
  }
  const int iPcm = static_cast<int>(in_dValue);
  const int iSign = iPcm >> 31;  // 0 or -1
  // iPcm, or -iPcm - 8 (== ~iPcm - 7) for a negative one: -7..0x7FF8.
  const int iMagnitude = (iPcm ^ iSign) - (iSign & 7);
  const int iMask = 0xD5 ^ (iSign & 0x80);
  return static_cast<unsigned char>(s_encodeTables.m_aAlaw[(iMagnitude + 16) >> 4] ^ iMask);
}

// Compile-time checks of the tables against the scalar code at the interesting points.
static_assert(encodeUlaw(0) == 0xFF && encodeUlaw(32768) == 0x00 && encodeUlaw(-1) == 0x7F, "");
static_assert(encodeAlaw(0) == 0xD5 && encodeAlaw(40000) == 0xAA && encodeAlaw(-1) == 0x5A, "");
static_assert(decodeUlaw(0x80) == 32124 && decodeAlaw(0xAA) == 32256, "");
static_assert(s_encodeTables.m_aUlaw[s_iULAW_ENCODE_SIZE - 1] == 0x7F, "");
static_assert(s_encodeTables.m_aAlaw[0] == 0x0F && s_encodeTables.m_aAlaw[1] == 0x00, "");
static_assert(s_encodeTables.m_aAlaw[s_iALAW_ENCODE_SIZE - 1] == 0x7F, "");

}  // namespace

const std::array<unsigned char, 256> s_u2a = tabulateBytes(&transcodeUlawToAlaw);
const std::array<unsigned char, 256> s_a2u = tabulateBytes(&transcodeAlawToUlaw);

unsigned char linear2alaw(int in_iPcm) { return encodeAlaw(in_iPcm); }
unsigned char linear2ulaw(int in_iPcm) { return encodeUlaw(in_iPcm); }
int alaw2linear(unsigned char in_ucAlaw) { return decodeAlaw(in_ucAlaw); }
int ulaw2linear(unsigned char in_ucUlaw) { return decodeUlaw(in_ucUlaw); }
unsigned char alaw2ulaw(unsigned char in_ucAlaw) { return transcodeAlawToUlaw(in_ucAlaw); }
unsigned char ulaw2alaw(unsigned char in_ucUlaw) { return transcodeUlawToAlaw(in_ucUlaw); }

int search(int in_iValue, const short* in_pTable, int in_iSize) {
  return searchTable(in_iValue, in_pTable, in_iSize);
}

namespace Media {

namespace {

template <class Src, class Dst, std::size_t N>
inline Dst* lookUpEach(const Src* in_pSrc, Dst* out_pDst, unsigned long in_ulLength,
                       const std::array<Dst, N>& in_aTable) {
  const Dst* const pTable = in_aTable.data();
  for (unsigned long i = 0; i < in_ulLength; ++i) out_pDst[i] = pTable[in_pSrc[i]];
  return out_pDst;
}

}  // namespace

unsigned char* Format::convert_ulaw2alaw(const unsigned char* in_pSrc, unsigned char* out_pDst,
                                         unsigned long in_ulLength) {
  return lookUpEach(in_pSrc, out_pDst, in_ulLength, s_u2a);
}

unsigned char* Format::convert_alaw2ulaw(const unsigned char* in_pSrc, unsigned char* out_pDst,
                                         unsigned long in_ulLength) {
  return lookUpEach(in_pSrc, out_pDst, in_ulLength, s_a2u);
}

double* Format::convert_ulaw2Linear(const unsigned char* in_pSrc, double* out_pDst,
                                    unsigned long in_ulLength) {
  return lookUpEach(in_pSrc, out_pDst, in_ulLength, s_aULAW_TO_DOUBLE);
}

double* Format::convert_alaw2Linear(const unsigned char* in_pSrc, double* out_pDst,
                                    unsigned long in_ulLength) {
  return lookUpEach(in_pSrc, out_pDst, in_ulLength, s_aALAW_TO_DOUBLE);
}

unsigned char* Format::convert_linear2ulaw(const double* in_pSrc, unsigned char* out_pDst,
                                           unsigned long in_ulLength) {
  for (unsigned long i = 0; i < in_ulLength; ++i) {
    out_pDst[i] = encodeUlawFast(in_pSrc[i]);
  }
  return out_pDst;
}

unsigned char* Format::convert_linear2alaw(const double* in_pSrc, unsigned char* out_pDst,
                                           unsigned long in_ulLength) {
  for (unsigned long i = 0; i < in_ulLength; ++i) {
    out_pDst[i] = encodeAlawFast(in_pSrc[i]);
  }
  return out_pDst;
}

}  // namespace Media

}  // namespace Omvera
