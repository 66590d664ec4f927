#pragma once
// Non-owning handles for back references (a state machine to its call, a call to its engine
// task, timer schedulers).
//
// A LimitedBuiltInPtr is one object pointer, null by default. It never deletes anything:
// whoever hands out the reference guarantees that the object outlives every use of it.
// Copying copies the pointer; a handle of a derived type converts to one of a base type.
// Used by the thread owning the referenced object. LimitedObjPtr adds member access,
// comparisons and a std::hash over the object address, so that it can key hash maps.

#include <cstddef>
#include <functional>
#include <type_traits>

namespace Omvera {

template <class T>
class LimitedBuiltInPtr {
  template <class U>
  using EnableIfConvertible = std::enable_if_t<std::is_convertible<U*, T*>::value, int>;

 public:
  using element_type = T;

  LimitedBuiltInPtr() noexcept : m_pObj(nullptr) {}
  LimitedBuiltInPtr(T* in_pObj) noexcept : m_pObj(in_pObj) {}  // NOLINT: implicit by design
  template <class U, EnableIfConvertible<U> = 0>
  LimitedBuiltInPtr(const LimitedBuiltInPtr<U>& in_rhs) noexcept  // NOLINT
      : m_pObj(in_rhs.get()) {}

  LimitedBuiltInPtr& operator=(T* in_pObj) noexcept {
    m_pObj = in_pObj;
    return *this;
  }
  template <class U, EnableIfConvertible<U> = 0>
  LimitedBuiltInPtr& operator=(const LimitedBuiltInPtr<U>& in_rhs) noexcept {
    m_pObj = in_rhs.get();
    return *this;
  }

  T* get() const noexcept { return m_pObj; }
  bool isNull() const noexcept { return m_pObj == nullptr; }
  explicit operator bool() const noexcept { return m_pObj != nullptr; }
  // The object; the handle must not be null.
  T& operator*() const noexcept { return *m_pObj; }

 private:
  T* m_pObj;
};

template <class T>
class LimitedObjPtr : public LimitedBuiltInPtr<T> {
 public:
  using LimitedBuiltInPtr<T>::LimitedBuiltInPtr;
  using LimitedBuiltInPtr<T>::operator=;
  LimitedObjPtr() noexcept = default;

  // Member access; the handle must not be null.
  T* operator->() const noexcept { return this->get(); }
};

// Comparisons compare object pointers.
template <class T, class U>
bool operator==(const LimitedObjPtr<T>& in_lhs, const LimitedObjPtr<U>& in_rhs) {
  return in_lhs.get() == in_rhs.get();
}
template <class T, class U>
bool operator!=(const LimitedObjPtr<T>& in_lhs, const LimitedObjPtr<U>& in_rhs) {
  return in_lhs.get() != in_rhs.get();
}
template <class T, class U>
bool operator<(const LimitedObjPtr<T>& in_lhs, const LimitedObjPtr<U>& in_rhs) {
  return std::less<const void*>()(in_lhs.get(), in_rhs.get());
}
template <class T, class U>
bool operator==(const LimitedObjPtr<T>& in_lhs, U* in_pRhs) {
  return in_lhs.get() == in_pRhs;
}
template <class T, class U>
bool operator==(U* in_pLhs, const LimitedObjPtr<T>& in_rhs) {
  return in_pLhs == in_rhs.get();
}
template <class T, class U>
bool operator!=(const LimitedObjPtr<T>& in_lhs, U* in_pRhs) {
  return in_lhs.get() != in_pRhs;
}
template <class T, class U>
bool operator!=(U* in_pLhs, const LimitedObjPtr<T>& in_rhs) {
  return in_pLhs != in_rhs.get();
}
template <class T>
bool operator==(const LimitedObjPtr<T>& in_lhs, std::nullptr_t) {
  return in_lhs.isNull();
}
template <class T>
bool operator==(std::nullptr_t, const LimitedObjPtr<T>& in_rhs) {
  return in_rhs.isNull();
}
template <class T>
bool operator!=(const LimitedObjPtr<T>& in_lhs, std::nullptr_t) {
  return !in_lhs.isNull();
}
template <class T>
bool operator!=(std::nullptr_t, const LimitedObjPtr<T>& in_rhs) {
  return !in_rhs.isNull();
}

}  // namespace Omvera

namespace std {
template <class T>
struct hash<::Omvera::LimitedObjPtr<T>> {
  size_t operator()(const ::Omvera::LimitedObjPtr<T>& in_handle) const noexcept {
    return hash<T*>()(in_handle.get());
  }
};
}  // namespace std
