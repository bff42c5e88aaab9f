// The cursor-circling gesture: fed with the cursor position on every mouse movement, it
// answers a signed speed once the cursor has kept turning one way long enough, else 0.
#pragma once

double GetCirclingSpeed(int x, int y);
// Forgets the gesture state (a new run, or a test).
void ResetCirclingSpeed();
