#include <chrono>
#include <cstdint>
#include <iostream>
#include <thread>

#include "main/restart_wait.h"

namespace {
// How many clients are still running, to be waited for again. None are looked for and none is
// stopped by force: the fixed wait before the first call is what gives the old client time to quit.
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
