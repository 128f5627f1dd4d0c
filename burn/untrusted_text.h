// Text that came from outside the program: a device's USB serial number (a
// device chooses its own), a file's name, a lock file, a process's command line,
// the environment. It may hold bytes that a terminal takes for commands (clear
// the screen, move the cursor, paint a line green) or bytes that are no UTF-8 at
// all. Every such text passes through one of these two on its way out.
#pragma once

#include <string>
#include <string_view>

namespace norvane {

// The text as a person may see it: every byte that is not part of a printable
// UTF-8 character (control characters, DEL, the C1 controls, the marks that
// reorder a line, bytes that are no UTF-8) is written as \xNN; all else is kept.
std::string ForPerson(std::string_view text);

// The text as valid UTF-8, for a JSON line: every byte that is not part of a
// UTF-8 character is written as the four characters \xNN; all else is kept
// (the JSON writer escapes the control characters its own way).
std::string AsUtf8(std::string_view text);

}  // namespace norvane
