// The kernel's handle table: what CloseHandle closes.
//
// FIXME: this belongs to the kernel area once it exists; it lives beside the
// database functions because they are the first to hand out kernel handles.
#pragma once

#include <memory>

#include <handset/types.h>

namespace handset::detail {

// Anything a kernel handle can stand for. The object lives as long as its
// handle is open or a call is still using it.
class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// A new handle for `object`. Handle values are never reused while the
// process runs, so a handle closed twice cannot close someone else's.
HANDLE openHandle(std::shared_ptr<KernelObject> object);

// The object of an open handle, if it is of type T.
std::shared_ptr<KernelObject> objectOf(HANDLE handle);
template <typename T>
std::shared_ptr<T> objectOf(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(objectOf(handle));
}

// Closes a handle; false when it is not open.
bool closeHandle(HANDLE handle);

}  // namespace handset::detail
