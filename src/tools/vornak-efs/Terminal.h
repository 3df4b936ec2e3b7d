// The few things the tool asks of the terminal and the console: is there
// one, how wide is it, and was Ctrl-C pressed.
#pragma once

#include <cstddef>
#include <cstdio>

namespace VornakEfs::Terminal {

// Whether `stream` is a terminal (a console on Windows).
bool isTerminal(std::FILE* stream);
// The width in columns of the terminal behind `stream`; 80 when unknown.
std::size_t columns(std::FILE* stream);
// On Windows, makes the console show the UTF-8 the tool writes; elsewhere nothing.
void useUtf8Console();

// From now on Ctrl-C (and a request to terminate) set a flag instead of
// ending the process, so a transfer can stop between packets and close its
// handset file.
void catchInterrupts();
bool interrupted();
// Throws Failure (kInterrupted) once Ctrl-C has been pressed.
void throwIfInterrupted();

} // namespace VornakEfs::Terminal
