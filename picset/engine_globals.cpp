// Program-wide mode values of the engine.
#include "picset/mccore.h"

int FitMode = -2;
int EngineModeFlag = 0;
int NumberedMessageFlag = 0;

void SetEngineModeFlags()
{
    EngineModeFlag = 1;
    NumberedMessageFlag = 1;
}
