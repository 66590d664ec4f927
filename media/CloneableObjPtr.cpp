// Reports of the cloneable handles.
#include "tidewave/CloneableObjPtr.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("CloneableObjPtr", "tidewave.media.CloneableObjPtr")

namespace Omvera {

void CloneableObjPtrNoT::reportFailedCast(const char* in_szAssertText, const char* in_szCloneType,
                                          const char* in_szTargetType, int in_iLine) {
  if (in_szCloneType == nullptr) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "clone() returned null for a handle of " << readableTypeName(in_szTargetType));
  } else {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "Clone of type " << readableTypeName(in_szCloneType) << " is not a "
                                << readableTypeName(in_szTargetType));
  }
  Assertion(false, in_szAssertText, fileScopeLogger(), s_szMODULE_NAME, in_iLine);
}

}  // namespace Omvera
