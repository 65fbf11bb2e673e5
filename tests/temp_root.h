#pragma once

#include <string>

#include <gtest/gtest.h>
#include <boost/filesystem/path.hpp>

// Gives each test a fresh root folder with its own TMPDIR ("tmp") and working directory
// ("work"); afterwards puts both back as they were and removes the root.
class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  boost::filesystem::path root_;
  boost::filesystem::path work_;

 private:
  boost::filesystem::path oldWork_;
  bool hadTmpdir_ = false;
  std::string oldTmpdir_;
};

void writeFile(const boost::filesystem::path& file, const std::string& content);
std::string readFile(const boost::filesystem::path& file);
// A Lobby.app in `appFolder` with what the bundle repair treats: the four graphics libraries,
// the helper executables of the client `name` (all mode 0644) and the framework with its link.
void makeLobbyBundle(const boost::filesystem::path& appFolder, const std::string& name = "Poker");
// Makes a listening socket file at `file`: something no one, root included, can open as a file.
void makeSocket(const boost::filesystem::path& file);
