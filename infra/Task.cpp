#include "tidewave/infra/Task.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>

#include <ace/Guard_T.h>
#include <ace/Malloc_Allocator.h>
#include <ace/Message_Block.h>
#include <ace/OS_NS_sys_time.h>
#include <ace/Thread_Mutex.h>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/MemAllocator.h"

OMVERA_MODULE_LOGGER("Task", "tidewave.infra.Task")

namespace Omvera {

namespace {

const char* const s_szUNNAMED = "<unnamed>";

// The block that carries one request through a task's queue. Besides the request (the
// data pointer, borrowed: the block never deletes it) it keeps the request's name for the
// task's logs.
class RequestBlock : public ACE_Message_Block {
 public:
  RequestBlock(ACE_Method_Request* in_pRequest, const char* in_szName,
               ACE_Allocator* in_pDataBlockAllocator, ACE_Allocator* in_pBlockAllocator)
      : ACE_Message_Block(sizeof(ACE_Method_Request), ACE_Message_Block::MB_DATA, nullptr,
                          reinterpret_cast<const char*>(in_pRequest), nullptr, nullptr,
                          in_pRequest->priority(), ACE_Time_Value::zero,
                          ACE_Time_Value::max_time, in_pDataBlockAllocator, in_pBlockAllocator),
        m_szName(in_szName),
        m_queuedAt(std::chrono::steady_clock::now()) {}

  const char* getName() const { return m_szName; }
  std::chrono::steady_clock::time_point getQueuedAt() const { return m_queuedAt; }

 private:
  const char* m_szName;
  const std::chrono::steady_clock::time_point m_queuedAt;
};

// Wraps in_pRequest in a block and queues it by priority. False when the block cannot be
// made or the queue refuses it; the request is never deleted here.
bool enqueueRequest(TaskMessageQueue& in_queue, ACE_Method_Request* in_pRequest,
                    const char* in_szName) {
  RequestBlock* pBlock = nullptr;
  ACE_Allocator* pBlockAllocator = in_queue.getBlockAllocator();
  if (pBlockAllocator == nullptr) {
    // Released with `delete this` by the block itself.
    pBlock = new (std::nothrow)
        RequestBlock(in_pRequest, in_szName, in_queue.getDataBlockAllocator(), nullptr);
  } else {
    // Released through the allocator by the block itself.
    void* pMemory = pBlockAllocator->malloc(sizeof(RequestBlock));
    if (pMemory != nullptr) {
      pBlock = new (pMemory) RequestBlock(in_pRequest, in_szName,
                                          in_queue.getDataBlockAllocator(), pBlockAllocator);
    }
  }
  if (pBlock == nullptr) return false;
  if (pBlock->data_block() == nullptr || in_queue.enqueue_prio(pBlock, nullptr) == -1) {
    pBlock->release();
    return false;
  }
  return true;
}

// Takes a dequeued block apart: the request it carries, its name and, when given a place
// for it, how long it waited (microseconds; 0 for a block of another kind). Releases the
// block.
ACE_Method_Request* unwrapRequest(ACE_Message_Block* in_pBlock, const char*& out_szName,
                                  std::int64_t* out_pWaitedUs = nullptr) {
  ACE_Method_Request* pRequest = reinterpret_cast<ACE_Method_Request*>(in_pBlock->base());
  const RequestBlock* pNamed = dynamic_cast<const RequestBlock*>(in_pBlock);
  out_szName = pNamed != nullptr ? pNamed->getName() : s_szUNNAMED;
  if (out_pWaitedUs != nullptr) {
    *out_pWaitedUs = pNamed == nullptr ? 0
                                       : std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::steady_clock::now() -
                                             pNamed->getQueuedAt())
                                             .count();
  }
  in_pBlock->release();
  return pRequest;
}

// The default allocator of the blocks that carry requests through task queues: blocks
// come from the class allocator's pools (a size prefix tells free() their size), so that
// queueing a request costs no heap allocation once warm. Process-wide, never destroyed
// (queues may release blocks while the process ends). Any thread.
class PooledBlockAllocator : public ACE_New_Allocator {
 public:
  void* malloc(size_t in_uiSize) override {
    char* pMem = static_cast<char*>(
        DefaultStaticMemAllocator::allocate(in_uiSize + s_uiPREFIX, "task queue block"));
    *reinterpret_cast<size_t*>(pMem) = in_uiSize;
    return pMem + s_uiPREFIX;
  }
  void* calloc(size_t in_uiSize, char in_cInitial = '\0') override {
    void* pMem = malloc(in_uiSize);
    std::memset(pMem, in_cInitial, in_uiSize);
    return pMem;
  }
  void* calloc(size_t in_uiElements, size_t in_uiElementSize, char in_cInitial = '\0') override {
    return calloc(in_uiElements * in_uiElementSize, in_cInitial);
  }
  void free(void* in_pMem) override {
    if (in_pMem == nullptr) return;
    char* pBlock = static_cast<char*>(in_pMem) - s_uiPREFIX;
    const size_t uiSize = *reinterpret_cast<size_t*>(pBlock);
    DefaultStaticMemAllocator::deallocate(pBlock, uiSize + s_uiPREFIX, "task queue block");
  }

