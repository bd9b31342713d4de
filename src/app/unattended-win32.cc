#include <windows.h>

#include "app/unattended.h"

void runUnattended() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
               SEM_NOOPENFILEERRORBOX);
}
