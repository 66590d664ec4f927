#pragma once
// The global operator new and delete of a test program, replaced so that a test can count
// the allocations of a thread and make the next ones fail. Include this header in exactly
// one source file of the program.
//
// Every unaligned form is replaced, so that no memory from a sanitizer's own operator new
// reaches the free() below. The counters belong to the calling thread.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace Omvera {
namespace Test {

// Allocations the calling thread has made so far (failed ones included).
inline thread_local long s_lAllocations = 0;
// The calling thread's next s_iFailingAllocations allocations fail (std::bad_alloc, or null
// for the nothrow forms).
inline thread_local int s_iFailingAllocations = 0;

namespace ReplacedNew {
// Null when this allocation is to fail or malloc has no memory.
inline void* allocate(std::size_t in_uiSize) noexcept {
  ++s_lAllocations;
  if (s_iFailingAllocations > 0) {
    --s_iFailingAllocations;
    return nullptr;
  }
  return std::malloc(in_uiSize == 0 ? 1 : in_uiSize);
}
inline void* allocateOrThrow(std::size_t in_uiSize) {
  if (void* pMem = allocate(in_uiSize)) return pMem;
  throw std::bad_alloc();
}
}  // namespace ReplacedNew

}  // namespace Test
}  // namespace Omvera

void* operator new(std::size_t in_uiSize) {
  return Omvera::Test::ReplacedNew::allocateOrThrow(in_uiSize);
}
void* operator new[](std::size_t in_uiSize) {
  return Omvera::Test::ReplacedNew::allocateOrThrow(in_uiSize);
}
void* operator new(std::size_t in_uiSize, const std::nothrow_t&) noexcept {
  return Omvera::Test::ReplacedNew::allocate(in_uiSize);
}
void* operator new[](std::size_t in_uiSize, const std::nothrow_t&) noexcept {
  return Omvera::Test::ReplacedNew::allocate(in_uiSize);
}
// GCC sees free() on memory from operator new and reports a mismatch at the call sites it
// inlines; both sides are replaced together here, which is the intent.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* in_pMem) noexcept { std::free(in_pMem); }
void operator delete(void* in_pMem, std::size_t) noexcept { std::free(in_pMem); }
void operator delete(void* in_pMem, const std::nothrow_t&) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem, std::size_t) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem, const std::nothrow_t&) noexcept { std::free(in_pMem); }
