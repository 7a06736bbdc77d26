// The exit-time check of standard output.
#pragma once

// Closes standard output and, when anything written to it was lost,
// reports "write error" and ends the process with status exit_failure.
// Meant to be registered with atexit before anything is written.
void close_stdout();
