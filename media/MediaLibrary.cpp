#include "tidewave/MediaLibrary.h"

namespace Omvera {
namespace Media {

const char* getLibraryVersion() { return "0.1.0"; }

}  // namespace Media
}  // namespace Omvera
