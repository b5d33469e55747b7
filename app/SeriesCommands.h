#pragma once
// The batch words of the projection series and its references (I0, BG and
// the I0 taken after the scan): loading, adding and clearing them, their
// exposure times and the list panel's switches.
#include "CommandContext.h"

class SeriesCommands
{
public:
    static CommandContext::Rows rows();
};
