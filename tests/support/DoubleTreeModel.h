#pragma once

// The double's image trees: what ImportTrack brings in, what Add adds, and
// which names the double rejects (asking the call-back to rewrite them).

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sdkdouble {

// One node of a fake image tree. Node handles are FakeNode addresses.
struct FakeNode {
  std::string first;   // identity among its siblings
  std::string second;  // the name a person sees
  bool directory = false;
  uint64_t size = 0;
  FakeNode* parent = nullptr;
  std::vector<std::unique_ptr<FakeNode>> kids;

  FakeNode* AddKid(const std::string& identity, const std::string& name, bool isDirectory,
                   uint64_t bytes = 0);
  // The node at a '/'-separated path of second names below this one; null if none.
  FakeNode* Find(const std::string& path);
  // A deep copy (parents set).
  std::unique_ptr<FakeNode> Clone(FakeNode* newParent = nullptr) const;
};

// What tests script about trees (reset with the double).
struct TreeScript {
  // The session ImportTrack brings into a tree (a root whose kids are copied).
  FakeNode importedSession;
  // Names Add rejects once in the 8-bit (ISO 9660) or 16-bit (Joliet) form:
  // the double sends notification 3 with the record and adds the node under
  // the rewritten name when the call-back set the action to 2.
  std::set<std::string> rejectShort;
  std::set<std::string> rejectLong;
  // Add sends notification 0 with a file's source and 2 with a directory's name.
  bool sendTexts = false;
};

TreeScript& Trees();
// The root of a tree handle, or null.
FakeNode* TreeRoot(void* tree);

}  // namespace sdkdouble
