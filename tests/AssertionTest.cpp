// Assertions, the re-entry guards and the checked cast.
#include <gtest/gtest.h>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "tidewave/infra/CheckedCast.h"
#include "tidewave/infra/Guards.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("AssertionTest", "tidewave.test.AssertionTest")

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;

TEST(Assertions, FalseConditionIsLoggedCountedObservedAndReturned) {
  LogCapture capture("", LogLevel::TRACE);
  AssertionRecorder recorder;
  const unsigned long ulBefore = AssertionRegistry::getCount();

  EXPECT_TRUE(Assertion(true, "never reported", "Module", 1));
  EXPECT_FALSE(Assertion(false, "! pCallback.isNull()", "MediaEngineTask", 42));
  EXPECT_FALSE(Assertion(false, "m_uiCount > 0", Logger("tidewave.test.own"), "Counts", 7));

  EXPECT_EQ(ulBefore + 2, AssertionRegistry::getCount());
  EXPECT_EQ((std::vector<std::string>{"! pCallback.isNull()", "m_uiCount > 0"}),
            recorder.expressions());
  EXPECT_EQ("MediaEngineTask", recorder.records()[0].m_strModule);
  EXPECT_EQ(42, recorder.records()[0].m_iLine);

  const auto lines = capture.lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(LogLevel::ERROR, lines[0].m_iLevel);
  EXPECT_EQ("Assertion failed : ! pCallback.isNull() (MediaEngineTask:42)", lines[0].m_strMessage);
  EXPECT_EQ("tidewave.infra.Assertion", lines[0].m_strLogger);
  EXPECT_EQ("tidewave.test.own", lines[1].m_strLogger);
}

TEST(Assertions, RecordersNestAndRestoreThePreviousObserver) {
  AssertionRecorder outer;
  {
    AssertionRecorder inner;
    Assertion(false, "inner", "M", 1);
    EXPECT_EQ(1u, inner.count("inner"));
  }
  Assertion(false, "outer", "M", 2);
  EXPECT_EQ((std::vector<std::string>{"outer"}), outer.expressions());
}

TEST(RecursivityGuards, NestedGuardReportsOnceAndFlagEndsClear) {
  AssertionRecorder recorder;
  bool bFlag = false;
  {
    RecursivityGuard outer(bFlag, "Guarded", 10);
    EXPECT_TRUE(bFlag);
    {
      RecursivityGuard inner(bFlag, "Guarded", 11);
      EXPECT_TRUE(inner.reentered());
    }
    EXPECT_TRUE(bFlag) << "the outer guard still owns the flag";
  }
  EXPECT_FALSE(bFlag);
  EXPECT_EQ((std::vector<std::string>{"recursive call on a guarded object"}),
            recorder.expressions());
}

TEST(ScratchMemberGuards, SecondUserReportedAndReleaseFreesEarly) {
  AssertionRecorder recorder;
  bool bInUse = false;
  {
    ScratchMemberGuard first(bInUse, "Scratch", 1);
    { ScratchMemberGuard second(bInUse, "Scratch", 2); }
    EXPECT_EQ(1u, recorder.count("scratch member already in use"));
    first.release();
    EXPECT_FALSE(bInUse);
    ScratchMemberGuard third(bInUse, "Scratch", 3);  // free again: no report
    EXPECT_TRUE(bInUse);
  }
  EXPECT_FALSE(bInUse);
  EXPECT_EQ(1u, recorder.count());
}

struct Base {
  virtual ~Base() = default;
};
struct Derived : Base {};
struct Other : Base {};

TEST(CheckedCast, SuccessReportsNothing) {
  AssertionRecorder recorder;
  Derived derived;
  Base* pBase = &derived;
  EXPECT_EQ(&derived, OMVERA_DYNCAST_ASSERT(Derived, pBase));
  EXPECT_EQ(0u, recorder.count());
}

TEST(CheckedCast, WrongTypeNamesTheActualTypeThenAsserts) {
  LogCapture capture("tidewave.test.AssertionTest", LogLevel::TRACE);
  AssertionRecorder recorder;
  Other other;
  Base* pBase = &other;
  EXPECT_EQ(nullptr, OMVERA_DYNCAST_ASSERT(Derived, pBase));
  EXPECT_EQ((std::vector<std::string>{"pBase != 0"}), recorder.expressions());
  EXPECT_TRUE(capture.containsPart(
      LogLevel::ERROR, "object of type Omvera::(anonymous namespace)::Other is not a"));
}

TEST(CheckedCast, NullSourceReportsNullBaseError) {
  LogCapture capture("tidewave.test.AssertionTest", LogLevel::TRACE);
  AssertionRecorder recorder;
  Base* pBase = nullptr;
  EXPECT_EQ(nullptr, OMVERA_DYNCAST_ASSERT(Derived, pBase));
  EXPECT_EQ((std::vector<std::string>{"pBase != 0"}), recorder.expressions());
  EXPECT_TRUE(capture.containsPart(LogLevel::ERROR, "null pointer cast to"));
  EXPECT_FALSE(capture.containsPart(LogLevel::ERROR, "object of type"));
}

}  // namespace
}  // namespace Omvera
