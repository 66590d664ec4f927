#include "tidewave/infra/SharedTask.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("SharedTask", "tidewave.infra.SharedTask")

namespace Omvera {

SharedTaskImpl::SharedTaskImpl(bool in_bWaitOnLastStop) : m_bWaitOnLastStop(in_bWaitOnLastStop) {}

SharedTaskImpl::~SharedTaskImpl() = default;

bool SharedTaskImpl::start() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_uiStartCount == 0) {
    if (!start_i()) {
      OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR, getTaskName() << " : shared start failed");
      return false;
    }
  }
  ++m_uiStartCount;
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
             getTaskName() << " : shared start, " << m_uiStartCount << " owner(s)");
  return true;
}

bool SharedTaskImpl::stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Assertion(m_uiStartCount > 0, "m_uiStartCount > 0", fileScopeLogger(),
                   s_szMODULE_NAME, __LINE__)) {
      return false;
    }
    --m_uiStartCount;
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               getTaskName() << " : shared stop, " << m_uiStartCount << " owner(s) left");
    if (m_uiStartCount > 0) return true;
    if (!stop_i()) return false;
  }
  if (m_bWaitOnLastStop) return waitUntilDone_i();
  return true;
}

bool SharedTaskImpl::kill() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_uiStartCount = 0;
  return kill_i();
}

bool SharedTaskImpl::waitUntilDone() { return waitUntilDone_i(); }

bool SharedTaskImpl::addTaskObserver(TaskObserver* in_pObserver) {
  return addTaskObserver_i(in_pObserver);
}

bool SharedTaskImpl::removeTaskObserver(TaskObserver* in_pObserver) {
  return removeTaskObserver_i(in_pObserver);
}

unsigned int SharedTaskImpl::getStartCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uiStartCount;
}

SharedTaskAdapterNoT::SharedTaskAdapterNoT(ManageableTask* in_pTask, bool in_bWaitOnLastStop)
    : SharedTaskImpl(in_bWaitOnLastStop), m_pTask(in_pTask) {
  Assertion(in_pTask != nullptr, "in_pTask != 0", fileScopeLogger(), s_szMODULE_NAME, __LINE__);
}

SharedTaskAdapterNoT::~SharedTaskAdapterNoT() = default;

int SharedTaskAdapterNoT::getTaskState() const {
  return m_pTask != nullptr ? m_pTask->getTaskState() : IDLE_STATE;
}

std::string SharedTaskAdapterNoT::getTaskName() const {
  return m_pTask != nullptr ? m_pTask->getTaskName() : std::string();
}

std::string SharedTaskAdapterNoT::getName() const {
  return "SharedTaskAdapter(" + getTaskName() + ")";
}

bool SharedTaskAdapterNoT::start_i() { return m_pTask != nullptr && m_pTask->start(); }

bool SharedTaskAdapterNoT::stop_i() { return m_pTask != nullptr && m_pTask->stop(); }

bool SharedTaskAdapterNoT::kill_i() { return m_pTask != nullptr && m_pTask->kill(); }

bool SharedTaskAdapterNoT::waitUntilDone_i() {
  return m_pTask != nullptr && m_pTask->waitUntilDone();
}

bool SharedTaskAdapterNoT::addTaskObserver_i(TaskObserver* in_pObserver) {
  return m_pTask != nullptr && m_pTask->addTaskObserver(in_pObserver);
}

bool SharedTaskAdapterNoT::removeTaskObserver_i(TaskObserver* in_pObserver) {
  return m_pTask != nullptr && m_pTask->removeTaskObserver(in_pObserver);
}

}  // namespace Omvera
