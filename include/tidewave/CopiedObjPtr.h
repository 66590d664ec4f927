#pragma once
// Owning handles that copy the owned value when they are copied.
//
// A CopiedBuiltInPtr owns at most one object through one pointer and deletes it (Deleter)
// when destroyed or given another object. Copying a handle duplicates the source's object
// through the Duplicator: a handle that holds no object gets a newly constructed copy, a
// handle that holds one has the source assigned into it (its object stays at the same
// address). Copying an empty handle gives, or leaves, an empty handle. Moving transfers the
// object. Polymorphic objects are copied by their static type; a copied handle of a base
// type only suits objects of exactly that type (CloneableObjPtr copies polymorphically).
// Used by the thread owning the handle. CopiedObjPtr adds member access and comparisons.

#include <cstddef>
#include <type_traits>

namespace Omvera {

// The default duplicator: assigns into the destination's object when there is one,
// otherwise constructs a copy with new.
struct DuplicatePtr {
  template <class T>
  void operator()(T*& io_pDest, const T& in_source) const {
    if (io_pDest != nullptr) {
      *io_pDest = in_source;
    } else {
      io_pDest = new T(in_source);
    }
  }
};

// The default deleter of copied handles: deletes the object with delete.
struct DeletePtr {
  template <class T>
  void operator()(T* in_pObj) const {
    delete in_pObj;
  }
};

template <class T, class Duplicator = DuplicatePtr, class Deleter = DeletePtr>
class CopiedBuiltInPtr {
  template <class U>
  using EnableIfConvertible = std::enable_if_t<std::is_convertible<U*, T*>::value, int>;

 public:
  using element_type = T;

  CopiedBuiltInPtr() noexcept : m_pObj(nullptr) {}
  // Takes ownership of in_pObj.
  CopiedBuiltInPtr(T* in_pObj) noexcept : m_pObj(in_pObj) {}  // NOLINT: implicit by design
  CopiedBuiltInPtr(const CopiedBuiltInPtr& in_rhs) : m_pObj(nullptr) {
    if (in_rhs.m_pObj != nullptr) Duplicator()(m_pObj, *in_rhs.m_pObj);
  }
  CopiedBuiltInPtr(CopiedBuiltInPtr&& in_rhs) noexcept : m_pObj(in_rhs.release()) {}
  template <class U, EnableIfConvertible<U> = 0>
  CopiedBuiltInPtr(CopiedBuiltInPtr<U, Duplicator, Deleter>&& in_rhs) noexcept  // NOLINT
      : m_pObj(in_rhs.release()) {}
  ~CopiedBuiltInPtr() { Deleter()(m_pObj); }

  CopiedBuiltInPtr& operator=(const CopiedBuiltInPtr& in_rhs) {
    if (this == &in_rhs) return *this;
    if (in_rhs.m_pObj == nullptr) {
      reset();
    } else {
      Duplicator()(m_pObj, *in_rhs.m_pObj);
    }
    return *this;
  }
  CopiedBuiltInPtr& operator=(CopiedBuiltInPtr&& in_rhs) noexcept {
    if (this != &in_rhs) *this = in_rhs.release();
    return *this;
  }
  template <class U, EnableIfConvertible<U> = 0>
  CopiedBuiltInPtr& operator=(CopiedBuiltInPtr<U, Duplicator, Deleter>&& in_rhs) noexcept {
    return *this = static_cast<T*>(in_rhs.release());
  }
  // Deletes the current object and takes ownership of in_pObj; assigning the pointer the
  // handle already holds changes nothing.
  CopiedBuiltInPtr& operator=(T* in_pObj) noexcept {
    if (in_pObj == m_pObj) return *this;
    T* pOld = m_pObj;
    m_pObj = in_pObj;
    Deleter()(pOld);
    return *this;
  }

  // Deletes the object; the handle is empty afterwards.
  void reset() noexcept { *this = static_cast<T*>(nullptr); }
  // Gives up ownership without deleting: the caller owns the returned object.
  T* release() noexcept {
    T* pObj = m_pObj;
    m_pObj = nullptr;
    return pObj;
  }

  T* get() const noexcept { return m_pObj; }
  bool isNull() const noexcept { return m_pObj == nullptr; }
  explicit operator bool() const noexcept { return m_pObj != nullptr; }
  // The object; the handle must not be null.
  T& operator*() const noexcept { return *m_pObj; }

 private:
  T* m_pObj;
};

template <class T, class Duplicator = DuplicatePtr, class Deleter = DeletePtr>
class CopiedObjPtr : public CopiedBuiltInPtr<T, Duplicator, Deleter> {
  using Base = CopiedBuiltInPtr<T, Duplicator, Deleter>;

 public:
  using Base::Base;
  using Base::operator=;
  CopiedObjPtr() noexcept = default;

  // Member access; the handle must not be null.
  T* operator->() const noexcept { return this->get(); }
};

template <class T, class Dup, class Del, class U>
bool operator==(const CopiedObjPtr<T, Dup, Del>& in_lhs, U* in_pRhs) {
  return in_lhs.get() == in_pRhs;
}
template <class T, class Dup, class Del, class U>
bool operator!=(const CopiedObjPtr<T, Dup, Del>& in_lhs, U* in_pRhs) {
  return in_lhs.get() != in_pRhs;
}
template <class T, class Dup, class Del>
bool operator==(const CopiedObjPtr<T, Dup, Del>& in_lhs, std::nullptr_t) {
  return in_lhs.isNull();
}
template <class T, class Dup, class Del>
bool operator!=(const CopiedObjPtr<T, Dup, Del>& in_lhs, std::nullptr_t) {
  return !in_lhs.isNull();
}

}  // namespace Omvera
