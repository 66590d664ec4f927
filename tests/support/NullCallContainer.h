#pragma once
// A call container that is never asked anything: events built for tests only carry its
// address. Holds nothing, finds nothing, refuses every insert. Any thread.

#include "tidewave/MediaCallSM.h"
#include "tidewave/TSTaskObjectPool.h"

namespace Omvera {
namespace Test {

class NullCallContainer : public TaskObjectContainer<MediaCallSM> {
 public:
  void releaseObject(unsigned long) override {}
  CountedObjPtr<MediaCallSM> getObject(unsigned long) override {
    return CountedObjPtr<MediaCallSM>();
  }
  bool insertObject(unsigned long, const CountedObjPtr<MediaCallSM>&) override { return false; }
};

}  // namespace Test
}  // namespace Omvera
