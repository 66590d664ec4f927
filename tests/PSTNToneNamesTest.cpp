// DTMF identifiers, the name table singleton and the parsing of names and keys.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "tidewave/PSTNToneNames.h"
#include "tidewave/infra/Singleton.h"

namespace Omvera {
namespace Media {
namespace {

using Test::AssertionRecorder;
using Table = DtmfIdentifierToStringVector;
using Id = ObjectWithDtmfIdentifierEnum::DtmfIdentifier;

// Looked up during this executable's static initialisation, before any test code asks for
// the table: what the library registered while it was being loaded.
void* const s_pRegisteredBeforeMain = SingletonRegistry::getInstance().find(Table::s_szSINGLETON_NAME);

const char* const s_aNAMES[] = {"dtmf_0", "dtmf_1", "dtmf_2", "dtmf_3", "dtmf_4", "dtmf_5",
                                "dtmf_6", "dtmf_7", "dtmf_8", "dtmf_9", "dtmf_A", "dtmf_B",
                                "dtmf_C", "dtmf_D", "dtmf_*", "dtmf_#"};
const char s_acKEYS[] = "0123456789ABCD*#";

TEST(DtmfNameTable, HoldsSixteenNamesAndKeysThatParseBack) {
  const Table& table = Table::getInstance();
  ASSERT_EQ(16u, table.size());
  for (int i = 0; i < 16; ++i) {
    const Id eId = static_cast<Id>(i);
    EXPECT_EQ(s_aNAMES[i], table[eId]);
    EXPECT_EQ(s_acKEYS[i], table.getChar(eId));
    const Fallible<Id> byName = DtmfStringToIdentifier::getIdentifier(s_aNAMES[i]);
    const Fallible<Id> byKey = DtmfStringToIdentifier::getIdentifier(s_acKEYS[i]);
    ASSERT_TRUE(byName.valid() && byKey.valid()) << s_aNAMES[i];
    EXPECT_EQ(eId, byName.getValue());
    EXPECT_EQ(eId, byKey.getValue());
  }
  EXPECT_STREQ("dtmfs", s_szALL_DTMFS);
}

TEST(DtmfNameParsing, AwkwardNamesAreInvalid) {
  const char* const aInvalid[] = {"dtmf_a",  "dtmf_d",  "DTMF_1",  "Dtmf_1", "dtmf_12", "dtmf_",
                                  "dtmf",    "",        "dtmf_1 ", " dtmf_1", "dtmf-1", "dtmf_E",
                                  "dtmf_ ",  "xtmf_1",  "dtmf_\t", "dtm",    "d"};
  for (const char* szName : aInvalid) {
    // A heap copy sized exactly to the text lets the address sanitizer catch any over-read.
    const std::string strCopy(szName);
    std::vector<char> vExact(strCopy.begin(), strCopy.end());
    vExact.push_back('\0');
    EXPECT_FALSE(DtmfStringToIdentifier::getIdentifier(vExact.data()).valid()) << '"' << szName << '"';
  }
  EXPECT_FALSE(DtmfStringToIdentifier::getIdentifier(static_cast<const char*>(nullptr)).valid());
  const std::vector<char> vExact = {'d', 't', 'm', 'f', '_', '7', '\0'};  // ends right after the key
  EXPECT_EQ(7, DtmfStringToIdentifier::getIdentifier(vExact.data()).getValue());
}

TEST(DtmfKeyParsing, ExactlyTheSixteenKeysAreValid) {
  std::string strValidKeys;
  for (int i = -128; i <= 127; ++i) {
    const char cKey = static_cast<char>(i);
    if (DtmfStringToIdentifier::getIdentifier(cKey).valid()) strValidKeys += cKey;
  }
  // In character order; the lower-case letters are not keys.
  EXPECT_EQ("#*0123456789ABCD", strValidKeys);
}

TEST(DtmfPrinting, WritesTheNameInsideTheMediaNamespace) {
  std::ostringstream inside;
  inside << ObjectWithDtmfIdentifierEnum::eDTMF_POUND << ' ' << static_cast<Id>(10);
  EXPECT_EQ("dtmf_# dtmf_A", inside.str());
}

TEST(DtmfIdentifiersOutOfRange, AreReportedAndGiveEmptyResults) {
  AssertionRecorder recorder;
  const Table& table = Table::getInstance();
  EXPECT_EQ("", table[static_cast<Id>(16)]);
  EXPECT_EQ('\0', table.getChar(static_cast<Id>(-1)));
  std::ostringstream stream;
  stream << static_cast<Id>(1000);
  EXPECT_EQ("", stream.str());
  EXPECT_EQ(3u, recorder.count("isValidIdentifier(in_eId)"));
  EXPECT_EQ("PSTNToneNames", recorder.records()[0].m_strModule);

  // Allocation goes through the class allocator, which checks the size.
  Table::operator delete(Table::operator new(sizeof(Table)), sizeof(Table));
  EXPECT_EQ(3u, recorder.count());
  Table::operator delete(Table::operator new(sizeof(Table) + 8), sizeof(Table) + 8);
  EXPECT_EQ(1u, recorder.count("in_uiSize == sizeof(DtmfIdentifierToStringVector)"));
}

TEST(DtmfNameTableSingleton, RegisteredWhenTheLibraryLoadsAndTheRegisteredOneWins) {
  ASSERT_NE(nullptr, s_pRegisteredBeforeMain);
  EXPECT_EQ(static_cast<const void*>(&Table::getInstance()), s_pRegisteredBeforeMain);
  const std::size_t uiRegistrySize = SingletonRegistry::getInstance().size();
  AssertionRecorder recorder;
  EXPECT_EQ(s_pRegisteredBeforeMain, static_cast<const void*>(Table::createAndRegister()));
  EXPECT_EQ(s_pRegisteredBeforeMain, static_cast<const void*>(&Table::getInstance()));
  EXPECT_EQ(1u, Table::getNumInstances());  // the new one was destroyed
  EXPECT_EQ(uiRegistrySize, SingletonRegistry::getInstance().size());
  EXPECT_EQ(0u, recorder.count());
}

TEST(DtmfNameTableSingleton, ConcurrentFirstUseSeesOneTable) {
  const std::size_t uiRegistrySize = SingletonRegistry::getInstance().size();
  constexpr int iTHREADS = 8;
  std::vector<const Table*> vSeen(iTHREADS * 2, nullptr);
  std::vector<std::string> vNames(iTHREADS);
  std::atomic<bool> bGo{false};
  std::vector<std::thread> vThreads;
  for (int i = 0; i < iTHREADS; ++i) {
    vThreads.emplace_back([&, i] {
      while (!bGo.load()) std::this_thread::yield();
      vSeen[2 * i] = &Table::getInstance();
      vSeen[2 * i + 1] = Table::createAndRegister();
      std::ostringstream stream;
      stream << static_cast<Id>(i) << vSeen[2 * i]->getChar(static_cast<Id>(15 - i));
      vNames[i] = stream.str();
    });
  }
  bGo = true;
  for (auto& thread : vThreads) thread.join();

  for (const Table* pSeen : vSeen) EXPECT_EQ(&Table::getInstance(), pSeen);
  for (int i = 0; i < iTHREADS; ++i) {
    EXPECT_EQ(std::string(s_aNAMES[i]) + s_acKEYS[15 - i], vNames[i]);
  }
  EXPECT_EQ(1u, Table::getNumInstances());
  EXPECT_EQ(uiRegistrySize, SingletonRegistry::getInstance().size());
}

}  // namespace
}  // namespace Media

namespace {

// Inside namespace Omvera other operator<< overloads hide the global one from ordinary
// look-up; the name must still be printed, not the number.
TEST(DtmfPrinting, WritesTheNameInsideTheLibraryNamespace) {
  std::ostringstream stream;
  stream << Media::ObjectWithDtmfIdentifierEnum::eDTMF_7;
  EXPECT_EQ("dtmf_7", stream.str());
}

}  // namespace
}  // namespace Omvera

// And from the global namespace, where the operator is declared.
TEST(DtmfPrinting, WritesTheNameFromTheGlobalNamespace) {
  std::ostringstream stream;
  stream << Omvera::Media::ObjectWithDtmfIdentifierEnum::eDTMF_STAR;
  EXPECT_EQ("dtmf_*", stream.str());
}
