#include "Logging.h"

Q_LOGGING_CATEGORY(lcApp, "zuvo2.app")
Q_LOGGING_CATEGORY(lcBatch, "zuvo2.batch")
Q_LOGGING_CATEGORY(lcData, "zuvo2.data")
Q_LOGGING_CATEGORY(lcCt, "zuvo2.ct")
Q_LOGGING_CATEGORY(lcSeq, "zuvo2.seq")
Q_LOGGING_CATEGORY(lcXafs, "zuvo2.xafs")
Q_LOGGING_CATEGORY(lcLines, "zuvo2.lines", QtInfoMsg)
