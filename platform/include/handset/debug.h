// The platform's debug output: trace text that programs and plug-ins write
// for their developers, kept in the device log on channel "debug".
#pragma once

#include <handset/types.h>

// Writes lpOutputString to the device log on channel "debug", without its
// line end ("\r\n", "\n"): each call is one line. A null string writes
// nothing.
void OutputDebugString(LPCWSTR lpOutputString);
