// smc-charge: reads and changes the SMC's battery-charging controls.
// One command per run, one JSON line on standard output, exit status 0 or 1.

#include "cli/dispatch.h"

int main(int argc, char** argv) { runHelper(argc, argv); }
