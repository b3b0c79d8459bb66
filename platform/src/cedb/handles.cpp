#include "cedb/handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace handset::detail {

namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Multiples of four, as the phone's handles are; 0 and -1 never occur.
    std::uintptr_t next = 0x1000;
};

HandleTable& table()
{
    static HandleTable* handles = new HandleTable;
    return *handles;
}

}  // namespace

HANDLE openHandle(std::shared_ptr<KernelObject> object)
{
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    const std::uintptr_t value = handles.next;
    handles.next += 4;
    handles.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> objectOf(HANDLE handle)
{
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    auto it = handles.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == handles.objects.end() ? nullptr : it->second;
}

bool closeHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> closing;  // destroyed outside the lock
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    auto it = handles.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.objects.end())
        return false;
    closing = std::move(it->second);
    handles.objects.erase(it);
    return true;
}

}  // namespace handset::detail
