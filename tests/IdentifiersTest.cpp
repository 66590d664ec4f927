// UUIDs, id generators, directories and date-and-time names.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tidewave/infra/FileSystem.h"
#include "tidewave/infra/Identifiers.h"

namespace Omvera {
namespace {

TEST(UUIDs, TextIsVersion4AndDistinct) {
  const std::regex format("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    std::string strId = "old contents are replaced";
    UUID().convertTo(strId);
    ASSERT_TRUE(std::regex_match(strId, format)) << strId;
    seen.insert(strId);
  }
  EXPECT_EQ(2000u, seen.size());
}

TEST(UUIDs, ThreadsDrawDistinctIds) {
  std::mutex mutex;
  std::set<std::string> seen;
  std::vector<std::thread> vThreads;
  for (int t = 0; t < 4; ++t) {
    vThreads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        const std::string strId = UUID().toString();
        std::lock_guard<std::mutex> lock(mutex);
        seen.insert(strId);
      }
    });
  }
  for (auto& thread : vThreads) thread.join();
  EXPECT_EQ(2000u, seen.size());
}

TEST(IdGenerators, LowestFirstReuseKeepsIdsCompact) {
  HashIDGenerator generator(false);
  for (unsigned long i = 0; i < 5; ++i) EXPECT_EQ(i, generator.getID());
  EXPECT_TRUE(generator.releaseID(3));
  EXPECT_TRUE(generator.releaseID(1));
  EXPECT_FALSE(generator.releaseID(1)) << "given back twice";
  EXPECT_FALSE(generator.releaseID(99)) << "never handed out";
  EXPECT_EQ(3u, generator.numIDsInUse());
  EXPECT_EQ(1u, generator.getID());
  EXPECT_EQ(3u, generator.getID());
  EXPECT_EQ(5u, generator.getID());
}

TEST(IdGenerators, NewestFirstReuse) {
  HashIDGenerator generator(true);
  for (int i = 0; i < 4; ++i) generator.getID();
  generator.releaseID(0);
  generator.releaseID(2);
  EXPECT_EQ(2u, generator.getID());
  EXPECT_EQ(0u, generator.getID());
}

TEST(IdGenerators, ConcurrentUsersNeverShareAnId) {
  HashIDGenerator generator(false);
  std::mutex mutex;
  std::multiset<unsigned long> held;
  std::vector<std::thread> vThreads;
  for (int t = 0; t < 4; ++t) {
    vThreads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        const unsigned long ulId = generator.getID();
        {
          std::lock_guard<std::mutex> lock(mutex);
          EXPECT_EQ(0u, held.count(ulId));
          held.insert(ulId);
        }
        {
          std::lock_guard<std::mutex> lock(mutex);
          held.erase(held.find(ulId));
        }
        EXPECT_TRUE(generator.releaseID(ulId));
      }
    });
  }
  for (auto& thread : vThreads) thread.join();
  EXPECT_EQ(0u, generator.numIDsInUse());
  EXPECT_LE(generator.getID(), 3u) << "ids stay compact";
}

class Directories : public ::testing::Test {
 protected:
  void SetUp() override {
    char acTemplate[] = "/tmp/tidewave-dir-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(acTemplate));
    m_strRoot = acTemplate;
  }
  void TearDown() override { std::system(("rm -rf " + m_strRoot).c_str()); }
  static bool isDir(const std::string& in_strPath) {
    struct stat info;
    return ::stat(in_strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  std::string m_strRoot;
};

TEST_F(Directories, RecursiveMakeCreatesParentsAcceptsExistingAndFailsOnAFile) {
  const std::string strDeep = m_strRoot + "/a/b//c/";
  EXPECT_FALSE(Directory::make(m_strRoot + "/x/y", 0755, false));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_TRUE(Directory::make(strDeep, 0755, true));
  EXPECT_TRUE(isDir(m_strRoot + "/a/b/c"));
  EXPECT_TRUE(Directory::make(strDeep, 0755, true)) << "existing is success";
  EXPECT_TRUE(Directory::make(m_strRoot + "/a", 0755, false));

  std::ofstream(m_strRoot + "/file") << "x";
  EXPECT_FALSE(Directory::make(m_strRoot + "/file", 0755, false));
  EXPECT_EQ(ENOTDIR, errno);
  EXPECT_FALSE(Directory::make(m_strRoot + "/file/sub", 0755, true));
  EXPECT_FALSE(Directory::make("", 0755, true));
}

TEST(DateTimeNames, AppendSortableDateAndTime) {
  std::string strName = "/rec/";
  DateTimeDirectory::formName(strName);
  EXPECT_TRUE(std::regex_match(strName, std::regex("^/rec/20[0-9]{6}-[0-2][0-9][0-5][0-9][0-6][0-9]$")))
      << strName;
}

}  // namespace
}  // namespace Omvera
