// The program's entry routine, shared by the live and the virtual executable.
#pragma once

// Options dialog, start-up, the frame loop and shutdown. Returns the exit code:
// 0 after a run, -1 when the dialog was left with "0" or the device failed.
int MivolaMain();
