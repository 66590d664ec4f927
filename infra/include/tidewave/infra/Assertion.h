#pragma once
// Reporting of broken preconditions and of the checks built on them.
//
// An assertion never aborts: a false condition is logged at ERROR as
//   "Assertion failed : <expression> (<module>:<line>)"
// counted, handed to the installed observer (if any), and the caller goes on with its
// documented failure value. Any thread.

#include <cstddef>
#include <string>

namespace Omvera {

class Logger;

// Reports when in_bCondition is false, through the "tidewave.infra.Assertion" logger.
// Returns in_bCondition so that callers can write `if (!Assertion(...)) return false;`.
bool Assertion(bool in_bCondition, const char* in_szExpression, const char* in_szModule,
               int in_iLine);
// The same, logging through in_logger (the caller's object or module logger).
bool Assertion(bool in_bCondition, const char* in_szExpression, const Logger& in_logger,
               const char* in_szModule, int in_iLine);

// The readable (demangled) form of a type name from typeid(...).name(), or the name as
// given when it cannot be demangled. For diagnostics. Any thread.
std::string readableTypeName(const char* in_szMangledName);

// Receives every failed assertion of the process, on the thread that raised it. Calls are
// serialised: an observer never sees two reports at once.
class AssertionObserver {
 public:
  virtual ~AssertionObserver();
  virtual void assertionFailed(const char* in_szExpression, const char* in_szModule,
                               int in_iLine) = 0;
};

class AssertionRegistry {
 public:
  // Installs in_pObserver (null to remove) and returns the one installed before. The
  // observer is not owned; it must stay alive until it is replaced.
  static AssertionObserver* setObserver(AssertionObserver* in_pObserver);
  // Number of failed assertions since the process started.
  static unsigned long getCount();
};

// Reporting hooks of the checked cast (CheckedCastAssert<T>::cast).
class DynCastAssertNoT {
 public:
  // The source object exists but is not of the target type; in_szActualType is the
  // object's dynamic type name. Logged at ERROR.
  static void typeIdError(const char* in_szActualType, const char* in_szTargetType,
                          const Logger& in_logger, const char* in_szModule, int in_iLine);
  // The source pointer was null. Logged at ERROR.
  static void nullBaseError(const char* in_szTargetType, const Logger& in_logger,
                            const char* in_szModule, int in_iLine);
};

// The validity flag under Fallible<T> and FallibleClass<T>.
class FallibleBase {
 public:
  explicit FallibleBase(bool in_bValid = false) : m_bValid(in_bValid) {}
  bool valid() const { return m_bValid; }
  bool failed() const { return !m_bValid; }
  void invalidate() { m_bValid = false; }

  // Reports a read of an invalid value: assertion "Fallible value read while invalid".
  static void assertUsedInInvalidStateErr(const char* in_szModule, int in_iLine);

 protected:
  bool m_bValid;
};

}  // namespace Omvera
