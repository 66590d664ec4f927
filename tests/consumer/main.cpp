// A program outside the source tree, built against an installed copy of the library.
#include <iostream>

#include "tidewave/MediaLibrary.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Identifiers.h"

int main() {
  const std::string strId = Omvera::UUID().toString();
  if (strId.size() != 36) return 1;
  std::cout << "consumer ok, library " << Omvera::Media::getLibraryVersion() << std::endl;
  return 0;
}
