// The one reset of every process-wide object below the document: codec writers and the last
// EXIF record, the lens table and projection reference, the fit mode and engine flags, the
// platform services and idle values, and the message catalogue. Afterwards the process is as
// a fresh start leaves it. Tests call it before each test; nothing in the program does.
#pragma once

void ResetProcessState();
