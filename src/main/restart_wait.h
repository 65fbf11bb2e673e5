#pragma once

// Waits for the old client to quit before its files are replaced.
void restartWait();
