// Owning handles: deep-copying (CopiedObjPtr) and cloning (CloneableObjPtr).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/InstanceCounters.h"
#include "support/LogCapture.h"
#include "tidewave/Cloneable.h"
#include "tidewave/CloneableObjPtr.h"
#include "tidewave/CopiedObjPtr.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;

using Counters = Test::InstanceCounters;

class Value {
 public:
  Value(Counters& in_rCounters, std::string in_strText)
      : m_pCounters(&in_rCounters), m_strText(std::move(in_strText)) {
    ++m_pCounters->m_iConstructed;
  }
  Value(const Value& in_other) : m_pCounters(in_other.m_pCounters), m_strText(in_other.m_strText) {
    ++m_pCounters->m_iCopied;
  }
  Value& operator=(const Value& in_other) {
    m_strText = in_other.m_strText;
    ++m_pCounters->m_iAssigned;
    return *this;
  }
  ~Value() { ++m_pCounters->m_iDestroyed; }
  const std::string& text() const { return m_strText; }

 private:
  Counters* m_pCounters;
  std::string m_strText;
};

TEST(CopiedObjPtr, CopyConstructsIntoEmptyAssignsIntoFullAndTransfersOwnership) {
  Counters counters;
  {
    CopiedObjPtr<Value> source(new Value(counters, "spec"));
    CopiedObjPtr<Value> empty;
    empty = source;  // no object yet: constructs
    EXPECT_NE(source.get(), empty.get());
    EXPECT_EQ(1, counters.m_iCopied);
    EXPECT_EQ(0, counters.m_iAssigned);

    CopiedObjPtr<Value> full(new Value(counters, "old"));
    Value* pKept = full.get();
    full = source;  // has an object: assigns into it
    EXPECT_EQ(pKept, full.get());
    EXPECT_EQ("spec", full->text());
    CopiedObjPtr<Value>& alias = full;
    full = alias;
    EXPECT_EQ(1, counters.m_iAssigned);
    EXPECT_EQ(0, counters.m_iDestroyed);

    full = CopiedObjPtr<Value>();  // copying nothing leaves nothing
    EXPECT_TRUE(full.isNull());
    EXPECT_EQ(1, counters.m_iDestroyed);

    full = new Value(counters, "b");  // raw pointers and moves take ownership without copying
    full = full.get();
    CopiedObjPtr<Value> moved(std::move(full));
    EXPECT_TRUE(full.isNull());  // NOLINT: checking the moved-from state
    EXPECT_EQ("b", moved->text());
    delete moved.release();
    EXPECT_TRUE(moved.isNull());
    EXPECT_EQ(1, counters.m_iCopied);
  }
  EXPECT_EQ(0, counters.alive());
}

class Shape : public Cloneable {
 public:
  explicit Shape(Counters& in_rCounters) : m_pCounters(&in_rCounters) { ++m_pCounters->m_iConstructed; }
  Shape(const Shape& in_other) : Object(), Cloneable(), m_pCounters(in_other.m_pCounters) {
    ++m_pCounters->m_iCopied;
  }
  Shape& operator=(const Shape&) = delete;
  ~Shape() override { ++m_pCounters->m_iDestroyed; }
  virtual const char* name() const = 0;

 protected:
  Counters* m_pCounters;
};

class Circle : public Shape {
 public:
  using Shape::Shape;
  Cloneable* clone() const override {
    ++m_pCounters->m_iCloned;
    return new Circle(*this);
  }
  const char* name() const override { return "circle"; }
};

class Square : public Shape {
 public:
  using Shape::Shape;
  Cloneable* clone() const override {
    ++m_pCounters->m_iCloned;
    return new Square(*this);
  }
  const char* name() const override { return "square"; }
};

// A circle whose clone is not a circle (a broken clone()).
class BadCircle : public Circle {
 public:
  using Circle::Circle;
  Cloneable* clone() const override {
    ++m_pCounters->m_iCloned;
    return new Square(*m_pCounters);
  }
};

