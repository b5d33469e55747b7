#pragma once
// The XAFS words of a batch program run by the window's session.  The
// words of the XAFS table (XafsCommands) keep their arguments and
// handlers: the stack, its ranges and threshold, a region's spectrum and
// the E0, jump and mask maps are done at once and shown in the XAFS tab;
// the rest run in the tab's job, so the window stays live and offers
// Cancel.  Two words only show: the tab and one of its views.
#include "CommandContext.h"

class XafsTabCommands
{
public:
    static CommandContext::Rows rows();
};
