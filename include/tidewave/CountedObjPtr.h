#pragma once
// Shared-ownership handles with a separately allocated reference count.
//
// A handle is two words: the object pointer and a pointer to its count block, both null
// when the handle is empty. Handles sharing an object share one count block. With
// ReferenceCount the handles of one object must be used from one thread at a time; with
// TSReferenceCount handles of one object may be copied and dropped on any threads (each
// handle object itself is still used by one thread at a time, or only read concurrently).
// The handle releasing the last hold deletes the object through the Deleter, while it holds
// the count's lock, and then frees the count block.
//
// Rules a user can rely on:
// - Assigning (copying or moving) a handle that holds the same object pointer leaves this
//   handle unchanged; a moved-from handle is always left empty.
// - Assigning a raw pointer takes ownership of it. When this handle was the only holder,
//   the old object is deleted and the count block is kept (at 1) for the new pointer;
//   otherwise the old hold is released and a fresh count block is allocated if the handle
//   had one before or the new pointer is not null. So a handle that had a count keeps
//   having one (possibly for a null object) after `= nullptr`; reset() leaves it empty.
//   Assigning the pointer the handle already holds changes nothing.
// - A handle of a derived type converts to a handle of a base type sharing the same count
//   block; the last holder deletes through its own pointer type, so a shared base must have
//   a virtual destructor.
//
// CountedBuiltInPtr suits any type (dereference only); CountedObjPtr adds member access and
// comparisons, and a std::hash over the object address.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

#include "tidewave/ReferenceCount.h"

namespace Omvera {

// The default deleter of counted handles: deletes the object with delete. A deleter is any
// default-constructible type whose call operator takes the object pointer (possibly null).
struct DeleteCountedObjDeleter {
  template <class T>
  void operator()(T* in_pObj) const {
    delete in_pObj;
  }
};

template <class T, class Count = ReferenceCount, class Deleter = DeleteCountedObjDeleter>
class CountedBuiltInPtr {
  template <class U>
  using EnableIfConvertible = std::enable_if_t<std::is_convertible<U*, T*>::value, int>;

 public:
  using element_type = T;
  using count_type = Count;
  using deleter_type = Deleter;

  CountedBuiltInPtr() noexcept : m_pObj(nullptr), m_pCount(nullptr) {}
  // Takes ownership of in_pObj (a count block is allocated when it is not null).
  CountedBuiltInPtr(T* in_pObj)  // NOLINT: implicit by design, like assignment
      : m_pObj(in_pObj), m_pCount(in_pObj != nullptr ? new Count() : nullptr) {}
  CountedBuiltInPtr(const CountedBuiltInPtr& in_rhs) noexcept
      : m_pObj(in_rhs.m_pObj), m_pCount(in_rhs.m_pCount) {
    addHold();
  }
  template <class U, EnableIfConvertible<U> = 0>
  CountedBuiltInPtr(const CountedBuiltInPtr<U, Count, Deleter>& in_rhs) noexcept  // NOLINT
      : m_pObj(in_rhs.m_pObj), m_pCount(in_rhs.m_pCount) {
    addHold();
  }
  // Moving transfers the hold; the source is left empty.
  CountedBuiltInPtr(CountedBuiltInPtr&& in_rhs) noexcept
      : m_pObj(in_rhs.m_pObj), m_pCount(in_rhs.m_pCount) {
    in_rhs.m_pObj = nullptr;
    in_rhs.m_pCount = nullptr;
  }
  template <class U, EnableIfConvertible<U> = 0>
  CountedBuiltInPtr(CountedBuiltInPtr<U, Count, Deleter>&& in_rhs) noexcept  // NOLINT
      : m_pObj(in_rhs.m_pObj), m_pCount(in_rhs.m_pCount) {
    in_rhs.m_pObj = nullptr;
    in_rhs.m_pCount = nullptr;
  }
  ~CountedBuiltInPtr() { releaseHold(m_pObj, m_pCount); }

