#pragma once

#include <boost/filesystem/path.hpp>

// `path` moved from below `oldBase` to below `newBase`; textual, nothing is checked.
boost::filesystem::path changePathBase(const boost::filesystem::path& path,
                                       const boost::filesystem::path& oldBase,
                                       const boost::filesystem::path& newBase);
