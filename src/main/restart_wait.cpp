#include <chrono>
#include <iostream>
#include <thread>

#include "main/main.h"

std::uint64_t killLobbyProcesses() {
  // Nothing is stopped by force: the fixed wait before it gives the old client time to quit.
  return 0;
}

void restartWait() {
  std::cout << "restart mode / kill mode" << std::endl;
  std::this_thread::sleep_for(std::chrono::milliseconds(5000));
  for (int calls = 1; calls <= 20; ++calls) {
    if (killLobbyProcesses() == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  }
}
