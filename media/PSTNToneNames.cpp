#include "tidewave/PSTNToneNames.h"

#include <atomic>
#include <cstring>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Singleton.h"

OMVERA_MODULE_LOGGER("PSTNToneNames", "tidewave.media.MediaDefs")

namespace Omvera {
namespace Media {

namespace {

// Constant-initialised, so it is ready before the table is created during static
// initialisation below.
std::atomic<std::size_t> s_uiNumTables{0};

constexpr const char s_szDTMF_PREFIX[] = "dtmf_";
constexpr std::size_t s_uiDTMF_PREFIX_LENGTH = sizeof(s_szDTMF_PREFIX) - 1;
// The position of the key character in a name; a name is one character longer.
constexpr std::size_t s_uiKEY_INDEX = s_uiDTMF_PREFIX_LENGTH;

// Index = identifier.
constexpr char s_acKEYS[] = {'0', '1', '2', '3', '4', '5', '6', '7',
                             '8', '9', 'A', 'B', 'C', 'D', '*', '#'};
static_assert(sizeof(s_acKEYS) == ObjectWithDtmfIdentifierEnum::s_uiNUM_DTMF_IDENTIFIERS,
              "one key per identifier");

bool checkIdentifier(ObjectWithDtmfIdentifierEnum::DtmfIdentifier in_eId, int in_iLine) {
  return Assertion(ObjectWithDtmfIdentifierEnum::isValidIdentifier(in_eId),
                   "isValidIdentifier(in_eId)", fileScopeLogger(), s_szMODULE_NAME, in_iLine);
}

}  // namespace

DtmfIdentifierToStringVector::DtmfIdentifierToStringVector()
    : StringVector(s_uiNUM_DTMF_IDENTIFIERS) {
  for (std::size_t i = 0; i < s_uiNUM_DTMF_IDENTIFIERS; ++i) {
    std::string& strName = StringVector::operator[](i);
    strName = s_szDTMF_PREFIX;
    strName += s_acKEYS[i];
  }
  s_uiNumTables.fetch_add(1, std::memory_order_relaxed);
}

DtmfIdentifierToStringVector::~DtmfIdentifierToStringVector() {
  s_uiNumTables.fetch_sub(1, std::memory_order_relaxed);
}

void DtmfIdentifierToStringVector::destroy(void* in_pTable) {
  delete static_cast<DtmfIdentifierToStringVector*>(in_pTable);
}

DtmfIdentifierToStringVector* DtmfIdentifierToStringVector::createAndRegister() {
  DtmfIdentifierToStringVector* pNew = new DtmfIdentifierToStringVector();
  void* pRegistered =
      SingletonRegistry::getInstance().registerSingleton(s_szSINGLETON_NAME, pNew, &destroy);
  if (pRegistered == nullptr) return pNew;  // refused (reported by the registry): keep ours
  if (pRegistered != pNew) destroy(pNew);
  return static_cast<DtmfIdentifierToStringVector*>(pRegistered);
}

const DtmfIdentifierToStringVector& DtmfIdentifierToStringVector::getInstance() {
  static DtmfIdentifierToStringVector* const s_pInstance = createAndRegister();
  return *s_pInstance;
}

std::size_t DtmfIdentifierToStringVector::getNumInstances() {
  return s_uiNumTables.load(std::memory_order_relaxed);
}

const std::string& DtmfIdentifierToStringVector::operator[](DtmfIdentifier in_eId) const {
  static const std::string s_strNONE;
  if (!checkIdentifier(in_eId, __LINE__)) return s_strNONE;
  return StringVector::operator[](static_cast<std::size_t>(in_eId));
}

char DtmfIdentifierToStringVector::getChar(DtmfIdentifier in_eId) const {
  if (!checkIdentifier(in_eId, __LINE__)) return '\0';
  return StringVector::operator[](static_cast<std::size_t>(in_eId))[s_uiKEY_INDEX];
}

Fallible<DtmfStringToIdentifier::DtmfIdentifier> DtmfStringToIdentifier::getIdentifier(
    const char* in_szName) {
  // strncmp stops at the first NUL, and the key and terminator are read only once every
  // character before them is known to be there.
  if (in_szName == nullptr ||
      std::strncmp(in_szName, s_szDTMF_PREFIX, s_uiDTMF_PREFIX_LENGTH) != 0 ||
      in_szName[s_uiKEY_INDEX] == '\0' || in_szName[s_uiKEY_INDEX + 1] != '\0') {
    return Fallible<DtmfIdentifier>();
  }
  return getIdentifier(in_szName[s_uiKEY_INDEX]);
}

Fallible<DtmfStringToIdentifier::DtmfIdentifier> DtmfStringToIdentifier::getIdentifier(
    char in_cKey) {
  if (in_cKey >= '0' && in_cKey <= '9') return static_cast<DtmfIdentifier>(in_cKey - '0');
  if (in_cKey >= 'A' && in_cKey <= 'D') return static_cast<DtmfIdentifier>(eDTMF_A + (in_cKey - 'A'));
  if (in_cKey == '*') return eDTMF_STAR;
  if (in_cKey == '#') return eDTMF_POUND;
  return Fallible<DtmfIdentifier>();
}

namespace {
// The table exists once the library is loaded.
[[maybe_unused]] const bool s_bDtmfTableCreated =
    (DtmfIdentifierToStringVector::getInstance(), true);
}  // namespace

}  // namespace Media
}  // namespace Omvera

std::ostream& operator<<(std::ostream& out_stream,
                         Omvera::Media::ObjectWithDtmfIdentifierEnum::DtmfIdentifier in_eId) {
  return out_stream << Omvera::Media::DtmfIdentifierToStringVector::getInstance()[in_eId];
}
