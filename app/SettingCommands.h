#pragma once
// The batch words of the run settings: each setting of the settings table
// that has a batch word is checked and stored by its row; a save directory
// it names is made at once.
#include "CommandContext.h"

class SettingCommands
{
public:
    // In the settings table's order.
    static CommandContext::Rows rows();
};
