#pragma once
// Back end of class-specific allocation. Any thread.

#include <cstddef>

namespace Omvera {

// Small blocks (up to 512 bytes) are reused: a freed block goes to a per-thread cache of
// its size class (64 blocks at most), then to a process-wide list of the class, and
// allocate() takes from those before asking the heap. Once a program's class-allocated
// objects have reached their high-water mark, allocating and freeing them costs no heap
// allocation, also when objects are freed on another thread than the one that made them.
// Pooled memory is kept until the process ends. Built with AddressSanitizer, every block
// goes to the heap, so that a use of a freed object is still reported.
class DefaultStaticMemAllocator {
 public:
  // False when built with AddressSanitizer (see above).
  static bool poolsBlocks();

  // Returns in_uiSize bytes suitably aligned for any object; never null (allocation
  // failure throws std::bad_alloc as the global operator new does). in_szClassName tags
  // the block for diagnostics.
  static void* allocate(std::size_t in_uiSize, const char* in_szClassName);
  // Frees a block from allocate(); in_uiSize and in_szClassName must be those it was
  // allocated with. A null pointer is ignored.
  static void deallocate(void* in_pMem, std::size_t in_uiSize, const char* in_szClassName);
};

}  // namespace Omvera
