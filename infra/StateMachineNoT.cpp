#include "tidewave/infra/StateMachineNoT.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("StateMachine", "tidewave.infra.StateMachine")

namespace Omvera {

StateMachineNoT::StateMachineNoT()
    : m_strStateName(s_szUNDEF_STATE_NAME), m_strInitialStateName(s_szUNDEF_STATE_NAME) {}

StateMachineNoT::~StateMachineNoT() = default;

void StateMachineNoT::setInitialStateName(const char* in_szName) {
  if (!Assertion(in_szName != nullptr, "in_szName != 0", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    m_strInitialStateName = s_szUNDEF_STATE_NAME;
    return;
  }
  m_strInitialStateName = in_szName;
}

}  // namespace Omvera
