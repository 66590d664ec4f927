#include "tidewave/infra/Object.h"

namespace Omvera {

Object::~Object() = default;

OutputStreamable::~OutputStreamable() = default;

std::ostream& operator<<(std::ostream& out_stream, const OutputStreamable& in_obj) {
  in_obj.write(out_stream);
  return out_stream;
}

}  // namespace Omvera
