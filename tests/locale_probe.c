/* Prints the name of the locale that setlocale selects from the environment,
   or "(none)".  A C library built without locales selects C whatever the
   environment names, and the end-to-end tests then expect operands rendered
   as in C. */
#include <locale.h>
#include <stdio.h>

int main(void) {
  const char *name = setlocale(LC_ALL, "");
  return puts(name ? name : "(none)") < 0;
}
