#pragma once
// Records failed assertions for tests. While an AssertionRecorder lives it is the process's
// assertion observer; the previous observer is put back when it is destroyed. Reports may
// come from any thread.

#include <mutex>
#include <string>
#include <vector>

#include "tidewave/infra/Assertion.h"

namespace Omvera {
namespace Test {

struct RecordedAssertion {
  std::string m_strExpression;
  std::string m_strModule;
  int m_iLine;
};

class AssertionRecorder : public AssertionObserver {
 public:
  AssertionRecorder();
  ~AssertionRecorder() override;
  AssertionRecorder(const AssertionRecorder&) = delete;
  AssertionRecorder& operator=(const AssertionRecorder&) = delete;

  void assertionFailed(const char* in_szExpression, const char* in_szModule,
                       int in_iLine) override;

  std::vector<RecordedAssertion> records() const;
  // The expression texts, in order.
  std::vector<std::string> expressions() const;
  std::size_t count() const;
  // How many recorded assertions have exactly this expression text.
  std::size_t count(const std::string& in_strExpression) const;
  void clear();

 private:
  AssertionObserver* m_pPrevious;
  mutable std::mutex m_mutex;
  std::vector<RecordedAssertion> m_vRecords;
};

}  // namespace Test
}  // namespace Omvera
