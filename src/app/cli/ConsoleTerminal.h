// Whether the program's standard input is an interactive terminal, so a
// question may be asked there; piped or redirected input never answers one.
#pragma once

bool StdinIsTerminal();
