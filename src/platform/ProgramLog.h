#pragma once
// The program's log: lines for whoever runs the program and reads its standard error stream,
// never for a message box. They go to the standard error stream as it was when the program
// started, past a TReasonCollector that catches that stream for a message meanwhile.
#include <string>

namespace vx {

// Writes the line (a line end added) to the log.
void WriteToLog(const std::string& line);

}  // namespace vx
