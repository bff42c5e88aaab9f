// The idle step's process-wide values.
#include "platform/idle_state.h"

int JpegAbortEnabled = 0;
int IdleSecondCount = 0;
