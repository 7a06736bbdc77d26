#include "exitfail.h"

#include <stdlib.h>

int exit_failure = EXIT_FAILURE;
