#pragma once
// How much memory a load may take: the least of what the system reports
// available (MemAvailable of /proc/meminfo, else free pages), the room left
// under the cgroup's limit (memory.max minus memory.current; a batch
// system's --mem), and the room left under RLIMIT_AS and RLIMIT_DATA
// (ulimit -v, -d). The environment variable ZUVO2_MEMORY_BUDGET_MB (a
// positive whole number of MB) replaces the first of these, so a run can be
// held below what the machine has; the hard limits still bound it.
#include <QString>
#include <QtGlobal>

// Bytes a load may take; -1 when nothing is known (no limit is applied then).
qint64 memoryBudgetBytes();
// True when ZUVO2_MEMORY_BUDGET_MB sets the budget.
bool memoryBudgetIsSet();
// Why ZUVO2_MEMORY_BUDGET_MB cannot be used ("0", "-5", "abc", "8G"); empty
// when it is unset or a positive whole number. Programs refuse to start on it.
QString memoryBudgetProblem();
// Room under a cgroup's limit: limit and use are the text of memory.max
// (or v1's memory.limit_in_bytes) and memory.current; -1 for no limit.
qint64 cgroupRoom(const QByteArray& limit, const QByteArray& usage);
// "1234.5 MB"
QString megabytes(qint64 bytes);
