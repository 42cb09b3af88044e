#pragma once

#include <string>

#include "orlet/FileContainer.h"

namespace Orlet {

// Tells whether a node carries one name: the whole name, character by
// character, case-sensitive, without trimming. This is the one name equality
// of the file container; its children index asks it about every candidate.
class FileNameChecker {
 public:
  explicit FileNameChecker(const std::wstring& name);
  virtual ~FileNameChecker();
  FileNameChecker(const FileNameChecker&) = default;
  FileNameChecker& operator=(const FileNameChecker&) = default;

  bool operator()(const FileContainer::Node& node) const;
  bool operator()(const FileContainer::Node* node) const { return (*this)(*node); }

  std::wstring name;  // the name looked for
};

}  // namespace Orlet
