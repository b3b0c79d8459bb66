// MAPI's buffers: every block carries a header that links the blocks of
// MAPIAllocateMore to the buffer they belong to, so that one MAPIFreeBuffer
// frees them all.
#include <handset/mapi.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

struct alignas(std::max_align_t) Header {
    Header* owner = nullptr;  // the buffer's header, for a block of MAPIAllocateMore; null for a buffer
    Header* next = nullptr;   // of a buffer: its first linked block; of a block: the next one
};

void* allocate(ULONG size, Header* owner)
{
    void* memory = std::calloc(1, sizeof(Header) + size);
    if (!memory)
        return nullptr;
    auto* header = new (memory) Header;
    header->owner = owner;
    return header + 1;
}

Header* headerOf(void* block)
{
    return static_cast<Header*>(block) - 1;
}

}  // namespace

SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    if (!lppBuffer)
        return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = allocate(cbSize, nullptr);
    return *lppBuffer ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer)
{
    if (!lpObject || !lppBuffer)
        return MAPI_E_INVALID_PARAMETER;
    Header* buffer = headerOf(lpObject);
    if (buffer->owner)
        buffer = buffer->owner;  // a linked block stands for its buffer
    void* block = allocate(cbSize, buffer);
    if (!block) {
        *lppBuffer = nullptr;
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    Header* added = headerOf(block);
    added->next = buffer->next;
    buffer->next = added;
    *lppBuffer = block;
    return S_OK;
}

ULONG MAPIFreeBuffer(LPVOID lpBuffer)
{
    if (!lpBuffer)
        return 0;
    Header* buffer = headerOf(lpBuffer);
    if (buffer->owner)
        return 0;  // freeing a linked block alone would leave its buffer pointing at freed memory
    for (Header* block = buffer->next; block;) {
        Header* next = block->next;
        std::free(block);
        block = next;
    }
    std::free(buffer);
    return 0;
}
