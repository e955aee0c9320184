#pragma once

// The bench itself: the simulated bus on a pseudo-terminal in this process, the tool
// in a child process, the figures compared with their targets in one table.
// Exit status: 0 every figure met, 2 some missed, 1 a measurement failed.
int runBench(int argc, char* argv[]);
