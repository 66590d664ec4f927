#include "tidewave/TSTaskObjectPool.h"

namespace Omvera {

// Anchors the container interface's type information in the library.
TaskObjectContainerNoT::~TaskObjectContainerNoT() = default;

}  // namespace Omvera