 private:
  static constexpr size_t s_uiPREFIX = 16;  // keeps the block aligned for any object
};

ACE_Allocator* pooledBlockAllocator() {
  static PooledBlockAllocator* const s_pAllocator = new PooledBlockAllocator();
  return s_pAllocator;
}

ACE_Allocator* orPooled(ACE_Allocator* in_pAllocator) {
  return in_pAllocator != nullptr ? in_pAllocator : pooledBlockAllocator();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Task

bool Task::enqueue(ACE_Activation_Queue* in_pQueue, ACE_Method_Request* in_pRequest,
                   const char* in_szName) {
  if (!Assertion(in_pRequest != nullptr, "in_pRequest != 0", fileScopeLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  if (!Assertion(in_pQueue != nullptr, "in_pQueue != 0", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    delete in_pRequest;
    return false;
  }
  const char* szName = in_szName != nullptr ? in_szName : s_szUNNAMED;
  bool bQueued = false;
  TaskMessageQueue* pTaskQueue = dynamic_cast<TaskMessageQueue*>(in_pQueue->queue());
  if (pTaskQueue != nullptr) {
    bQueued = enqueueRequest(*pTaskQueue, in_pRequest, szName);
  } else {
    // A queue of another kind: its blocks carry no name.
    bQueued = in_pQueue->enqueue(in_pRequest) != -1;
  }
  if (!bQueued) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               "method request " << szName << " refused : the task does not accept work");
    delete in_pRequest;
  }
  return bQueued;
}

const char* Task::stateName(int in_iState) {
  switch (in_iState) {
    case IDLE_STATE:
      return "IDLE";
    case STARTING_STATE:
      return "STARTING";
    case RUNNING_STATE:
      return "RUNNING";
    case STOPPING_STATE:
      return "STOPPING";
    default:
      return "UNKNOWN";
  }
}

TaskObserver::~TaskObserver() = default;

ManageableTask::~ManageableTask() = default;

// ---------------------------------------------------------------------------------------
// TaskMessageQueue

TaskMessageQueue::TaskMessageQueue(ACE_Allocator* in_pBlockAllocator,
                                   ACE_Allocator* in_pDataBlockAllocator)
    // Flow control off: the queue counts bytes per request against the high-water mark and
    // would block senders (and deadlock a task queueing to itself) once it is reached.
    : ACE_Message_Queue<ACE_MT_SYNCH>(SIZE_MAX, SIZE_MAX),
      m_pBlockAllocator(in_pBlockAllocator),
      m_pDataBlockAllocator(in_pDataBlockAllocator) {}

TaskMessageQueue::~TaskMessageQueue() = default;

void TaskMessageQueue::setAccepting(bool in_bAccepting) {
  ACE_Guard<ACE_Thread_Mutex> guard(lock_);
  m_bAccepting = in_bAccepting;
}

bool TaskMessageQueue::isAccepting() {
  ACE_Guard<ACE_Thread_Mutex> guard(lock_);
  return m_bAccepting;
}

int TaskMessageQueue::enqueue_i(ACE_Message_Block* in_pBlock) {
  if (!m_bAccepting) {
    errno = ESHUTDOWN;
    return -1;
  }
  const int iResult = ACE_Message_Queue<ACE_MT_SYNCH>::enqueue_i(in_pBlock);
  if (iResult != -1) noteEnqueued();
  return iResult;
}

int TaskMessageQueue::enqueue_head_i(ACE_Message_Block* in_pBlock) {
  if (!m_bAccepting) {
    errno = ESHUTDOWN;
    return -1;
  }
  const int iResult = ACE_Message_Queue<ACE_MT_SYNCH>::enqueue_head_i(in_pBlock);
  if (iResult != -1) noteEnqueued();
  return iResult;
}

int TaskMessageQueue::enqueue_tail_i(ACE_Message_Block* in_pBlock) {
  if (!m_bAccepting) {
    errno = ESHUTDOWN;
    return -1;
  }
  const int iResult = ACE_Message_Queue<ACE_MT_SYNCH>::enqueue_tail_i(in_pBlock);
  if (iResult != -1) noteEnqueued();
  return iResult;
}

int TaskMessageQueue::enqueue_deadline_i(ACE_Message_Block* in_pBlock) {
  if (!m_bAccepting) {
    errno = ESHUTDOWN;
    return -1;
  }
  const int iResult = ACE_Message_Queue<ACE_MT_SYNCH>::enqueue_deadline_i(in_pBlock);
  if (iResult != -1) noteEnqueued();
  return iResult;
}

void TaskMessageQueue::noteEnqueued() {
  if (cur_count_ > m_uiHighWater) m_uiHighWater = cur_count_;
}

std::size_t TaskMessageQueue::getHighWater() {
  ACE_Guard<ACE_Thread_Mutex> guard(lock_);
  return m_uiHighWater;
}

// ---------------------------------------------------------------------------------------
// ManageableTaskImplBase

class ManageableTaskImplBase::ControlRequest : public ACE_Method_Request {
 public:
  ControlRequest(ManageableTaskImplBase& in_task, ControlKind in_eKind,
                 unsigned long in_ulPriority)
      : ACE_Method_Request(in_ulPriority), m_task(in_task), m_eKind(in_eKind) {}
  int call() override { return m_task.serveControl(m_eKind); }

 private:
  ManageableTaskImplBase& m_task;
  const ControlKind m_eKind;
};

ManageableTaskImplBase::ManageableTaskImplBase(ACE_Allocator* in_pBlockAllocator,
                                               ACE_Allocator* in_pDataBlockAllocator)
    : m_queue(orPooled(in_pBlockAllocator), orPooled(in_pDataBlockAllocator)),
      m_activationQueue(&m_queue, orPooled(in_pBlockAllocator),
                        orPooled(in_pDataBlockAllocator)),
      m_wakeBlock(reinterpret_cast<const char*>(&m_wakeRequest), sizeof(m_wakeRequest)),
      m_strTaskName("unnamed task") {}

ManageableTaskImplBase::~ManageableTaskImplBase() {
  killAndWait();
  // Still joinable only when destroyed on its own thread (reported by killAndWait): the
  // thread cannot join itself.
  if (m_thread.joinable()) m_thread.detach();
  m_queue.setAccepting(false);
  const std::size_t uiDiscarded = discardQueued();
  if (uiDiscarded != 0) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               getTaskName() << " : destroyed with " << uiDiscarded
                             << " queued request(s), deleted unserved");
  }
}

bool ManageableTaskImplBase::start() {
  if (getTaskState() != IDLE_STATE) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, getTaskName() << " : already running");
    return true;
  }
  std::lock_guard<std::recursive_mutex> joinLock(m_joinMutex);
  std::lock_guard<std::recursive_mutex> controlLock(m_controlMutex);
  if (getTaskState() != IDLE_STATE) return true;
  if (m_thread.joinable()) {
    // The previous thread has left its loop and is leaving.
    if (!Assertion(!isTaskThread(), "!isTaskThread()", fileScopeLogger(), s_szMODULE_NAME,
                   __LINE__)) {
      return false;
    }
    m_thread.join();
  }
  m_bLoopEnded = false;
  m_bDraining = false;
  prepareRun_i();
  m_queue.setAccepting(true);
  setTaskState(STARTING_STATE);
  try {
    m_thread = std::thread(&ManageableTaskImplBase::threadMain, this);
  } catch (const std::system_error& in_error) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               getTaskName() << " : cannot create the task thread : " << in_error.what());
    setTaskState(IDLE_STATE);
    return false;
  }
  return true;
}

