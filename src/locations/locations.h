#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

// The folder that holds the launcher's executable, computed on the first successful call.
boost::filesystem::path getCurrentAppFolder();

// Every entry below `folder`, at any depth, in walk order: entries that are not folders when
// `files` is set, folders (links to folders included) when `folders` is set.
// Throws std::runtime_error("Invalid folder") when `folder` is not a folder.
std::shared_ptr<std::vector<boost::filesystem::path>> getDirContent(boost::filesystem::path folder,
                                                                    bool files, bool folders);

// Every entry below `folder` that is not a folder itself, symbolic links of any kind included
// (never followed), in walk order: what an update brings.
// Throws std::runtime_error("Invalid folder") when `folder` is not a folder.
std::shared_ptr<std::vector<boost::filesystem::path>> getDirEntries(
    const boost::filesystem::path& folder);

// The same walk, handing each entry to `visit` until it returns false.
void visitDirContent(const boost::filesystem::path& folder, bool files, bool folders,
                     const std::function<bool(const boost::filesystem::path&)>& visit);

boost::filesystem::path getLobbyFilePath();

// The client's product name, taken from its renderer helper bundle; empty when there is none.
std::string getPokerAppName();

// The name a helper bundle folder gives away, or empty when it is no renderer helper.
std::string pokerAppNameFromHelper(const std::string& folderName);

// The lobby's storage folder, created when nothing is there yet.
boost::filesystem::path getStorageFolderPath();

// The site environment named by "server.dat", empty when there is none.
std::string getServerDatEnv();

// The environment a "server.dat" content names: the text before the first "::", lower-cased.
std::string parseServerDat(std::string content);

// The whole content of a regular file; throws on anything less.
std::string readWholeFile(const boost::filesystem::path& file);
