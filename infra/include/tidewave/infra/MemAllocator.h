#pragma once
// Back end of class-specific allocation. Any thread.

#include <cstddef>

namespace Omvera {

class DefaultStaticMemAllocator {
 public:
  // Returns in_uiSize bytes suitably aligned for any object; never null (allocation
  // failure ends the process as the global operator new does). in_szClassName tags the
  // block for diagnostics.
  static void* allocate(std::size_t in_uiSize, const char* in_szClassName);
  // Frees a block from allocate(); in_uiSize and in_szClassName must be those it was
  // allocated with. A null pointer is ignored.
  static void deallocate(void* in_pMem, std::size_t in_uiSize, const char* in_szClassName);
};

}  // namespace Omvera
