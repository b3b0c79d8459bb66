// The COM plumbing of the tests' in-process servers: the server's count of
// live objects and locks that its DllCanUnloadNow answers from, and the
// factory that makes its one class. The servers themselves only say what
// their objects do.
#pragma once

#include <atomic>
#include <functional>
#include <new>
#include <utility>

#include <handset/com_ptr.h>

namespace handset::testing {

// What a server must know before it lets itself be unloaded.
struct ServerCounts {
    std::atomic<LONG> objects{0};  // factories and objects alive
    std::atomic<LONG> locks{0};    // LockServer(TRUE) not yet undone

    HRESULT canUnloadNow() const { return objects == 0 && locks == 0 ? S_OK : S_FALSE; }
};

// An object of one interface (and IUnknown), counted in its server.
template <typename Interface, const IID& kInterfaceId>
class CountedObject : public com::Object<Interface, kInterfaceId> {
public:
    explicit CountedObject(ServerCounts& counts) : counts_(counts) { ++counts_.objects; }
    ~CountedObject() override { --counts_.objects; }

protected:
    ServerCounts& counts_;
};

// The class factory of a server's one class; `make` returns a new object
// with one reference, or null when there is no memory for it.
class CountedFactory final : public CountedObject<IClassFactory, IID_IClassFactory> {
public:
    CountedFactory(ServerCounts& counts, std::function<IUnknown*()> make)
        : CountedObject(counts), make_(std::move(make))
    {
    }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return com::handOut(make_(), riid, ppv);
    }
    HRESULT LockServer(BOOL lock) override
    {
        counts_.locks += lock ? 1 : -1;
        return S_OK;
    }

private:
    std::function<IUnknown*()> make_;
};

}  // namespace handset::testing
