// Class allocation: small blocks are reused, also across threads, without heap allocation
// once warm.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <cstddef>
#include <thread>
#include <vector>

#include "support/ReplacedNew.h"
#include "tidewave/infra/MemAllocator.h"

namespace Omvera {
namespace {

using Test::s_lAllocations;

constexpr const char* s_szCLASS = "MemAllocatorTest";

// Heap allocations made by the calling thread while in_fn runs.
template <class Fn>
long heapAllocationsOf(Fn in_fn) {
  const long lBefore = s_lAllocations;
  in_fn();
  return s_lAllocations - lBefore;
}

TEST(ClassAllocation, AFreedSmallBlockServesTheNextOfItsSizeClass) {
  if (!DefaultStaticMemAllocator::poolsBlocks()) GTEST_SKIP() << "no pooling under ASan";
  void* pFirst = DefaultStaticMemAllocator::allocate(48, s_szCLASS);
  DefaultStaticMemAllocator::deallocate(pFirst, 48, s_szCLASS);
  void* pSecond = nullptr;
  EXPECT_EQ(0, heapAllocationsOf(
                   [&] { pSecond = DefaultStaticMemAllocator::allocate(40, s_szCLASS); }));
  EXPECT_EQ(pFirst, pSecond) << "40 and 48 bytes share a size class";
  DefaultStaticMemAllocator::deallocate(pSecond, 40, s_szCLASS);

  // Beyond the pooled sizes every block comes from the heap.
  for (int i = 0; i < 2; ++i) {
    void* pLarge = nullptr;
    EXPECT_EQ(1, heapAllocationsOf(
                     [&] { pLarge = DefaultStaticMemAllocator::allocate(4096, s_szCLASS); }));
    DefaultStaticMemAllocator::deallocate(pLarge, 4096, s_szCLASS);
  }
  DefaultStaticMemAllocator::deallocate(nullptr, 48, s_szCLASS);
}

TEST(ClassAllocation, BlocksFreedOnOtherThreadsServeAnyThreadWithoutTheHeap) {
  if (!DefaultStaticMemAllocator::poolsBlocks()) GTEST_SKIP() << "no pooling under ASan";
  constexpr std::size_t uiBLOCKS = 500;  // more than a thread keeps for itself
  constexpr std::size_t uiSIZE = 200;
  std::vector<void*> vBlocks(uiBLOCKS);
  std::thread([&] {
    for (void*& pBlock : vBlocks) {
      pBlock = DefaultStaticMemAllocator::allocate(uiSIZE, s_szCLASS);
    }
  }).join();
  // Freed on a thread that then ends: its cache goes to the shared list.
  std::thread([&] {
    for (void* pBlock : vBlocks) DefaultStaticMemAllocator::deallocate(pBlock, uiSIZE, s_szCLASS);
  }).join();

  long lHeap = -1;
  std::thread([&] {
    lHeap = heapAllocationsOf([&] {
      for (void*& pBlock : vBlocks) {
        pBlock = DefaultStaticMemAllocator::allocate(uiSIZE, s_szCLASS);
      }
    });
    for (void* pBlock : vBlocks) DefaultStaticMemAllocator::deallocate(pBlock, uiSIZE, s_szCLASS);
  }).join();
  EXPECT_EQ(0, lHeap);
}

}  // namespace
}  // namespace Omvera
