// Program-wide mode values of the engine and the background linking's last picture.
#include "picset/mccore.h"

int FitMode = -2;
int EngineModeFlag = 0;
int NumberedMessageFlag = 0;
CKpic* LastFeaturePicture = nullptr;
CPoint LastFeatureCell(-1, -1);

void SetEngineModeFlags()
{
    EngineModeFlag = 1;
    NumberedMessageFlag = 1;
}

void ResetFeatureLinking()
{
    LastFeaturePicture = nullptr;
    LastFeatureCell = CPoint(-1, -1);
}
