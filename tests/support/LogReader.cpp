#include "support/LogReader.h"

#include "runtime/DebugLog.h"

#include <fstream>
#include <iterator>

std::string UseFreshLogFile(const std::string &p_strTestName) {
  std::string name = "_Log_" + p_strTestName + ".txt";
  SetLogFileName(name.c_str());
  return name;
}

std::vector<std::string> ReadLogLines() {
  std::ifstream in(GetLogFileName(), std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(all.substr(start));
      break;
    }
    lines.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> ReadLogMessages() {
  std::vector<std::string> out;
  for (const std::string &line : ReadLogLines()) {
    // "   1:     INFO 2026 12 11 -- 10:15:00 -- text": the text follows the last prefix separator.
    size_t pos = line.find(" -- ");
    pos = pos == std::string::npos ? std::string::npos : line.find(" -- ", pos + 4);
    out.push_back(pos == std::string::npos ? line : line.substr(pos + 4));
  }
  return out;
}

bool LogContains(const std::string &p_strText) { return LogCount(p_strText) > 0; }

int LogCount(const std::string &p_strText) {
  int n = 0;
  for (const std::string &line : ReadLogLines()) {
    if (line.find(p_strText) != std::string::npos) {
      ++n;
    }
  }
  return n;
}
