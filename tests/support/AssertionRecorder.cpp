#include "support/AssertionRecorder.h"

#include <algorithm>

namespace Omvera {
namespace Test {

AssertionRecorder::AssertionRecorder() : m_pPrevious(AssertionRegistry::setObserver(this)) {}

AssertionRecorder::~AssertionRecorder() { AssertionRegistry::setObserver(m_pPrevious); }

void AssertionRecorder::assertionFailed(const char* in_szExpression, const char* in_szModule,
                                        int in_iLine) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vRecords.push_back(RecordedAssertion{in_szExpression ? in_szExpression : "",
                                         in_szModule ? in_szModule : "", in_iLine});
}

std::vector<RecordedAssertion> AssertionRecorder::records() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vRecords;
}

std::vector<std::string> AssertionRecorder::expressions() const {
  std::vector<std::string> vResult;
  for (const RecordedAssertion& record : records()) vResult.push_back(record.m_strExpression);
  return vResult;
}

std::size_t AssertionRecorder::count() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vRecords.size();
}

std::size_t AssertionRecorder::count(const std::string& in_strExpression) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<std::size_t>(std::count_if(
      m_vRecords.begin(), m_vRecords.end(),
      [&](const RecordedAssertion& r) { return r.m_strExpression == in_strExpression; }));
}

void AssertionRecorder::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vRecords.clear();
}

}  // namespace Test
}  // namespace Omvera
