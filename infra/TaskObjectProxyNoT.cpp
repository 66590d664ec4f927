#include "tidewave/infra/TaskObjectProxyNoT.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Task.h"

OMVERA_MODULE_LOGGER("TaskObjectProxy", "tidewave.infra.TaskObjectProxy")

namespace Omvera {

TaskObjectProxyNoT::TaskObjectProxyNoT(IDGenerator& in_idGenerator,
                                       ACE_Activation_Queue* in_pQueue)
    : m_idGenerator(in_idGenerator), m_pQueue(in_pQueue), m_ulID(in_idGenerator.getID()) {
  Assertion(in_pQueue != nullptr, "in_pQueue != 0", fileScopeLogger(), s_szMODULE_NAME,
            __LINE__);
}

TaskObjectProxyNoT::~TaskObjectProxyNoT() = default;

bool TaskObjectProxyNoT::enqueue(ACE_Method_Request* in_pRequest, const char* in_szName) const {
  return Task::enqueue(m_pQueue, in_pRequest, in_szName);
}

void TaskObjectProxyNoT::proxyDestruction() {
  if (m_bIDReleased) return;
  m_bIDReleased = true;
  ProxyIDRelease(m_idGenerator, m_ulID).release();
}

ProxyIDRelease TaskObjectProxyNoT::handOverID() {
  if (m_bIDReleased) return ProxyIDRelease();
  m_bIDReleased = true;
  return ProxyIDRelease(m_idGenerator, m_ulID);
}

ProxyIDRelease::ProxyIDRelease(ProxyIDRelease&& io_other) noexcept
    : m_pIDGenerator(io_other.m_pIDGenerator), m_ulID(io_other.m_ulID) {
  io_other.m_pIDGenerator = nullptr;
}

ProxyIDRelease& ProxyIDRelease::operator=(ProxyIDRelease&& io_other) noexcept {
  if (this != &io_other) {
    release();
    m_pIDGenerator = io_other.m_pIDGenerator;
    m_ulID = io_other.m_ulID;
    io_other.m_pIDGenerator = nullptr;
  }
  return *this;
}

void ProxyIDRelease::release() {
  if (m_pIDGenerator == nullptr) return;
  IDGenerator* pIDGenerator = m_pIDGenerator;
  m_pIDGenerator = nullptr;
  if (!pIDGenerator->releaseID(m_ulID)) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::WARN,
               "proxy id " << m_ulID << " was not handed out by its generator");
  }
}

}  // namespace Omvera
