// The platform headers of the Windows port, with the settings every file of it
// shares (no min/max macros, the lean header set, Windows 7 and later).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>
