#pragma once
// Identity of the media engine library build. Any thread.

namespace Omvera {
namespace Media {

// The library version as "major.minor.patch".
const char* getLibraryVersion();

}  // namespace Media
}  // namespace Omvera
