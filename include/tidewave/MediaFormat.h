#pragma once
// Audio formats: the encodings the media library deals with, their names, parsing from
// configuration text, silence, and copying audio between the two G.711 encodings.
//
// Everything here is reentrant and never throws. The static functions may be called from
// any thread at once; a Format object is a plain value, used by one thread at a time.
// Buffers are always the caller's: nothing here keeps a pointer beyond the call.

#include <cstdint>
#include <vector>

#include "tidewave/Fallible.h"

namespace Omvera {
namespace Media {

// An audio encoding with its sampling rate and channel count. Copyable value; one thread
// at a time.
class Format {
 public:
  // The encodings. The underlying type is a fixed 32-bit integer, so any int converted to a
  // Type is a legal value: values outside the table print as "MediaFormat_???".
  enum Type : std::int32_t {
    ePCMU = 0,     // "pcmu": G.711 mu-law
    ePCMA = 1,     // "pcma": G.711 A-law
    eG721 = 2,     // "G721"
    eG722 = 3,     // "G722"
    eG723 = 4,     // "G723"
    eG726 = 5,     // "G726" (printed, never parsed)
    eG729 = 6,     // "G729"
    eGSM = 7,      // "gsm"
    eLINEAR = 8,   // "linear"
    eUNKNOWN = 9   // "unknown": what an unrecognised name outside the G, L and P groups gives
  };

  // An unknown format with rate and channel count 0 (what a resized vector holds before
  // initFrom).
  Format() : m_type(eUNKNOWN), m_uiSamplingRate(0), m_uiChannelCount(0) {}
  // Runs initFrom(in_type) on an unknown format with rate and channel count 0.
  Format(Type in_type);  // NOLINT: implicit by design, a Type names its Format

  // Stores in_type. ePCMU and ePCMA also set the rate to 8000 and the channel count to 1;
  // the other types keep both as they were. A value outside 0..9 is kept too, and logged at
  // ERROR as "invalid media format type : <value>".
  void initFrom(Type in_type);

  // "pcmu", "pcma", "G721", "G722", "G723", "G726", "G729", "gsm", "linear", "unknown" for
  // 0..9, "MediaFormat_???" for any other value. Static text, never null.
  static const char* getTypeString(Type in_type);

  // Parses one encoding name, ignoring letter case; blanks are not trimmed. The first
  // character chooses the group: G or g accepts "G721", "gsm", "G723", "G722", "G729";
  // L or l accepts "linear"; P or p accepts "pcmu" and "pcma". Any other first character
  // gives ePCMU for "ulaw", ePCMA for "alaw" and eUNKNOWN (valid) for everything else.
  // A null pointer, the empty text and a text rejected by its group give an invalid result.
  static Fallible<Type> parseTypeString(const char* in_szType);

  // Parses a list of names separated by runs of white space and commas, appending each
  // type to out_vTypes (which is not cleared). Stops with false at the first name that
  // parses invalid, keeping the types appended before it. Otherwise true when at least one
  // type was appended. A null list raises the assertion "in_szTypeList != 0" and gives
  // false.
  static bool parseTypeListString(const char* in_szTypeList, std::vector<Type>& out_vTypes);
  // The same list into formats: on success out_vFormats is resized to the number of names
  // and element i runs initFrom with the i-th type (elements kept from before keep their
  // rate and count for non-G.711 types); on failure out_vFormats is left untouched.
  static bool parseTypeListString(const char* in_szTypeList, std::vector<Format>& out_vFormats);

  // Fills in_ulLength bytes at out_pBuffer with the silence code of this format: 0xFF for
  // ePCMU, 0x55 for ePCMA. Any other type writes nothing, logs at ERROR and raises an
  // assertion. A null buffer with a non-zero length writes nothing and logs at ERROR.
  void fillAudioBufferWithSilence(unsigned char* out_pBuffer, unsigned long in_ulLength) const;

  // Copies in_ulLength samples (bytes) from in_pSrc to out_pDst: byte for byte when both
  // formats have the same type, transcoded between ePCMU and ePCMA otherwise. Returns
  // out_pDst, or null when the pair is not supported (an assertion is raised first when
  // neither side is G.711). The buffers must not overlap unless they are the same buffer.
  // A null buffer with a non-zero length gives null and an ERROR log line.
  static unsigned char* copyAudioBuffer(const unsigned char* in_pSrc, const Format& in_SrcFormat,
                                        unsigned char* out_pDst, const Format& in_DstFormat,
                                        unsigned long in_ulLength);

  // Buffer conversions over in_ulLength samples, each returning out_pDst. Table-driven, no
  // checks: both buffers must hold in_ulLength samples. The byte-to-byte conversions may run
  // in place (in_pSrc == out_pDst); other overlaps are not allowed.
  //
  // mu-law <-> A-law, byte for byte through s_u2a and s_a2u (tidewave/G711.h).
  static unsigned char* convert_ulaw2alaw(const unsigned char* in_pSrc, unsigned char* out_pDst,
                                          unsigned long in_ulLength);
  static unsigned char* convert_alaw2ulaw(const unsigned char* in_pSrc, unsigned char* out_pDst,
                                          unsigned long in_ulLength);
  // G.711 expansion to doubles on the 16-bit sample scale: exactly ulaw2linear and
  // alaw2linear of each byte (mu-law -32124..32124, A-law -32256..32256).
  static double* convert_ulaw2Linear(const unsigned char* in_pSrc, double* out_pDst,
                                     unsigned long in_ulLength);
  static double* convert_alaw2Linear(const unsigned char* in_pSrc, double* out_pDst,
                                     unsigned long in_ulLength);
  // Compression of doubles on the 16-bit sample scale: each double is truncated toward
  // zero to an int, then encoded exactly as linear2ulaw or linear2alaw would. Doubles beyond
  // the int range saturate to INT_MIN or INT_MAX; NaN counts as 0.
  static unsigned char* convert_linear2ulaw(const double* in_pSrc, unsigned char* out_pDst,
                                            unsigned long in_ulLength);
  static unsigned char* convert_linear2alaw(const double* in_pSrc, unsigned char* out_pDst,
                                            unsigned long in_ulLength);

  Type m_type;
  unsigned int m_uiSamplingRate;  // samples per second; 8000 for the G.711 types
  unsigned int m_uiChannelCount;  // interleaved channels; 1 for the G.711 types
};

}  // namespace Media
}  // namespace Omvera
