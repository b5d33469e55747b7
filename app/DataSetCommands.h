#pragma once
// The batch words of a data directory's sets (one set per energy) walked
// one by one, and of the I0 files chosen for a set by its energy.
#include "CommandContext.h"

class DataSetCommands
{
public:
    static CommandContext::Rows rows();
};
