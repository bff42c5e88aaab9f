// Two process-wide values of the document's idle step that the JPEG picture read uses: whether
// a decode may be aborted by the user (only while the idle step runs a background step), and
// the idle-second counter that an aborted decode sets back to 0.
#pragma once

extern int JpegAbortEnabled;
extern int IdleSecondCount;