bool ManageableTaskImplBase::stop() {
  if (getTaskState() == IDLE_STATE) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, getTaskName() << " : stop ignored, not running");
    return false;
  }
  return enqueue(new ControlRequest(*this, STOP_REQUEST, 0), "ManageableTaskImplBase::stop");
}

bool ManageableTaskImplBase::kill() {
  if (getTaskState() == IDLE_STATE) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, getTaskName() << " : kill ignored, not running");
    return false;
  }
  return enqueue(new ControlRequest(*this, KILL_REQUEST, ULONG_MAX),
                 "ManageableTaskImplBase::kill");
}

bool ManageableTaskImplBase::stopCompleted() {
  if (!Assertion(getTaskState() == STOPPING_STATE, "getTaskState() == STOPPING_STATE",
                 fileScopeLogger(), s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  return enqueue(new ControlRequest(*this, STOP_COMPLETED_REQUEST, 0),
                 "ManageableTaskImplBase::stopCompleted");
}

bool ManageableTaskImplBase::waitUntilDone() {
  if (!Assertion(!isTaskThread(), "!isTaskThread()", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> joinLock(m_joinMutex);
  std::thread thread;
  {
    std::lock_guard<std::recursive_mutex> controlLock(m_controlMutex);
    thread.swap(m_thread);
  }
  if (thread.joinable()) thread.join();
  return true;
}

void ManageableTaskImplBase::killAndWait() {
  if (!Assertion(!isTaskThread(), "!isTaskThread()", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return;
  }
  kill();
  waitUntilDone();
}

TaskQueueStats ManageableTaskImplBase::getQueueStats() {
  TaskQueueStats stats;
  stats.m_uiDepth = m_queue.message_count();
  stats.m_uiHighWater = m_queue.getHighWater();
  stats.m_llLongestWaitUs = m_llLongestWaitUs.load(std::memory_order_relaxed);
  return stats;
}

int ManageableTaskImplBase::getTaskState() const { return m_iState.load(); }

void ManageableTaskImplBase::setTaskState(int in_iState) {
  if (!Assertion(in_iState >= IDLE_STATE && in_iState <= STOPPING_STATE,
                 "in_iState >= IDLE_STATE && in_iState <= STOPPING_STATE", fileScopeLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(m_observerMutex);
  const int iOldState = m_iState.exchange(in_iState);
  if (iOldState == in_iState) return;
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
             getTaskName() << " : " << stateName(iOldState) << " -> " << stateName(in_iState));
  notifyObservers(iOldState, in_iState);
}

void ManageableTaskImplBase::notifyObservers(int in_iOldState, int in_iNewState) {
  // Under m_observerMutex. An observer may add or remove observers from its callback; one
  // removed during this round is not called any more.
  const std::vector<TaskObserver*> vObservers = m_vObservers;
  for (TaskObserver* pObserver : vObservers) {
    if (std::find(m_vObservers.begin(), m_vObservers.end(), pObserver) == m_vObservers.end()) {
      continue;
    }
    pObserver->taskStateChanged(*this, in_iOldState, in_iNewState);
  }
}

bool ManageableTaskImplBase::addTaskObserver(TaskObserver* in_pObserver) {
  if (!Assertion(in_pObserver != nullptr, "in_pObserver != 0", fileScopeLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> lock(m_observerMutex);
  if (std::find(m_vObservers.begin(), m_vObservers.end(), in_pObserver) != m_vObservers.end()) {
    return false;
  }
  m_vObservers.push_back(in_pObserver);
  return true;
}

bool ManageableTaskImplBase::removeTaskObserver(TaskObserver* in_pObserver) {
  std::lock_guard<std::recursive_mutex> lock(m_observerMutex);
  auto iter = std::find(m_vObservers.begin(), m_vObservers.end(), in_pObserver);
  if (iter == m_vObservers.end()) return false;
  m_vObservers.erase(iter);
  return true;
}

std::string ManageableTaskImplBase::getTaskName() const {
  std::lock_guard<std::mutex> lock(m_nameMutex);
  return m_strTaskName;
}

std::string ManageableTaskImplBase::getName() const { return getTaskName(); }

void ManageableTaskImplBase::setTaskName(const std::string& in_strName) {
  std::lock_guard<std::mutex> lock(m_nameMutex);
  m_strTaskName = in_strName;
}

bool ManageableTaskImplBase::enqueue(ACE_Method_Request* in_pRequest, const char* in_szName) {
  return Task::enqueue(&m_activationQueue, in_pRequest, in_szName);
}

bool ManageableTaskImplBase::isTaskThread() const {
  return m_threadId.load() == std::this_thread::get_id();
}

void ManageableTaskImplBase::wakeTaskThread() {
  if (isTaskThread()) return;
  // A wake-up already queued will do: the task thread clears the flag when it takes the
  // block, before it reads the timers again, so a timer added before this call is seen.
  if (m_bWakePending.exchange(true, std::memory_order_acq_rel)) return;
  if (m_queue.enqueue_prio(&m_wakeBlock, nullptr) == -1) {
    // Refused only when the task no longer serves anything: nothing to wake then.
    m_bWakePending.store(false, std::memory_order_release);
  }
}

void ManageableTaskImplBase::handleMOCallStop() { stopCompleted(); }

void ManageableTaskImplBase::handleMOCallStopCompleted() {}

void ManageableTaskImplBase::handleMOCallKill() {
  m_queue.setAccepting(false);
  m_bLoopEnded = true;
}

void ManageableTaskImplBase::onSvcEntry() { setTaskState(RUNNING_STATE); }

int ManageableTaskImplBase::close(unsigned long) {
  setTaskState(IDLE_STATE);
  return 0;
}

void ManageableTaskImplBase::postMOCallProcessing(int in_iStatus, const char* in_szName) {
  if (in_iStatus != 0) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::WARN,
               getTaskName() << " : method request " << in_szName << " failed with status "
                             << in_iStatus);
  }
}

int ManageableTaskImplBase::serveControl(ControlKind in_eKind) {
  switch (in_eKind) {
    case STOP_REQUEST:
      if (m_bDraining || getTaskState() == STOPPING_STATE) {
        OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
                   getTaskName() << " : stop ignored, already stopping");
        return 0;
      }
      setTaskState(STOPPING_STATE);
      handleMOCallStop();
      return 0;
    case STOP_COMPLETED_REQUEST:
      if (m_bDraining) {
        OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
                   getTaskName() << " : stop completion ignored, already completed");
        return 0;
      }
      handleMOCallStopCompleted();
      m_queue.setAccepting(false);
      m_bDraining = true;
      workEnded_i();
      return 0;
    case KILL_REQUEST:
      handleMOCallKill();
      workEnded_i();
      return 0;
  }
  return 1;
}

ManageableTaskImplBase::ServeResult ManageableTaskImplBase::serveNext(
    ACE_Time_Value* in_pDeadline) {
  ACE_Message_Block* pBlock = nullptr;
  if (m_queue.dequeue_head(pBlock, in_pDeadline) == -1) {
    const int iError = errno;
    if (iError == EWOULDBLOCK || iError == ETIME || iError == EINTR) return TIMED_OUT;
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               getTaskName() << " : activation queue failed (errno " << iError
                             << "), the task thread leaves");
    m_queue.setAccepting(false);
    m_bLoopEnded = true;
    return QUEUE_FAILED;
  }
  if (pBlock == &m_wakeBlock) {
    wakeServed_i();
    return SERVED;
  }
  const char* szName = nullptr;
  std::int64_t llWaitedUs = 0;
  ACE_Method_Request* pRequest = unwrapRequest(pBlock, szName, &llWaitedUs);
  if (llWaitedUs > m_llLongestWaitUs.load(std::memory_order_relaxed)) {
    m_llLongestWaitUs.store(llWaitedUs, std::memory_order_relaxed);
  }
  const int iStatus = pRequest->call();
  delete pRequest;
  postMOCallProcessing(iStatus, szName);
  return SERVED;
}

std::size_t ManageableTaskImplBase::discardQueued() {
  std::size_t uiDiscarded = 0;
  ACE_Time_Value immediately(ACE_Time_Value::zero);
  ACE_Message_Block* pBlock = nullptr;
  while (m_queue.dequeue_head(pBlock, &immediately) != -1) {
    if (pBlock == &m_wakeBlock) {
      wakeServed_i();
      continue;
    }
    const char* szName = nullptr;
    ACE_Method_Request* pRequest = unwrapRequest(pBlock, szName);
    OMVERA_LOG(fileScopeLogger(), LogLevel::TRACE,
               getTaskName() << " : method request " << szName << " deleted unserved");
    delete pRequest;
    ++uiDiscarded;
  }
  return uiDiscarded;
}

void ManageableTaskImplBase::threadMain() {
  m_threadId.store(std::this_thread::get_id());
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, getTaskName() << " : thread entered");
  onSvcEntry();
  svc();
  m_queue.setAccepting(false);
  const std::size_t uiDiscarded = discardQueued();
  if (uiDiscarded != 0) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               getTaskName() << " : " << uiDiscarded << " queued request(s) deleted unserved");
  }
  close(0);
  if (getTaskState() != IDLE_STATE) setTaskState(IDLE_STATE);
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, getTaskName() << " : thread left");
  m_threadId.store(std::thread::id());
}

