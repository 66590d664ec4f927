#include "tidewave/infra/MemAllocator.h"

#include <new>

namespace Omvera {

void* DefaultStaticMemAllocator::allocate(std::size_t in_uiSize, const char* /*in_szClassName*/) {
  return ::operator new(in_uiSize);
}

void DefaultStaticMemAllocator::deallocate(void* in_pMem, std::size_t in_uiSize,
                                           const char* /*in_szClassName*/) {
  if (in_pMem != nullptr) ::operator delete(in_pMem, in_uiSize);
}

}  // namespace Omvera
