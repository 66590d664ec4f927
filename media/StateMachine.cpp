// The non-template parts of the state machine framework.
#include "tidewave/StateMachine.h"

#include "tidewave/StateMachineWithEventQueue.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("StateMachine", "tidewave.media.StateMachine")

namespace Omvera {

NamedStateNoT::~NamedStateNoT() = default;

UnprocessedEventNotifiable::~UnprocessedEventNotifiable() = default;

StateMachineWithEventQueueState::~StateMachineWithEventQueueState() = default;

void StateMachineWithEventQueueState::unprocessedEvent() {
  if (m_pNotifiable.isNull()) {
    Assertion(false, "! m_pNotifiable.isNull()", fileScopeLogger(), s_szMODULE_NAME, __LINE__);
    return;
  }
  m_pNotifiable->unprocessedEvent();
}

}  // namespace Omvera
