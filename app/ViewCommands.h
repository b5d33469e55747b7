#pragma once
// The batch words of what the window shows: the tabs and CT2 displays, a
// display's picture saved, the sinogram's auto update, the display region,
// the fixed colour range, the save panels cleared, and the additional
// information (the I0 values of raw and I0 images, recorded and shown).
#include "CommandContext.h"

class ViewCommands
{
public:
    static CommandContext::Rows rows();
};