// ---------------------------------------------------------------------------------------
// StaticReactorTaskImpl

StaticReactorTaskImpl::StaticReactorTaskImpl(ACE_Allocator* in_pBlockAllocator,
                                             ACE_Allocator* in_pDataBlockAllocator)
    : ManageableTaskImplBase(in_pBlockAllocator, in_pDataBlockAllocator),
      m_hConfigCache(new ConfigCache()) {}

StaticReactorTaskImpl::~StaticReactorTaskImpl() {
  // The thread uses the timers and this class's overrides: it must be gone before they are.
  killAndWait();
}

long StaticReactorTaskImpl::scheduleTimer(TimeoutProcessor* in_pProcessor,
                                          const TimeoutData* in_pData,
                                          const ACE_Time_Value& in_delay) {
  if (!TimerQueue::validTimerRequest(in_pProcessor, in_delay)) return -1;
  bool bBecameFirst = false;
  const long lId =
      m_timers.add(in_pProcessor, in_pData, TimerQueue::monotonicNow(true) + in_delay,
                   &bBecameFirst);
  if (lId == -1) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               getTaskName() << " : timer refused, the task does not run timers any more");
    return -1;
  }
  // The task thread may be sleeping until a later deadline, or without one.
  if (bBecameFirst) wakeTaskThread();
  return lId;
}

