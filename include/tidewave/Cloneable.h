#pragma once
// Objects that copy themselves polymorphically (events, configurations, peer data).

#include "tidewave/infra/Object.h"

namespace Omvera {

// Any thread that owns the object.
class Cloneable : public virtual Object {
 public:
  // A new object of this object's dynamic type, copied from it; the caller owns it.
  virtual Cloneable* clone() const = 0;
};

}  // namespace Omvera
