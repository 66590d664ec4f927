// Optional values that report when read while invalid.
#include <gtest/gtest.h>

#include <string>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "support/TextOf.h"
#include "tidewave/Fallible.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;
using Test::textOf;

const char* const kInvalidRead = "Fallible value read while invalid";

TEST(Fallible, DefaultIsInvalidAndReportsWhenRead) {
  LogCapture capture;
  AssertionRecorder recorder;
  Fallible<unsigned> value;
  EXPECT_TRUE(value.failed());
  EXPECT_EQ(0u, value.getValue("ToneBank", 17));
  ASSERT_EQ(1u, recorder.count(kInvalidRead));
  EXPECT_EQ("ToneBank", recorder.records()[0].m_strModule);
  EXPECT_EQ(17, recorder.records()[0].m_iLine);
  const unsigned uiRead = value;  // the implicit read reports too
  EXPECT_EQ(0u, uiRead);
  EXPECT_EQ(2u, recorder.count(kInvalidRead));
  OMVERA_FALLIBLE_VALUE(value);
  EXPECT_NE(std::string::npos, recorder.records().back().m_strModule.find("FallibleTest.cpp"));
}

TEST(Fallible, ValuesMakeItValidInvalidateUndoesItCopiesCarryBoth) {
  AssertionRecorder recorder;
  Fallible<int> value(5);
  EXPECT_EQ(5, value.getValue());
  value.invalidate();
  EXPECT_TRUE(value.failed());
  {
    LogCapture capture;
    EXPECT_EQ(5, value.getValue());  // the stored value comes back, reported
  }
  EXPECT_EQ(1u, recorder.count());
  Fallible<int> copy(value);
  EXPECT_TRUE(copy.failed());
  value = -3;
  copy = value;
  EXPECT_TRUE(copy.valid());
  EXPECT_EQ(-3, static_cast<int>(copy));
  EXPECT_EQ(1u, recorder.count());
}

TEST(FallibleClass, CarriesStringsAndPrintsThroughTheCheckedRead) {
  AssertionRecorder recorder;
  FallibleClass<std::string> name;
  {
    LogCapture capture;
    EXPECT_EQ("", textOf(name));
  }
  EXPECT_EQ(1u, recorder.count(kInvalidRead));
  name = std::string("ringback");
  EXPECT_EQ("ringback", textOf(name));
  const std::string& strRef = name;
  EXPECT_EQ("ringback", strRef);
  name.invalidate();
  FallibleClass<std::string> copy(name);
  EXPECT_TRUE(copy.failed());
  EXPECT_EQ(1u, recorder.count());
}

}  // namespace
}  // namespace Omvera
