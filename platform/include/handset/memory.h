// The phone's local memory functions: blocks a platform function allocates
// for its caller (the strings of a call log entry, for one) are freed with
// LocalFree.
#pragma once

#include <cstddef>

#include <handset/types.h>

using HLOCAL = HANDLE;
using SIZE_T = std::size_t;

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// A fixed block of uBytes (zeroed with LMEM_ZEROINIT); null when there is not
// enough memory or the flags ask for a movable block, which the platform does
// not have.
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);

// Frees a block of LocalAlloc; null (success) also for a null block.
HLOCAL LocalFree(HLOCAL hMem);
