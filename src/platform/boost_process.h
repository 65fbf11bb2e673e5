#pragma once

// Boost 1.86 moved the process interface the launcher uses under boost/process/v1; the old
// headers then warn or, later, name another interface. LAUNCHER_BOOST_PROCESS_V1 tells which
// one was found, for code that needs more of it.
#if __has_include(<boost/process/v1/spawn.hpp>)
#define LAUNCHER_BOOST_PROCESS_V1 1
#include <boost/process/v1/args.hpp>
#include <boost/process/v1/exception.hpp>
#include <boost/process/v1/exe.hpp>
#include <boost/process/v1/extend.hpp>
#include <boost/process/v1/search_path.hpp>
#include <boost/process/v1/spawn.hpp>
namespace bp = boost::process::v1;
#else
#include <boost/process/args.hpp>
#include <boost/process/exception.hpp>
#include <boost/process/exe.hpp>
#include <boost/process/extend.hpp>
#include <boost/process/search_path.hpp>
#include <boost/process/spawn.hpp>
namespace bp = boost::process;
#endif
