#pragma once
// The batch words of the centre of rotation: found on a slice, swept over
// trial values, or fitted as a line over the images' height.
#include "CommandContext.h"

class CentreCommands
{
public:
    static CommandContext::Rows rows();
};
