#pragma once
// The untyped base of the state machine templates: the re-entry flag, the scratch out-state
// name with its in-use flag, and the initial state name.
//
// The thread that owns the machine only; nothing is locked. The fields are for the
// machine templates: the recursion flag goes to a RecursivityGuard around event
// processing, the scratch flag to a ScratchMemberGuard while m_strStateName carries a
// state's answer.

#include <string>

namespace Omvera {

class StateMachineNoT {
 public:
  // Copies in_szName as the initial state name. Null is an assertion and stores the
  // undefined name.
  void setInitialStateName(const char* in_szName);
  const std::string& getInitialStateName() const { return m_strInitialStateName; }
  // "StateMachineNoTUndefStateName": the value of an out-state name that nobody set, and
  // of the initial state name before one is set.
  static const char* getUndefStateName() { return s_szUNDEF_STATE_NAME; }

 protected:
  StateMachineNoT();
  ~StateMachineNoT();
  StateMachineNoT(const StateMachineNoT&) = default;
  StateMachineNoT& operator=(const StateMachineNoT&) = default;

  bool& recursionFlag() { return m_bRecursionFlag; }
  bool& scratchFlag() { return m_bScratchFlag; }

  bool m_bRecursionFlag = false;
  // Scratch out-state name handed to the state being called, reused to avoid allocation.
  std::string m_strStateName;
  bool m_bScratchFlag = false;
  std::string m_strInitialStateName;

 private:
  static constexpr const char* s_szUNDEF_STATE_NAME = "StateMachineNoTUndefStateName";
};

}  // namespace Omvera
