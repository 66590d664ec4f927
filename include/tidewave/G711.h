#pragma once
// ITU-T G.711 companding on 16-bit linear samples: A-law and mu-law compression and
// expansion, and the A-law <-> mu-law byte transcoding.
//
// Every function is pure and reentrant: any thread, no locks, never throws. The tables are
// constants, fully built at compile time, so they may be read from any thread and from
// static initialisation of other modules.
//
// Codes are the transmitted bytes (A-law with its even bits inverted, mu-law inverted), so
// mu-law silence is 0xFF and A-law silence 0xD5 or 0x55.

#include <array>

namespace Omvera {

// The A-law code of in_iPcm, read as a signed sample: 0 and above use the sign mask 0xD5,
// negatives 0x55 on the magnitude -in_iPcm - 8; magnitudes beyond the top segment clip to
// 0xAA (non-negative) or 0x2A (negative). Because of the subtraction, -1 to -7 give 0x5A.
unsigned char linear2alaw(int in_iPcm);

// The mu-law code of in_iPcm, read as a 16-bit two's complement sample when its bit 15 is
// set (so 32768 encodes as -32768). Values beyond the top segment clip to 0x80 (positive)
// or 0x00 (negative).
unsigned char linear2ulaw(int in_iPcm);

// The signed 16-bit-scale value of an A-law code: -32256..32256, never 0 (smallest +-8).
int alaw2linear(unsigned char in_ucAlaw);
// The signed 16-bit-scale value of a mu-law code: -32124..32124 (0xFF and 0x7F give 0).
int ulaw2linear(unsigned char in_ucUlaw);

// Byte transcoding through the 128-entry G.711 conversion tables, keeping the sign.
unsigned char alaw2ulaw(unsigned char in_ucAlaw);
unsigned char ulaw2alaw(unsigned char in_ucUlaw);

// The index of the first of the in_iSize entries of in_pTable that is greater than or
// equal to in_iValue, or in_iSize when there is none. in_pTable must hold in_iSize entries.
int search(int in_iValue, const short* in_pTable, int in_iSize);

// For every byte value b: s_u2a[b] == ulaw2alaw(b) and s_a2u[b] == alaw2ulaw(b). These are
// what the buffer transcoders index.
extern const std::array<unsigned char, 256> s_u2a;
extern const std::array<unsigned char, 256> s_a2u;

}  // namespace Omvera
