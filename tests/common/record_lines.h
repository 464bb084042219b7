// How the tests read a log, natively and under Wine alike.
#ifndef QVNSTARTLOG_TESTS_COMMON_RECORD_LINES_H
#define QVNSTARTLOG_TESTS_COMMON_RECORD_LINES_H

#include <string>
#include <vector>

namespace recordlines {

// The lines of a log, each without its CR LF; false when a line lacks CR LF.
inline bool SplitRecords(const std::string& log, std::vector<std::string>& lines) {
  std::size_t begin = 0;
  while (begin < log.size()) {
    const std::size_t end = log.find("\r\n", begin);
    if (end == std::string::npos || log.find('\n', begin) < end) {
      return false;
    }
    lines.push_back(log.substr(begin, end - begin));
    begin = end + 2;
  }
  return true;
}

// NAME TAB MM/dd/yy TAB HH:mm:ss.
inline bool IsRecordLine(const std::string& line, const std::string& name) {
  if (line.size() != name.size() + 18 || line.compare(0, name.size(), name) != 0) {
    return false;
  }
  const std::string rest = line.substr(name.size());
  const char* shape = "\tdd/dd/dd\tdd:dd:dd";
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const bool digit = rest[i] >= '0' && rest[i] <= '9';
    if (shape[i] == 'd' ? !digit : rest[i] != shape[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace recordlines

#endif  // QVNSTARTLOG_TESTS_COMMON_RECORD_LINES_H
