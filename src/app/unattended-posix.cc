#include "app/unattended.h"

// Nothing here shows a dialog.
void runUnattended() {}
