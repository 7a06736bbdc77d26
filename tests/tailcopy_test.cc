// The tailcopy test, compiled as C++: the header serves C++ callers too.
#include "tailcopy_test.c"
