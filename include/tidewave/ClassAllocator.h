#pragma once
// Class-specific allocation in one line.
//
// Inside a class body, OMVERA_CLASS_ALLOCATOR(ClassName, "SourceModule") declares an
// operator new that asserts "in_uiSize == sizeof(ClassName)" (reported with the source
// module name) and allocates through DefaultStaticMemAllocator tagged "ClassName", and the
// matching sized operator delete. A derived class that does not declare its own allocator
// still gets memory of the right size, but its allocation is reported. The _NAMED form
// gives the tag and the assertion text explicitly, for names that are not the class's
// spelling in the macro (templates, nested classes seen from inside). Placement new into
// caller-provided memory stays available (a class operator new would otherwise hide it).
// The size check is inline, so an allocation of exactly the class costs no call.

#include <cstddef>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/MemAllocator.h"

#define OMVERA_CLASS_ALLOCATOR_NAMED(in_Class, in_szName, in_szAssertText, in_szModule)  \
 public:                                                                                 \
  static void* operator new(std::size_t in_uiSize) {                                     \
    if (in_uiSize != sizeof(in_Class)) {                                                 \
      ::Omvera::Assertion(false, in_szAssertText, in_szModule, __LINE__);                \
    }                                                                                    \
    return ::Omvera::DefaultStaticMemAllocator::allocate(in_uiSize, in_szName);          \
  }                                                                                      \
  static void operator delete(void* in_pMem, std::size_t in_uiSize) {                    \
    ::Omvera::DefaultStaticMemAllocator::deallocate(in_pMem, in_uiSize, in_szName);      \
  }                                                                                      \
  static void* operator new(std::size_t, void* in_pPlace) noexcept { return in_pPlace; } \
  static void operator delete(void*, void*) noexcept {}

#define OMVERA_CLASS_ALLOCATOR(in_Class, in_szModule)                                    \
  OMVERA_CLASS_ALLOCATOR_NAMED(in_Class, #in_Class, "in_uiSize == sizeof(" #in_Class ")", \
                               in_szModule)
