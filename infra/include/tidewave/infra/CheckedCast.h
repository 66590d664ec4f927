#pragma once
// The checked dynamic cast: OMVERA_DYNCAST_ASSERT(T, expression) casts a pointer to T*.
// On failure it reports the actual dynamic type (typeIdError) or the null source
// (nullBaseError), then raises the assertion "<expression text> != 0", and yields null.
// Callers test the result.

#include <typeinfo>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logger.h"

namespace Omvera {

template <class T>
class CheckedCastAssert : public DynCastAssertNoT {
 public:
  template <class Source>
  static T* cast(Source* in_pSource, const char* in_szAssertText, const Logger& in_logger,
                 const char* in_szModule, int in_iLine) {
    T* pResult = dynamic_cast<T*>(in_pSource);
    if (pResult == nullptr) {
      if (in_pSource != nullptr) {
        typeIdError(typeid(*in_pSource).name(), typeid(T).name(), in_logger, in_szModule,
                    in_iLine);
      } else {
        nullBaseError(typeid(T).name(), in_logger, in_szModule, in_iLine);
      }
      Assertion(false, in_szAssertText, in_logger, in_szModule, in_iLine);
    }
    return pResult;
  }
};

}  // namespace Omvera

// Casts in_expr (a pointer) to in_Type*, reporting through fileScopeLogger() of the
// enclosing module. The assertion text is the expression text followed by " != 0".
#define OMVERA_DYNCAST_ASSERT(in_Type, in_expr)                                             \
  ::Omvera::CheckedCastAssert<in_Type>::cast((in_expr), #in_expr " != 0", fileScopeLogger(), \
                                             s_szMODULE_NAME, __LINE__)
// The same with an explicit logger and module.
#define OMVERA_DYNCAST_ASSERT_L(in_Type, in_expr, in_logger, in_szModule)                  \
  ::Omvera::CheckedCastAssert<in_Type>::cast((in_expr), #in_expr " != 0", (in_logger),      \
                                             (in_szModule), __LINE__)
