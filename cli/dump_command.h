#pragma once
// vantrel-dump: opens files as one batch on the headless shell and prints the
// analysis tree and the rough-analysis rows, or the detailed result trees.
#include <ostream>
#include <string>
#include <vector>

// Runs the tool with the arguments after the program name. Returns the exit
// status: 0 when every file was opened and analysed, 1 when any was refused,
// 2 for a usage error.
int RunDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
