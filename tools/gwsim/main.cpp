// Gateway simulator. For now it exercises the infrastructure under the media engine: it
// loads the process configuration, prints the keys it saw, starts a task, runs a few
// requests and a timer through it, stops the task and prints what happened, in order.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "tidewave/MediaLibrary.h"
#include "tidewave/infra/Configuration.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TimerScheduler.h"

OMVERA_MODULE_LOGGER("GatewaySimulator", "tidewave.gwsim")

namespace Omvera {
namespace {

// Collects what happened, from any thread, for printing in order.
class Journal {
 public:
  void record(const std::string& in_strLine) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::cout << "  [" << m_vLines.size() + 1 << "] " << in_strLine << std::endl;
    m_vLines.push_back(in_strLine);
    m_condition.notify_all();
  }
  // Waits (bounded) until a line with exactly this text was recorded.
  bool waitFor(const std::string& in_strLine) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_condition.wait_for(lock, std::chrono::seconds(10), [&] {
      for (const std::string& strLine : m_vLines) {
        if (strLine == in_strLine) return true;
      }
      return false;
    });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_condition;
  std::vector<std::string> m_vLines;
};

class SimulatorTask : public StaticReactorTaskImpl, public TimeoutProcessor, public TimeoutData {
 public:
  explicit SimulatorTask(Journal& in_journal) : m_journal(in_journal) {
    setTaskName("Gateway Simulator Task");
  }
  ~SimulatorTask() override { killAndWait(); }

  bool processTimeout(const ACE_Time_Value& /*in_now*/, const TimeoutData* in_pData) override {
    m_journal.record(std::string("timer fired on the task thread: ") +
                     (in_pData == this ? "ours" : "unknown") +
                     (isTaskThread() ? "" : " (WRONG THREAD)"));
    return true;
  }

 protected:
  void onSvcEntry() override {
    StaticReactorTaskImpl::onSvcEntry();
    m_journal.record("task thread running");
  }
  void handleMOCallStop() override {
    m_journal.record("stop served, state " + std::string(Task::stateName(getTaskState())));
    StaticReactorTaskImpl::handleMOCallStop();
  }
  void handleMOCallStopCompleted() override { m_journal.record("stop completed"); }
  int close(unsigned long in_ulFlags) override {
    m_journal.record("task thread leaving");
    return StaticReactorTaskImpl::close(in_ulFlags);
  }

 private:
  Journal& m_journal;
};

// One queued request: records its number when the task thread serves it.
class CallSetupRequest : public ACE_Method_Request {
 public:
  CallSetupRequest(Journal& in_journal, int in_iCall) : m_journal(in_journal), m_iCall(in_iCall) {}
  int call() override {
    m_journal.record("served request: set up call-" + std::to_string(m_iCall));
    return 0;
  }

 private:
  Journal& m_journal;
  int m_iCall;
};

void printConfiguration() {
  const std::string strFile = GlobalConfig::getConfigFileName();
  std::cout << "Configuration file: "
            << (strFile.empty() ? std::string("(none: TIDEWAVE_CONFIG is not set)") : strFile)
            << std::endl;
  const ParameterHashMap parameters = GlobalConfig::getWritable().snapshot();
  std::cout << "Configuration keys seen (" << parameters.size() << "):" << std::endl;
  std::vector<std::string> vNames;
  for (const auto& entry : parameters.getMap()) vNames.push_back(entry.first);
  std::sort(vNames.begin(), vNames.end());
  for (const std::string& strName : vNames) {
    std::cout << "  " << strName << " = " << parameters.getMap().at(strName) << std::endl;
  }
  int iStopTimeoutSec = 0;
  if (GlobalConfig::getInstance().getIntParameter("tidewave.media.EndpointSM.stopTimeoutSec",
                                                  iStopTimeoutSec)) {
    std::cout << "Endpoint stop timeout read as an integer: " << iStopTimeoutSec << " s"
              << std::endl;
  }
}

int run() {
  std::cout << "Tidewave gateway simulator, media library " << Media::getLibraryVersion()
            << std::endl;
  printConfiguration();

  Journal journal;
  SimulatorTask task(journal);
  std::cout << "Running a task:" << std::endl;
  if (!task.start()) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR, "the simulator task did not start");
    return 1;
  }
  const long lTimerId = task.scheduleTimer(&task, &task, ACE_Time_Value(0, 200 * 1000));
  journal.record("timer armed for 200 ms, id " + std::to_string(lTimerId));
  for (int iCall = 1; iCall <= 3; ++iCall) {
    task.enqueue(new CallSetupRequest(journal, iCall), "CallSetupRequest");
  }
  const bool bFired = journal.waitFor("timer fired on the task thread: ours");
  task.stop();
  task.waitUntilDone();
  const bool bRefused = !task.enqueue(new CallSetupRequest(journal, 4), "CallSetupRequest");
  journal.record(std::string("request after the stop ") + (bRefused ? "refused" : "ACCEPTED"));
  if (!bFired || !bRefused) {
    std::cout << "FAILED" << std::endl;
    return 1;
  }
  std::cout << "Done." << std::endl;
  return 0;
}

}  // namespace
}  // namespace Omvera

int main() { return Omvera::run(); }
