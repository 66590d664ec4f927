#pragma once
// Unique identifiers and small-integer id generators.

#include <mutex>
#include <string>
#include <vector>

namespace Omvera {

// A fresh random (version 4) UUID. Any thread.
class UUID {
 public:
  UUID();
  // Appends nothing: sets out_strText to the 36-character lower-case text form
  // ("xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx").
  void convertTo(std::string& out_strText) const;
  std::string toString() const;

 private:
  unsigned char m_aucBytes[16];
};

// Hands out small non-negative integer ids and takes them back. Implementations are safe
// from any thread.
class IDGenerator {
 public:
  virtual ~IDGenerator();
  virtual unsigned long getID() = 0;
  // Gives an id back for reuse. Returns false for an id that is not handed out.
  virtual bool releaseID(unsigned long in_ulID) = 0;
  virtual unsigned long numIDsInUse() const = 0;
};

// Ids from 0 upwards; a given-back id is handed out again before any new one. With
// in_bReuseNewestFirst the most recently given-back id comes first, otherwise the lowest
// given-back id (which keeps the ids, and containers indexed by them, compact).
class HashIDGenerator : public IDGenerator {
 public:
  explicit HashIDGenerator(bool in_bReuseNewestFirst);
  ~HashIDGenerator() override;

  unsigned long getID() override;
  bool releaseID(unsigned long in_ulID) override;
  unsigned long numIDsInUse() const override;

 private:
  const bool m_bReuseNewestFirst;
  mutable std::mutex m_mutex;
  unsigned long m_ulNextNewID = 0;
  std::vector<unsigned long> m_vFreeIDs;  // a stack, or a min-heap when lowest-first
  std::vector<bool> m_vInUse;
};

}  // namespace Omvera
