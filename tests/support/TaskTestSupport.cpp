#include "support/TaskTestSupport.h"

#include <memory>

#include "support/Wait.h"

namespace Omvera {
namespace Test {

void Gate::open() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bOpen = true;
  m_condition.notify_all();
}

int Gate::passThrough() {
  m_bEntered = true;
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_condition.wait_for(lock, m_limit, [this] { return m_bOpen; }) ? 0 : 1;
}

bool Gate::enqueueOn(ManageableTaskImplBase& in_task) {
  return in_task.enqueue(new FnRequest([this] { return passThrough(); }), "Test::gate");
}

bool Gate::holdTask(ManageableTaskImplBase& in_task) {
  return enqueueOn(in_task) && waitFor([this] { return entered(); });
}

bool runOnTask(ManageableTaskImplBase& in_task, std::function<void()> in_fn) {
  auto pDone = std::make_shared<std::atomic<bool>>(false);
  if (!in_task.enqueue(new FnRequest([in_fn, pDone] {
                         in_fn();
                         *pDone = true;
                         return 0;
                       }),
                       "Test::runOnTask")) {
    return false;
  }
  return waitFor([pDone] { return pDone->load(); });
}

}  // namespace Test
}  // namespace Omvera
