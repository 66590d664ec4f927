// Reports of the reference counts under the counted handles.
#include "tidewave/ReferenceCount.h"
#include "tidewave/TSReferenceCount.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("ReferenceCount", "tidewave.media.ReferenceCount")

namespace Omvera {

void ReferenceCount::reportUnderflow(int in_iLine) {
  Assertion(false, "m_uiCount > 0", fileScopeLogger(), "ReferenceCount", in_iLine);
}

void TSReferenceCount::reportUnderflow(int in_iLine) {
  Assertion(false, "m_uiCount > 0", fileScopeLogger(), "TSReferenceCount", in_iLine);
}

void TSReferenceCount::reportNotLocked(int in_iLine) {
  Assertion(false, "m_bLocked == true", fileScopeLogger(), "TSReferenceCount", in_iLine);
}

void TSReferenceCount::reportDestroyedLocked(int in_iLine) {
  Assertion(false, "m_bLocked == false", fileScopeLogger(), "TSReferenceCount", in_iLine);
}

}  // namespace Omvera
