#include "ConsoleTerminal.h"

#include <cstdio>
#include <io.h>

bool StdinIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}
