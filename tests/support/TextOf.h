#pragma once
// textOf(obj): what operator<< writes for obj, as a string. For checking exact texts.

#include <sstream>
#include <string>

namespace Omvera {
namespace Test {

template <class T>
std::string textOf(const T& in_obj) {
  std::ostringstream stream;
  stream << in_obj;
  return stream.str();
}

}  // namespace Test
}  // namespace Omvera