bool StaticReactorTaskImpl::cancelTimer(long in_lTimerId, const TimeoutData* in_pData) {
  return m_timers.cancel(in_lTimerId, in_pData);
}

void StaticReactorTaskImpl::prepareRun_i() { m_timers.open(); }

void StaticReactorTaskImpl::workEnded_i() { closeTimers(); }

void StaticReactorTaskImpl::closeTimers() {
  const std::size_t uiDropped = m_timers.close();
  if (uiDropped != 0) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               getTaskName() << " : " << uiDropped << " armed timer(s) dropped");
  }
}

void StaticReactorTaskImpl::fireDueTimers() {
  // One reading of the clock per round: a timer re-armed with no delay by its own callback
  // waits for the next round, after the next request if one is queued.
  const ACE_Time_Value now = TimerQueue::monotonicNow();
  TimerQueue::Timer timer;
  while (m_timers.popDue(now, timer)) {
    TimerQueue::fire(timer, ACE_OS::gettimeofday());
  }
}

int StaticReactorTaskImpl::svc() {
  ACE_Time_Value immediately(ACE_Time_Value::zero);
  while (!loopEnded()) {
    if (isDraining()) {
      if (serveNext(&immediately) != SERVED) break;
      continue;
    }
    // With no timer armed a turn costs no clock read and no timer lock: a timer armed
    // meanwhile from another thread wakes this thread (it is then the earliest).
    if (m_timers.empty()) {
      serveNext(nullptr);
      continue;
    }
    fireDueTimers();
    ACE_Time_Value nextDeadline;
    if (m_timers.nextDeadline(nextDeadline)) {
      // The queue waits on the wall clock: convert the monotonic deadline into a wall-clock
      // one. A step of the wall clock can only make the wait end early (the loop then
      // waits again) or late by the size of a backward step.
      ACE_Time_Value remaining = nextDeadline - TimerQueue::monotonicNow();
      if (remaining < ACE_Time_Value::zero) remaining = ACE_Time_Value::zero;
      ACE_Time_Value wallDeadline = ACE_OS::gettimeofday() + remaining;
      serveNext(&wallDeadline);
    } else {
      serveNext(nullptr);
    }
  }
  // The loop may also end without a stop or kill request (the queue broke down).
  closeTimers();
  return 0;
}

}  // namespace Omvera
