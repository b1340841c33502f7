#include "ConsoleTerminal.h"

#include <unistd.h>

bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}