  CountedBuiltInPtr& operator=(const CountedBuiltInPtr& in_rhs) noexcept {
    assignShared(in_rhs.m_pObj, in_rhs.m_pCount);
    return *this;
  }
  template <class U, EnableIfConvertible<U> = 0>
  CountedBuiltInPtr& operator=(const CountedBuiltInPtr<U, Count, Deleter>& in_rhs) noexcept {
    assignShared(in_rhs.m_pObj, in_rhs.m_pCount);
    return *this;
  }
  // Moving follows the assignment rules (same object pointer: this handle is unchanged) and
  // leaves the source empty.
  CountedBuiltInPtr& operator=(CountedBuiltInPtr&& in_rhs) noexcept {
    if (this != &in_rhs) assignMoved(in_rhs);
    return *this;
  }
  template <class U, EnableIfConvertible<U> = 0>
  CountedBuiltInPtr& operator=(CountedBuiltInPtr<U, Count, Deleter>&& in_rhs) noexcept {
    assignMoved(in_rhs);
    return *this;
  }
  // Takes ownership of in_pObj; see the rules at the top of this file.
  CountedBuiltInPtr& operator=(T* in_pObj) {
    if (in_pObj != nullptr && in_pObj == m_pObj) return *this;
    if (m_pCount == nullptr) {
      m_pObj = in_pObj;
      m_pCount = in_pObj != nullptr ? new Count() : nullptr;
      return *this;
    }
    m_pCount->acquireLock();
    if (m_pCount->unique()) {
      Deleter()(m_pObj);
      m_pObj = in_pObj;
      m_pCount->releaseLock();
      return *this;
    }
    m_pCount->decrement();
    m_pCount->releaseLock();
    m_pObj = in_pObj;
    m_pCount = new Count();
    return *this;
  }

  // Gives up the hold (deleting the object when it was the last one); the handle is empty
  // afterwards, without a count block.
  void reset() noexcept {
    T* pObj = m_pObj;
    Count* pCount = m_pCount;
    m_pObj = nullptr;
    m_pCount = nullptr;
    releaseHold(pObj, pCount);
  }
  void swap(CountedBuiltInPtr& io_other) noexcept {
    std::swap(m_pObj, io_other.m_pObj);
    std::swap(m_pCount, io_other.m_pCount);
  }

  T* get() const noexcept { return m_pObj; }
  bool isNull() const noexcept { return m_pObj == nullptr; }
  explicit operator bool() const noexcept { return m_pObj != nullptr; }
  // The object; the handle must not be null.
  T& operator*() const noexcept { return *m_pObj; }

  // True when this handle is the only holder of its count (false without a count block).
  bool unique() const {
    if (m_pCount == nullptr) return false;
    m_pCount->acquireLock();
    const bool bUnique = m_pCount->unique();
    m_pCount->releaseLock();
    return bUnique;
  }
  // The number of holders sharing this handle's count block, 0 without one.
  std::uint32_t getUseCount() const {
    if (m_pCount == nullptr) return 0;
    m_pCount->acquireLock();
    const std::uint32_t uiCount = m_pCount->getCount();
    m_pCount->releaseLock();
    return uiCount;
  }
  // The count block shared by the holders (null without one). For diagnostics and tests.
  Count* getReferenceCount() const noexcept { return m_pCount; }

 private:
  template <class, class, class>
  friend class CountedBuiltInPtr;

  void addHold() const noexcept {
    if (m_pCount == nullptr) return;
    m_pCount->acquireLock();
    m_pCount->increment();
    m_pCount->releaseLock();
  }
  // Releases one hold of (in_pObj, in_pCount): the last one deletes the object under the
  // lock, then frees the count block.
  static void releaseHold(T* in_pObj, Count* in_pCount) noexcept {
    if (in_pCount == nullptr) return;
    in_pCount->acquireLock();
    if (in_pCount->unique()) {
      Deleter()(in_pObj);
      in_pCount->releaseLock();
      delete in_pCount;
    } else {
      in_pCount->decrement();
      in_pCount->releaseLock();
    }
  }
  // Handle assignment. The new hold is taken before the old one is released, so that a
  // source handle owned (directly or not) by the old object stays valid.
  void assignShared(T* in_pObj, Count* in_pCount) noexcept {
    if (in_pObj == m_pObj) return;
    if (in_pCount != nullptr) {
      in_pCount->acquireLock();
      in_pCount->increment();
      in_pCount->releaseLock();
    }
    T* pOldObj = m_pObj;
    Count* pOldCount = m_pCount;
    m_pObj = in_pObj;
    m_pCount = in_pCount;
    releaseHold(pOldObj, pOldCount);
  }

