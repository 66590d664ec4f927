#pragma once
// Owning handles to cloneable objects, copied polymorphically.
//
// A CloneableObjPtr<T> owns at most one T (T derives from Cloneable) through one pointer and
// deletes it through its virtual destructor. Copying a handle clones the source's object
// (Cloneable::clone()) and casts the clone back to T; an empty source gives an empty handle
// without cloning. A clone that is not a T (or a null clone) is reported, with
// "aCP.isNull() || m_ptr" when copy-constructing and "rhs.isNull() || m_ptr" when assigning;
// the stray clone is deleted and the handle ends up empty. Assigning a handle that holds a
// different object replaces the current object (which is deleted) by the clone; the clone
// is made before the old object goes, so a source reached through the old object stays
// valid. Moving transfers the object without cloning. Used by the thread owning the handle.

#include <cstddef>
#include <type_traits>
#include <typeinfo>

#include "tidewave/Cloneable.h"

namespace Omvera {

class CloneableObjPtrNoT {
 protected:
  // Reports a clone that could not be cast to the handle's type: logs both type names at
  // ERROR on "tidewave.media.CloneableObjPtr" and raises the assertion in_szAssertText.
  // in_szCloneType is null when clone() returned null.
  static void reportFailedCast(const char* in_szAssertText, const char* in_szCloneType,
                               const char* in_szTargetType, int in_iLine);
};

template <class T>
class CloneableObjPtr : private CloneableObjPtrNoT {
  // Another cloneable type than T. T itself is excluded first, so that declaring the
  // implicit copy operations of a class holding a CloneableObjPtr of an incomplete type
  // does not ask whether that incomplete type is Cloneable.
  template <class U>
  using EnableIfCloneable = std::enable_if_t<
      std::conjunction<std::negation<std::is_same<U, T>>, std::is_base_of<Cloneable, U>>::value,
      int>;

 public:
  using element_type = T;

  CloneableObjPtr() noexcept : m_ptr(nullptr) {}
  // Takes ownership of in_pObj.
  CloneableObjPtr(T* in_pObj) noexcept : m_ptr(in_pObj) {}  // NOLINT: implicit by design
  CloneableObjPtr(const CloneableObjPtr& aCP)
      : m_ptr(cloneOf(aCP.m_ptr, "aCP.isNull() || m_ptr", __LINE__)) {}
  // Clones an object of another cloneable type, which must turn out to be a T.
  template <class U, EnableIfCloneable<U> = 0>
  explicit CloneableObjPtr(const CloneableObjPtr<U>& aCP)
      : m_ptr(cloneOf(aCP.get(), "aCP.isNull() || m_ptr", __LINE__)) {}
  CloneableObjPtr(CloneableObjPtr&& in_rhs) noexcept : m_ptr(in_rhs.release()) {}
  ~CloneableObjPtr() { delete m_ptr; }

  CloneableObjPtr& operator=(const CloneableObjPtr& rhs) {
    if (m_ptr != rhs.m_ptr) replace(cloneOf(rhs.m_ptr, "rhs.isNull() || m_ptr", __LINE__));
    return *this;
  }
  template <class U, EnableIfCloneable<U> = 0>
  CloneableObjPtr& operator=(const CloneableObjPtr<U>& rhs) {
    if (!sameObject(rhs.get())) replace(cloneOf(rhs.get(), "rhs.isNull() || m_ptr", __LINE__));
    return *this;
  }
  CloneableObjPtr& operator=(CloneableObjPtr&& in_rhs) noexcept {
    if (this != &in_rhs) replace(in_rhs.release());
    return *this;
  }
  // Deletes the current object and takes ownership of in_pObj; assigning the pointer the
  // handle already holds changes nothing.
  CloneableObjPtr& operator=(T* in_pObj) noexcept {
    if (in_pObj != m_ptr) replace(in_pObj);
    return *this;
  }

  // Deletes the object; the handle is empty afterwards.
  void reset() noexcept { replace(nullptr); }
  // Gives up ownership without deleting: the caller owns the returned object.
  T* release() noexcept {
    T* pObj = m_ptr;
    m_ptr = nullptr;
    return pObj;
  }

  T* get() const noexcept { return m_ptr; }
  bool isNull() const noexcept { return m_ptr == nullptr; }
  explicit operator bool() const noexcept { return m_ptr != nullptr; }
  // The object; the handle must not be null.
  T& operator*() const noexcept { return *m_ptr; }
  T* operator->() const noexcept { return m_ptr; }

 private:
  template <class U>
  bool sameObject(const U* in_pObj) const {
    return in_pObj != nullptr && m_ptr != nullptr &&
           dynamic_cast<const void*>(in_pObj) == dynamic_cast<const void*>(m_ptr);
  }
  void replace(T* in_pNew) noexcept {
    T* pOld = m_ptr;
    m_ptr = in_pNew;
    delete pOld;
  }
  // A clone of *in_pSource as a T, or null (reported) when it is not one.
  template <class U>
  static T* cloneOf(const U* in_pSource, const char* in_szAssertText, int in_iLine) {
    if (in_pSource == nullptr) return nullptr;
    Cloneable* pClone = in_pSource->clone();
    T* pResult = dynamic_cast<T*>(pClone);
    if (pResult == nullptr) {
      reportFailedCast(in_szAssertText, pClone != nullptr ? typeid(*pClone).name() : nullptr,
                       typeid(T).name(), in_iLine);
      delete pClone;
    }
    return pResult;
  }

  T* m_ptr;
};

template <class T, class U>
bool operator==(const CloneableObjPtr<T>& in_lhs, U* in_pRhs) {
  return in_lhs.get() == in_pRhs;
}
template <class T, class U>
bool operator!=(const CloneableObjPtr<T>& in_lhs, U* in_pRhs) {
  return in_lhs.get() != in_pRhs;
}
template <class T>
bool operator==(const CloneableObjPtr<T>& in_lhs, std::nullptr_t) {
  return in_lhs.isNull();
}
template <class T>
bool operator!=(const CloneableObjPtr<T>& in_lhs, std::nullptr_t) {
  return !in_lhs.isNull();
}

}  // namespace Omvera
