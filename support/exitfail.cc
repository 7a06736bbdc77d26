#include "exitfail.h"

#include <cstdlib>

int exit_failure = EXIT_FAILURE;
