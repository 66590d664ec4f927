#include "tidewave/infra/MemAllocator.h"

#include <new>

namespace Omvera {

void* DefaultStaticMemAllocator::allocate(std::size_t in_uiSize, const char* /*in_szClassName*/) {
  return ::operator new(in_uiSize);
}

// The plain form of operator delete: the size adds nothing here, and clang declares the
// sized form only under -fsized-deallocation.
void DefaultStaticMemAllocator::deallocate(void* in_pMem, std::size_t /*in_uiSize*/,
                                           const char* /*in_szClassName*/) {
  if (in_pMem != nullptr) ::operator delete(in_pMem);
}

}  // namespace Omvera
