#include "XafsWorker.h"
