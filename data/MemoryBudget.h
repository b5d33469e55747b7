#pragma once
// How much memory a load may take. The environment variable
// ZUVO2_MEMORY_BUDGET_MB (a positive whole number of MB) sets it, so a run
// can be held below what the machine has; otherwise it is the memory the
// system reports available (MemAvailable of /proc/meminfo, else free pages).
#include <QString>
#include <QtGlobal>

// Bytes a load may take; -1 when nothing is known (no limit is applied then).
qint64 memoryBudgetBytes();
// True when ZUVO2_MEMORY_BUDGET_MB sets the budget.
bool memoryBudgetIsSet();
// "1234.5 MB"
QString megabytes(qint64 bytes);
