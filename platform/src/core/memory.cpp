#include <handset/memory.h>

#include <cstdlib>

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    if (uFlags & ~LMEM_ZEROINIT)
        return nullptr;
    // A block of zero bytes is still a block the caller frees.
    const SIZE_T size = uBytes == 0 ? 1 : uBytes;
    return (uFlags & LMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
}

HLOCAL LocalFree(HLOCAL hMem)
{
    std::free(hMem);
    return nullptr;
}
