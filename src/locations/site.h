#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

// The site environment named by "server.dat" in `appFolder`, empty when there is none.
std::string getServerDatEnv(const boost::filesystem::path& appFolder);

// The environment a "server.dat" content names: the text before the first "::", lower-cased.
std::string parseServerDat(std::string content);

// The whole content of a regular file; throws on anything less.
std::string readWholeFile(const boost::filesystem::path& file);
