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

TEST(DtmfNameTable, HoldsSixteenNamesAndTheirKeys) {
  const Table& table = Table::getInstance();
  ASSERT_EQ(16u, table.size());
  for (int i = 0; i < 16; ++i) {
    const Id eId = static_cast<Id>(i);
    EXPECT_EQ(s_aNAMES[i], table[eId]);
    EXPECT_EQ(s_acKEYS[i], table.getChar(eId));
  }
  EXPECT_EQ('*', table.getChar(ObjectWithDtmfIdentifierEnum::eDTMF_STAR));
  EXPECT_STREQ("dtmfs", s_szALL_DTMFS);
}

TEST(DtmfNameTable, NamesAndKeysParseBackToTheirIdentifiers) {
  const Table& table = Table::getInstance();
  for (int i = 0; i < 16; ++i) {
    const Id eId = static_cast<Id>(i);
    const Fallible<Id> byName = DtmfStringToIdentifier::getIdentifier(table[eId].c_str());
    const Fallible<Id> byKey = DtmfStringToIdentifier::getIdentifier(table.getChar(eId));
    ASSERT_TRUE(byName.valid()) << table[eId];
    ASSERT_TRUE(byKey.valid()) << table[eId];
    EXPECT_EQ(eId, byName.getValue());
    EXPECT_EQ(eId, byKey.getValue());
  }
}

TEST(DtmfNameParsing, AwkwardNamesAreInvalid) {
  EXPECT_EQ(15, DtmfStringToIdentifier::getIdentifier("dtmf_#").getValue());
  const char* const aInvalid[] = {"dtmf_a",  "dtmf_d",  "DTMF_1",  "Dtmf_1", "dtmf_12", "dtmf_",
                                  "dtmf",    "",        "dtmf_1 ", " dtmf_1", "dtmf-1", "dtmf_E",
                                  "dtmf_ ",  "xtmf_1",  "dtmf_\t"};
  for (const char* szName : aInvalid) {
    EXPECT_FALSE(DtmfStringToIdentifier::getIdentifier(szName).valid()) << '"' << szName << '"';
  }
  EXPECT_FALSE(DtmfStringToIdentifier::getIdentifier(static_cast<const char*>(nullptr)).valid());
}

TEST(DtmfNameParsing, NameMayEndRightAfterTheKeyInAnyBuffer) {
  // The name is read no further than its terminator: a heap copy sized exactly to the
  // text lets the address sanitizer catch any over-read.
  for (const char* szText : {"dtmf_", "dtmf_7", "dtm", "d"}) {
    const std::string strCopy(szText);
    std::vector<char> vExact(strCopy.begin(), strCopy.end());
    vExact.push_back('\0');
    const bool bValid = DtmfStringToIdentifier::getIdentifier(vExact.data()).valid();
    EXPECT_EQ(strCopy == "dtmf_7", bValid) << szText;
  }
}

TEST(DtmfKeyParsing, ExactlyTheSixteenKeysAreValid) {
  EXPECT_EQ(13, DtmfStringToIdentifier::getIdentifier('D').getValue());
  EXPECT_FALSE(DtmfStringToIdentifier::getIdentifier('E').valid());
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
  EXPECT_EQ(3u, recorder.count());
  EXPECT_EQ("PSTNToneNames", recorder.records()[0].m_strModule);
}

TEST(DtmfNameTableSingleton, IsCreatedAndRegisteredWhenTheLibraryLoads) {
  ASSERT_NE(nullptr, s_pRegisteredBeforeMain);
  EXPECT_EQ(static_cast<const void*>(&Table::getInstance()), s_pRegisteredBeforeMain);
  EXPECT_EQ(1u, Table::getNumInstances());
}

TEST(DtmfNameTableSingleton, RegisteredInstanceWinsAndTheNewOneIsDestroyed) {
  SingletonRegistry& registry = SingletonRegistry::getInstance();
  const Table* pRegistered = static_cast<const Table*>(registry.find(Table::s_szSINGLETON_NAME));
  ASSERT_NE(nullptr, pRegistered);
  const std::size_t uiRegistrySize = registry.size();

  AssertionRecorder recorder;
  const Table* pAnswer = Table::createAndRegister();
  EXPECT_EQ(pRegistered, pAnswer);
  EXPECT_EQ(pRegistered, &Table::getInstance());
  EXPECT_EQ(1u, Table::getNumInstances());
  EXPECT_EQ(uiRegistrySize, registry.size());
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

TEST(DtmfNameTableAllocation, AllocatesThroughTheClassAllocatorAndChecksTheSize) {
  AssertionRecorder recorder;
  void* pExact = Table::operator new(sizeof(Table));
  Table::operator delete(pExact, sizeof(Table));
  EXPECT_EQ(0u, recorder.count());

  void* pLarger = Table::operator new(sizeof(Table) + 8);
  Table::operator delete(pLarger, sizeof(Table) + 8);
  ASSERT_EQ(1u, recorder.count());
  EXPECT_EQ("in_uiSize == sizeof(DtmfIdentifierToStringVector)", recorder.records()[0].m_strExpression);
  EXPECT_EQ("PSTNToneNames", recorder.records()[0].m_strModule);
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
