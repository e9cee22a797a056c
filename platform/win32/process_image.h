// Whether a process ID names a running program of a given image name.
#pragma once

// True when pid is a running process whose image file name is image (ASCII letters compared
// without regard to case), so that an ID that Windows gave to another program is not taken for it.
bool process_runs_image(unsigned long pid, const char* image);
