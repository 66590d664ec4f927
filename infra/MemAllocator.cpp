#include "tidewave/infra/MemAllocator.h"

#include <mutex>
#include <new>

namespace Omvera {

namespace {

// Blocks of up to s_uiMAX_POOLED bytes are kept for reuse, by size class (multiples of
// s_uiGRANULE), instead of going back to the heap: once a program has reached its
// high-water mark of such objects, class-allocated objects cost no heap allocation. Each
// thread keeps up to s_uiTHREAD_CACHE blocks of a class; beyond that, and when the thread
// ends, blocks go to a process-wide list of the class, where any thread takes them from.
// Objects freed on another thread than the one that made them (requests made by callers,
// served by a task) thus flow back through the process-wide lists. Pooled memory is never
// given back to the system.
//
// Under AddressSanitizer nothing is pooled, so that a use of a freed object stays visible
// to it.
constexpr std::size_t s_uiGRANULE = 16;
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t s_uiMAX_POOLED = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t s_uiMAX_POOLED = 0;
#else
constexpr std::size_t s_uiMAX_POOLED = 512;
#endif
#else
constexpr std::size_t s_uiMAX_POOLED = 512;
#endif
constexpr std::size_t s_uiNUM_CLASSES = 512 / s_uiGRANULE;
constexpr unsigned s_uiTHREAD_CACHE = 64;

struct FreeBlock {
  FreeBlock* m_pNext;
};

struct SharedList {
  std::mutex m_mutex;
  FreeBlock* m_pHead = nullptr;
};

// Never destroyed: threads may still free blocks while the process ends.
SharedList* sharedLists() {
  static SharedList* const s_aLists = new SharedList[s_uiNUM_CLASSES];
  return s_aLists;
}

// The calling thread's cache. Plain data, so it stays usable while other thread-local
// objects are destroyed at thread exit; the flusher below empties it first.
thread_local FreeBlock* t_apHead[s_uiNUM_CLASSES] = {};
thread_local unsigned t_auiCount[s_uiNUM_CLASSES] = {};
thread_local bool t_bFlushed = false;

void pushShared(std::size_t in_uiClass, FreeBlock* in_pFirst, FreeBlock* in_pLast) {
  SharedList& list = sharedLists()[in_uiClass];
  std::lock_guard<std::mutex> guard(list.m_mutex);
  in_pLast->m_pNext = list.m_pHead;
  list.m_pHead = in_pFirst;
}

FreeBlock* popShared(std::size_t in_uiClass) {
  SharedList& list = sharedLists()[in_uiClass];
  std::lock_guard<std::mutex> guard(list.m_mutex);
  FreeBlock* pBlock = list.m_pHead;
  if (pBlock != nullptr) list.m_pHead = pBlock->m_pNext;
  return pBlock;
}

// Hands the thread's cached blocks to the shared lists when the thread ends; later frees
// of the thread go to the shared lists directly.
struct ThreadCacheFlusher {
  ~ThreadCacheFlusher() {
    for (std::size_t uiClass = 0; uiClass < s_uiNUM_CLASSES; ++uiClass) {
      FreeBlock* pFirst = t_apHead[uiClass];
      if (pFirst == nullptr) continue;
      FreeBlock* pLast = pFirst;
      while (pLast->m_pNext != nullptr) pLast = pLast->m_pNext;
      pushShared(uiClass, pFirst, pLast);
      t_apHead[uiClass] = nullptr;
      t_auiCount[uiClass] = 0;
    }
    t_bFlushed = true;
  }
};
thread_local ThreadCacheFlusher t_flusher;

std::size_t sizeClass(std::size_t in_uiSize) { return (in_uiSize - 1) / s_uiGRANULE; }

}  // namespace

bool DefaultStaticMemAllocator::poolsBlocks() { return s_uiMAX_POOLED > 0; }

void* DefaultStaticMemAllocator::allocate(std::size_t in_uiSize, const char* /*in_szClassName*/) {
  if (in_uiSize == 0 || in_uiSize > s_uiMAX_POOLED) return ::operator new(in_uiSize);
  const std::size_t uiClass = sizeClass(in_uiSize);
  if (!t_bFlushed) {
    (void)&t_flusher;  // registers the flusher of this thread
    FreeBlock* pBlock = t_apHead[uiClass];
    if (pBlock != nullptr) {
      t_apHead[uiClass] = pBlock->m_pNext;
      --t_auiCount[uiClass];
      return pBlock;
    }
  }
  if (FreeBlock* pBlock = popShared(uiClass)) return pBlock;
  return ::operator new((uiClass + 1) * s_uiGRANULE);
}

// The plain form of operator delete: the size adds nothing there, and clang declares the
// sized form only under -fsized-deallocation.
void DefaultStaticMemAllocator::deallocate(void* in_pMem, std::size_t in_uiSize,
                                           const char* /*in_szClassName*/) {
  if (in_pMem == nullptr) return;
  if (in_uiSize == 0 || in_uiSize > s_uiMAX_POOLED) {
    ::operator delete(in_pMem);
    return;
  }
  const std::size_t uiClass = sizeClass(in_uiSize);
  FreeBlock* pBlock = static_cast<FreeBlock*>(in_pMem);
  if (!t_bFlushed && t_auiCount[uiClass] < s_uiTHREAD_CACHE) {
    (void)&t_flusher;
    pBlock->m_pNext = t_apHead[uiClass];
    t_apHead[uiClass] = pBlock;
    ++t_auiCount[uiClass];
    return;
  }
  pushShared(uiClass, pBlock, pBlock);
}

}  // namespace Omvera
