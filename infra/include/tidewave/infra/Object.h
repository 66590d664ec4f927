#pragma once
// Root classes shared by every polymorphic object of the infrastructure and media layers.

#include <ostream>

namespace Omvera {

// Common virtual root. Carries nothing but a virtual destructor, so that objects can be
// held and deleted through any of their interfaces. Any thread.
class Object {
 public:
  virtual ~Object();
};

// An object with a text form. operator<< writes it through write(). Any thread that
// owns the object.
class OutputStreamable {
 public:
  virtual ~OutputStreamable();
  virtual void write(std::ostream& out_stream) const = 0;
};

std::ostream& operator<<(std::ostream& out_stream, const OutputStreamable& in_obj);

}  // namespace Omvera
