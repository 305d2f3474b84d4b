#pragma once
// Reads back what the runtime wrote to its debug log, so tests can check the
// exact texts of logged misuse.

#include <string>
#include <vector>

// Names a fresh log file for this test and returns its name.
std::string UseFreshLogFile(const std::string &p_strTestName);
// The lines of the current log file, without their CR LF.
std::vector<std::string> ReadLogLines();
// The message part of each line (after the sequence number, level label and prefix fields).
std::vector<std::string> ReadLogMessages();
// True when some line contains the text.
bool LogContains(const std::string &p_strText);
// Number of lines containing the text.
int LogCount(const std::string &p_strText);
