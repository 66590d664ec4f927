#pragma once
// Optional values that report when read while invalid.
//
// Fallible<T> carries a plain value (unsigned integers, enumerations), FallibleClass<T> a
// class value (strings). A default-constructed one is invalid; construction or assignment
// from a value makes it valid. Reading an invalid one reports through
// FallibleBase::assertUsedInInvalidStateErr and returns the stored value (the default
// value unless one was stored before invalidate()). Not synchronised.

#include <ostream>

#include "tidewave/infra/Assertion.h"

namespace Omvera {

template <class T>
class Fallible : public FallibleBase {
 public:
  Fallible() : FallibleBase(false), m_value() {}
  Fallible(const T& in_value) : FallibleBase(true), m_value(in_value) {}  // NOLINT: implicit by design
  Fallible& operator=(const T& in_value) {
    m_value = in_value;
    m_bValid = true;
    return *this;
  }

  // The value; reports (naming in_szModule and in_iLine) when invalid.
  T getValue(const char* in_szModule = "Fallible", int in_iLine = 0) const {
    if (!m_bValid) assertUsedInInvalidStateErr(in_szModule, in_iLine);
    return m_value;
  }
  operator T() const { return getValue(); }  // NOLINT: implicit by design

 private:
  T m_value;
};

template <class T>
class FallibleClass : public FallibleBase {
 public:
  FallibleClass() : FallibleBase(false), m_value() {}
  FallibleClass(const T& in_value) : FallibleBase(true), m_value(in_value) {}  // NOLINT
  FallibleClass& operator=(const T& in_value) {
    m_value = in_value;
    m_bValid = true;
    return *this;
  }

  const T& getValue(const char* in_szModule = "FallibleClass", int in_iLine = 0) const {
    if (!m_bValid) assertUsedInInvalidStateErr(in_szModule, in_iLine);
    return m_value;
  }
  operator const T&() const { return getValue(); }  // NOLINT: implicit by design

 private:
  T m_value;
};

// Reads a Fallible or FallibleClass naming the calling source file and line in the report.
#define OMVERA_FALLIBLE_VALUE(in_fallible) (in_fallible).getValue(__FILE__, __LINE__)

// Prints the value read as above (an invalid one reports, then prints the stored value).
template <class T>
std::ostream& operator<<(std::ostream& out_stream, const FallibleClass<T>& in_value) {
  return out_stream << in_value.getValue();
}

}  // namespace Omvera
