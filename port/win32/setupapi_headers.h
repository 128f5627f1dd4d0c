// The device set-up interface, which needs the platform's base headers first.
#pragma once

// clang-format off
#include "port/win32/win32_headers.h"
#include <setupapi.h>
// clang-format on
