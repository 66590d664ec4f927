#pragma once
// DTMF key identifiers, their names ("dtmf_0" ... "dtmf_#") and the parsing of names and
// key characters back to identifiers. Any thread.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "tidewave/ClassAllocator.h"
#include "tidewave/Fallible.h"
#include "tidewave/infra/FileSystem.h"

namespace Omvera {
namespace Media {

// The name that stands for the whole set of DTMF keys.
constexpr const char* s_szALL_DTMFS = "dtmfs";

// An empty base that declares the DTMF identifiers, one per key.
class ObjectWithDtmfIdentifierEnum {
 public:
  enum DtmfIdentifier : std::int32_t {
    eDTMF_0 = 0,
    eDTMF_1,
    eDTMF_2,
    eDTMF_3,
    eDTMF_4,
    eDTMF_5,
    eDTMF_6,
    eDTMF_7,
    eDTMF_8,
    eDTMF_9,
    eDTMF_A,      // 10
    eDTMF_B,      // 11
    eDTMF_C,      // 12
    eDTMF_D,      // 13
    eDTMF_STAR,   // 14, '*'
    eDTMF_POUND   // 15, '#'
  };
  static constexpr std::size_t s_uiNUM_DTMF_IDENTIFIERS = 16;

  // True for the identifiers 0 to 15.
  static bool isValidIdentifier(DtmfIdentifier in_eId) {
    return in_eId >= eDTMF_0 && in_eId <= eDTMF_POUND;
  }
};

// The process-wide table of DTMF names: entry i holds the name of identifier i, "dtmf_"
// followed by the key character. Created once, when the library is loaded (or on the first
// getInstance(), whichever comes first; concurrent first calls create one table), then
// registered with the SingletonRegistry, which destroys it at process shutdown. Read-only
// after creation: any thread may read it.
class DtmfIdentifierToStringVector : public StringVector, public ObjectWithDtmfIdentifierEnum {
 public:
  // The name under which the table is registered with the SingletonRegistry.
  static constexpr const char* s_szSINGLETON_NAME = "DtmfIdentifierToStringVector::Singleton";

  // The process-wide table. Valid until the registry is cleaned up at shutdown.
  static const DtmfIdentifierToStringVector& getInstance();

  // Builds a new table and offers it to the SingletonRegistry. When a table is already
  // registered under s_szSINGLETON_NAME, the new one is destroyed at once and the
  // registered one is returned; otherwise the new one is returned, owned by the registry
  // from then on. getInstance() calls this once; any later call returns the table
  // getInstance() gives. Thread-safe.
  static DtmfIdentifierToStringVector* createAndRegister();

  // The number of tables alive in the process: 1 once the library is loaded, until the
  // registry destroys the table at shutdown.
  static std::size_t getNumInstances();

  using StringVector::operator[];
  // The name of in_eId. An identifier outside 0 to 15 is a broken precondition: it is
  // reported and an empty text is returned.
  const std::string& operator[](DtmfIdentifier in_eId) const;

  // The key character of in_eId (the sixth character of its name): '0'-'9', 'A'-'D', '*'
  // or '#'. An identifier outside 0 to 15 is reported and gives '\0'.
  char getChar(DtmfIdentifier in_eId) const;

  DtmfIdentifierToStringVector(const DtmfIdentifierToStringVector&) = delete;
  DtmfIdentifierToStringVector& operator=(const DtmfIdentifierToStringVector&) = delete;

  OMVERA_CLASS_ALLOCATOR(DtmfIdentifierToStringVector, "PSTNToneNames")

 private:
  DtmfIdentifierToStringVector();
  ~DtmfIdentifierToStringVector();
  // The registry's clean-up function: destroys and frees a table.
  static void destroy(void* in_pTable);
};

// Parses DTMF names and key characters. Pure; any thread.
class DtmfStringToIdentifier : public ObjectWithDtmfIdentifierEnum {
 public:
  // A name of exactly six characters beginning with "dtmf_" (compared with case) whose
  // last character is a key character (see below). Anything else, including a null
  // pointer and the lower-case letters 'a' to 'd' as key, gives an invalid result.
  static Fallible<DtmfIdentifier> getIdentifier(const char* in_szName);
  // '0' to '9' give 0 to 9, 'A' to 'D' (upper case only) 10 to 13, '*' 14 and '#' 15; any
  // other character gives an invalid result.
  static Fallible<DtmfIdentifier> getIdentifier(char in_cKey);
};

}  // namespace Media
}  // namespace Omvera

// Writes the name of in_eId ("dtmf_5"). An identifier outside 0 to 15 is reported and
// writes nothing.
std::ostream& operator<<(std::ostream& out_stream,
                         Omvera::Media::ObjectWithDtmfIdentifierEnum::DtmfIdentifier in_eId);

namespace Omvera {
namespace Media {
// Makes the operator above visible to argument-dependent look-up, so that code inside
// namespace Omvera (where other operator<< overloads hide the global one) prints the name
// and not the number.
using ::operator<<;
}  // namespace Media
}  // namespace Omvera
