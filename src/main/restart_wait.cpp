#include <chrono>
#include <cstdint>
#include <iostream>
#include <thread>

#include "main/restart_wait.h"

namespace {
// Asks running clients to quit; returns how many are still running. Nothing is stopped by
// force: the fixed wait before it gives the old client time to quit.
std::uint64_t killLobbyProcesses() { return 0; }
}  // namespace

void restartWait() {
  std::cout << "restart mode / kill mode" << std::endl;
  std::this_thread::sleep_for(std::chrono::milliseconds(5000));
  for (int calls = 1; calls <= 20; ++calls) {
    if (killLobbyProcesses() == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  }
}