class NullCircle : public Circle {
 public:
  using Circle::Circle;
  Cloneable* clone() const override { return nullptr; }
};

TEST(CloneableObjPtr, CopiesCloneAndEmptyCopiesDoNot) {
  AssertionRecorder recorder;
  Counters counters;
  {
    CloneableObjPtr<Shape> empty;
    CloneableObjPtr<Shape> emptyCopy(empty);
    EXPECT_TRUE(emptyCopy.isNull());
    EXPECT_EQ(0, counters.m_iCloned);

    CloneableObjPtr<Shape> circle(new Circle(counters));
    CloneableObjPtr<Shape> copy(circle);
    EXPECT_EQ(1, counters.m_iCloned);
    EXPECT_NE(circle.get(), copy.get());

    CloneableObjPtr<Shape> target(new Square(counters));
    target = circle;  // the square goes, a clone of the circle comes
    EXPECT_EQ(1, counters.m_iDestroyed);
    EXPECT_STREQ("circle", (*target).name());
    EXPECT_EQ(2, counters.m_iCloned);

    CloneableObjPtr<Shape>& alias = target;
    target = alias;  // same object: nothing
    EXPECT_EQ(2, counters.m_iCloned);

    target = empty;
    EXPECT_TRUE(target == nullptr);
    EXPECT_EQ(2, counters.m_iDestroyed);

    Circle* pRaw = new Circle(counters);
    target = pRaw;
    EXPECT_TRUE(target == pRaw);
    target = new Square(counters);  // deletes the circle, takes the square
    EXPECT_EQ(3, counters.m_iDestroyed);

    // Cloning between handle types: a Shape that is a Circle.
    CloneableObjPtr<Circle> asCircle(circle);
    EXPECT_STREQ("circle", asCircle->name());
    std::vector<CloneableObjPtr<Shape>> vShapes(3, circle);
    EXPECT_EQ(6, counters.m_iCloned);
  }
  EXPECT_EQ(0, counters.alive());
  EXPECT_EQ(0u, recorder.count());
}

TEST(CloneableObjPtr, CloneOfTheWrongTypeIsReportedAndDropped) {
  LogCapture capture("tidewave.media.CloneableObjPtr");
  AssertionRecorder recorder;
  Counters counters;
  {
    CloneableObjPtr<Circle> bad(new BadCircle(counters));
    CloneableObjPtr<Circle> copy(bad);
    EXPECT_TRUE(copy.isNull());
    EXPECT_EQ((std::vector<std::string>{"aCP.isNull() || m_ptr"}), recorder.expressions());

    CloneableObjPtr<Circle> target(new Circle(counters));
    target = bad;
    EXPECT_TRUE(target.isNull());
    EXPECT_EQ(1u, recorder.count("rhs.isNull() || m_ptr"));

    CloneableObjPtr<Circle> nullClone(new NullCircle(counters));
    CloneableObjPtr<Circle> fromNull(nullClone);
    EXPECT_TRUE(fromNull.isNull());
    EXPECT_EQ(2u, recorder.count("aCP.isNull() || m_ptr"));

    CloneableObjPtr<Shape> square(new Square(counters));
    CloneableObjPtr<Circle> notACircle(square);
    EXPECT_TRUE(notACircle.isNull());
    EXPECT_EQ(3u, recorder.count("aCP.isNull() || m_ptr"));
  }
  EXPECT_TRUE(capture.contains(LogLevel::ERROR,
                               "Clone of type Omvera::(anonymous namespace)::Square is not a "
                               "Omvera::(anonymous namespace)::Circle"));
  EXPECT_TRUE(capture.containsPart(LogLevel::ERROR, "clone() returned null"));
  EXPECT_EQ(0, counters.alive());  // the stray squares were deleted
}

}  // namespace
}  // namespace Omvera
