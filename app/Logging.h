#pragma once
// Logging categories, one per subsystem, so a user can filter the log, e.g.
// QT_LOGGING_RULES="zuvo2.ct.debug=false".  Failures are written at warning
// level, everything else at debug level.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcBatch)
Q_DECLARE_LOGGING_CATEGORY(lcData)
Q_DECLARE_LOGGING_CATEGORY(lcCt)
Q_DECLARE_LOGGING_CATEGORY(lcSeq)
Q_DECLARE_LOGGING_CATEGORY(lcXafs)
// Each batch line as the interpreter and the window take it ("cmd X",
// "body-cmd X"): off unless -v or QT_LOGGING_RULES="zuvo2.lines.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcLines)
