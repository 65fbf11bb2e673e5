#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <boost/filesystem/path.hpp>

// Every entry below `folder`, at any depth, in walk order: entries that are not folders when
// `files` is set, folders (links to folders included) when `folders` is set.
// Throws std::runtime_error("Invalid folder") when `folder` is not a folder.
std::shared_ptr<std::vector<boost::filesystem::path>> getDirContent(boost::filesystem::path folder,
                                                                    bool files, bool folders);

// The folders of the same walk, handed to `visit` until it returns false.
void visitFolders(const boost::filesystem::path& folder,
                  const std::function<bool(const boost::filesystem::path&)>& visit);