  template <class U>
  void assignMoved(CountedBuiltInPtr<U, Count, Deleter>& io_rhs) noexcept {
    if (io_rhs.m_pObj == m_pObj) {
      io_rhs.reset();
      return;
    }
    T* pOldObj = m_pObj;
    Count* pOldCount = m_pCount;
    m_pObj = io_rhs.m_pObj;
    m_pCount = io_rhs.m_pCount;
    io_rhs.m_pObj = nullptr;
    io_rhs.m_pCount = nullptr;
    releaseHold(pOldObj, pOldCount);
  }

  T* m_pObj;
  Count* m_pCount;
};

template <class T, class Count = ReferenceCount, class Deleter = DeleteCountedObjDeleter>
class CountedObjPtr : public CountedBuiltInPtr<T, Count, Deleter> {
  using Base = CountedBuiltInPtr<T, Count, Deleter>;

 public:
  using Base::Base;
  using Base::operator=;
  CountedObjPtr() noexcept = default;

  // Member access; the handle must not be null.
  T* operator->() const noexcept { return this->get(); }
};

// Comparisons compare object pointers.
template <class T, class C1, class D1, class U, class C2, class D2>
bool operator==(const CountedObjPtr<T, C1, D1>& in_lhs, const CountedObjPtr<U, C2, D2>& in_rhs) {
  return in_lhs.get() == in_rhs.get();
}
template <class T, class C1, class D1, class U, class C2, class D2>
bool operator!=(const CountedObjPtr<T, C1, D1>& in_lhs, const CountedObjPtr<U, C2, D2>& in_rhs) {
  return in_lhs.get() != in_rhs.get();
}
template <class T, class C1, class D1, class U, class C2, class D2>
bool operator<(const CountedObjPtr<T, C1, D1>& in_lhs, const CountedObjPtr<U, C2, D2>& in_rhs) {
  return std::less<const void*>()(in_lhs.get(), in_rhs.get());
}
template <class T, class C, class D, class U>
bool operator==(const CountedObjPtr<T, C, D>& in_lhs, U* in_pRhs) {
  return in_lhs.get() == in_pRhs;
}
template <class T, class C, class D, class U>
bool operator==(U* in_pLhs, const CountedObjPtr<T, C, D>& in_rhs) {
  return in_pLhs == in_rhs.get();
}
template <class T, class C, class D, class U>
bool operator!=(const CountedObjPtr<T, C, D>& in_lhs, U* in_pRhs) {
  return in_lhs.get() != in_pRhs;
}
template <class T, class C, class D, class U>
bool operator!=(U* in_pLhs, const CountedObjPtr<T, C, D>& in_rhs) {
  return in_pLhs != in_rhs.get();
}
template <class T, class C, class D>
bool operator==(const CountedObjPtr<T, C, D>& in_lhs, std::nullptr_t) {
  return in_lhs.isNull();
}
template <class T, class C, class D>
bool operator==(std::nullptr_t, const CountedObjPtr<T, C, D>& in_rhs) {
  return in_rhs.isNull();
}
template <class T, class C, class D>
bool operator!=(const CountedObjPtr<T, C, D>& in_lhs, std::nullptr_t) {
  return !in_lhs.isNull();
}
template <class T, class C, class D>
bool operator!=(std::nullptr_t, const CountedObjPtr<T, C, D>& in_rhs) {
  return !in_rhs.isNull();
}

template <class T, class C, class D>
void swap(CountedBuiltInPtr<T, C, D>& io_lhs, CountedBuiltInPtr<T, C, D>& io_rhs) noexcept {
  io_lhs.swap(io_rhs);
}

}  // namespace Omvera

namespace std {
template <class T, class C, class D>
struct hash<::Omvera::CountedObjPtr<T, C, D>> {
  size_t operator()(const ::Omvera::CountedObjPtr<T, C, D>& in_handle) const noexcept {
    return hash<T*>()(in_handle.get());
  }
};
}  // namespace std
