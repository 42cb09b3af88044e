#include "layout/FileNameChecker.h"

namespace Orlet {

FileNameChecker::FileNameChecker(const std::wstring& name) : name(name) {}

FileNameChecker::~FileNameChecker() = default;

bool FileNameChecker::operator()(const FileContainer::Node& node) const {
  return node.name == name;
}

}  // namespace Orlet
