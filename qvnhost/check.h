// qvnhost check: tells what a start would do, writing nothing.
#ifndef QVNSTARTLOG_QVNHOST_CHECK_H
#define QVNSTARTLOG_QVNHOST_CHECK_H

// Prints the settings found, the log path in force, whether the log can be
// appended to, and the record a start would write. Returns 0 when a start
// would write a record, 1 (after a line saying why) when it would not.
int RunCheck();

#endif  // QVNSTARTLOG_QVNHOST_CHECK_H
