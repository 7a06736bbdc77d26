// The current host name, however long.
#pragma once

// Returns the host name in a new heap block (release with free), or null
// with errno set when gethostname fails for a reason other than a buffer
// that is too small.  Running out of memory ends the process.
char* xgethostname();
