// G.711 buffer conversions against memcpy of the same number of bytes.
//
// Each conversion runs over one 20 ms frame (160 samples) and over 1 MiB of samples. The
// byte rate counts G.711 bytes, one per sample, on whichever side of the conversion they
// are, so every figure compares directly with the memcpy floor of the same size (the
// linear side moves eight bytes of double per sample on top of that).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "tidewave/G711.h"
#include "tidewave/MediaFormat.h"

namespace {

using Omvera::Media::Format;

constexpr std::int64_t s_iFRAME_BYTES = 160;
constexpr std::int64_t s_iLARGE_BYTES = 1 << 20;

// Deterministic bytes spread over all codes, as coded speech is.
std::vector<unsigned char> codedInput(std::size_t in_uiCount) {
  std::vector<unsigned char> vBytes(in_uiCount);
  std::uint32_t uiState = 12345u;
  for (unsigned char& ucByte : vBytes) {
    uiState = uiState * 1664525u + 1013904223u;
    ucByte = static_cast<unsigned char>(uiState >> 24);
  }
  return vBytes;
}

// Deterministic samples over the 16-bit range, with fractions to truncate.
std::vector<double> linearInput(std::size_t in_uiCount) {
  std::vector<double> vSamples(in_uiCount);
  std::uint32_t uiState = 67890u;
  for (double& dSample : vSamples) {
    uiState = uiState * 1664525u + 1013904223u;
    dSample = static_cast<double>(static_cast<std::int32_t>(uiState) >> 16) + 0.25;
  }
  return vSamples;
}

void setRate(benchmark::State& io_state) {
  io_state.SetBytesProcessed(io_state.iterations() * io_state.range(0));
}

void BM_Memcpy(benchmark::State& io_state) {
  const std::size_t uiCount = static_cast<std::size_t>(io_state.range(0));
  const std::vector<unsigned char> vSrc = codedInput(uiCount);
  std::vector<unsigned char> vDst(uiCount);
  for (auto _ : io_state) {
    std::memcpy(vDst.data(), vSrc.data(), uiCount);
    benchmark::DoNotOptimize(vDst.data());
    benchmark::ClobberMemory();
  }
  setRate(io_state);
}

template <unsigned char* (*CONVERT)(const unsigned char*, unsigned char*, unsigned long)>
void BM_ByteToByte(benchmark::State& io_state) {
  const std::size_t uiCount = static_cast<std::size_t>(io_state.range(0));
  const std::vector<unsigned char> vSrc = codedInput(uiCount);
  std::vector<unsigned char> vDst(uiCount);
  for (auto _ : io_state) {
    benchmark::DoNotOptimize(CONVERT(vSrc.data(), vDst.data(), uiCount));
    benchmark::ClobberMemory();
  }
  setRate(io_state);
}

template <double* (*CONVERT)(const unsigned char*, double*, unsigned long)>
void BM_ToLinear(benchmark::State& io_state) {
  const std::size_t uiCount = static_cast<std::size_t>(io_state.range(0));
  const std::vector<unsigned char> vSrc = codedInput(uiCount);
  std::vector<double> vDst(uiCount);
  for (auto _ : io_state) {
    benchmark::DoNotOptimize(CONVERT(vSrc.data(), vDst.data(), uiCount));
    benchmark::ClobberMemory();
  }
  setRate(io_state);
}

template <unsigned char* (*CONVERT)(const double*, unsigned char*, unsigned long)>
void BM_FromLinear(benchmark::State& io_state) {
  const std::size_t uiCount = static_cast<std::size_t>(io_state.range(0));
  const std::vector<double> vSrc = linearInput(uiCount);
  std::vector<unsigned char> vDst(uiCount);
  for (auto _ : io_state) {
    benchmark::DoNotOptimize(CONVERT(vSrc.data(), vDst.data(), uiCount));
    benchmark::ClobberMemory();
  }
  setRate(io_state);
}

// The same mu-law to A-law work one scalar call per byte: what the tables save.
void BM_UlawToAlawPerByteCalls(benchmark::State& io_state) {
  const std::size_t uiCount = static_cast<std::size_t>(io_state.range(0));
  const std::vector<unsigned char> vSrc = codedInput(uiCount);
  std::vector<unsigned char> vDst(uiCount);
  for (auto _ : io_state) {
    for (std::size_t i = 0; i < uiCount; ++i) vDst[i] = Omvera::ulaw2alaw(vSrc[i]);
    benchmark::DoNotOptimize(vDst.data());
    benchmark::ClobberMemory();
  }
  setRate(io_state);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK_TEMPLATE(BM_ByteToByte, &Format::convert_ulaw2alaw)
    ->Name("BM_UlawToAlaw")->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK_TEMPLATE(BM_ByteToByte, &Format::convert_alaw2ulaw)
    ->Name("BM_AlawToUlaw")->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK_TEMPLATE(BM_ToLinear, &Format::convert_ulaw2Linear)
    ->Name("BM_UlawToLinear")->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK_TEMPLATE(BM_ToLinear, &Format::convert_alaw2Linear)
    ->Name("BM_AlawToLinear")->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK_TEMPLATE(BM_FromLinear, &Format::convert_linear2ulaw)
    ->Name("BM_LinearToUlaw")->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK_TEMPLATE(BM_FromLinear, &Format::convert_linear2alaw)
    ->Name("BM_LinearToAlaw")->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
BENCHMARK(BM_UlawToAlawPerByteCalls)->Arg(s_iFRAME_BYTES)->Arg(s_iLARGE_BYTES);
