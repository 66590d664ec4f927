#include "tidewave/infra/Identifiers.h"

#include <algorithm>
#include <functional>
#include <random>

namespace Omvera {

namespace {

std::mt19937_64& threadRandomEngine() {
  thread_local std::mt19937_64 s_engine([] {
    std::random_device device;
    std::seed_seq seq{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seq);
  }());
  return s_engine;
}

}  // namespace

UUID::UUID() {
  std::mt19937_64& engine = threadRandomEngine();
  for (int i = 0; i < 16; i += 8) {
    const unsigned long long ullBits = engine();
    for (int j = 0; j < 8; ++j) m_aucBytes[i + j] = static_cast<unsigned char>(ullBits >> (8 * j));
  }
  m_aucBytes[6] = static_cast<unsigned char>((m_aucBytes[6] & 0x0F) | 0x40);  // version 4
  m_aucBytes[8] = static_cast<unsigned char>((m_aucBytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
}

void UUID::convertTo(std::string& out_strText) const {
  static const char s_acHex[] = "0123456789abcdef";
  out_strText.clear();
  out_strText.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out_strText.push_back('-');
    out_strText.push_back(s_acHex[m_aucBytes[i] >> 4]);
    out_strText.push_back(s_acHex[m_aucBytes[i] & 0x0F]);
  }
}

std::string UUID::toString() const {
  std::string strText;
  convertTo(strText);
  return strText;
}

IDGenerator::~IDGenerator() = default;

HashIDGenerator::HashIDGenerator(bool in_bReuseNewestFirst)
    : m_bReuseNewestFirst(in_bReuseNewestFirst) {}

HashIDGenerator::~HashIDGenerator() = default;

unsigned long HashIDGenerator::getID() {
  std::lock_guard<std::mutex> lock(m_mutex);
  unsigned long ulID;
  if (m_vFreeIDs.empty()) {
    ulID = m_ulNextNewID++;
    m_vInUse.push_back(true);
  } else {
    if (!m_bReuseNewestFirst) {
      std::pop_heap(m_vFreeIDs.begin(), m_vFreeIDs.end(), std::greater<unsigned long>());
    }
    ulID = m_vFreeIDs.back();
    m_vFreeIDs.pop_back();
    m_vInUse[ulID] = true;
  }
  return ulID;
}

bool HashIDGenerator::releaseID(unsigned long in_ulID) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (in_ulID >= m_ulNextNewID || !m_vInUse[in_ulID]) return false;
  m_vInUse[in_ulID] = false;
  m_vFreeIDs.push_back(in_ulID);
  if (!m_bReuseNewestFirst) {
    std::push_heap(m_vFreeIDs.begin(), m_vFreeIDs.end(), std::greater<unsigned long>());
  }
  return true;
}

unsigned long HashIDGenerator::numIDsInUse() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_ulNextNewID - m_vFreeIDs.size();
}

}  // namespace Omvera
