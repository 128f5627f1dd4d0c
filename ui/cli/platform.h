// What the terminal program needs of the system it runs on, beyond the machine
// the line runs on (line/machine.h): its help texts, the terminal, and the
// signals that ask a burn or a station to stop.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

namespace norvane::cli::platform {

// ------------------------------------------------------------------- --help
// What the help says only of this system: the command as it is typed here, the
// --port entry (the forms it takes, what it chooses without it, what it waits
// for after the replug) and how to get at the ports.
const char* CommandName();
const char* PortHelp();
const char* PortAccessHelp();

// ------------------------------------------------------- the terminal, signals
bool IsTerminal(std::FILE* stream);
// The columns of the terminal behind `stream` now; 0 when it is none.
std::size_t TerminalColumns(std::FILE* stream);
// The terminal behind `stream` has hung up (or was never there to answer).
bool TerminalGone(std::FILE* stream);
// From now on Ctrl-C (and a request to terminate) only sets Interrupted(), a
// hang-up only sets HungUp(); a closed pipe or a terminal that stops a
// background job no longer stops this program.
void CatchSignals();
// Calls `wake` (from a thread of its own) whenever one of those signals
// arrives, so that a loop sleeping until its next task sees it at once; null:
// nobody is woken any more.
void WakeOnSignal(std::function<void()> wake);
bool Interrupted();
// Forgets the interrupt, so that the next one is seen as a second one.
void ClearInterrupt();
bool HungUp();
// A hang-up came since the last call (a station reads its images again then,
// when its terminal is still there); forgets it.
bool TakeHangUp();

}  // namespace norvane::cli::platform
