// The COM plumbing of the tests' in-process servers: reference counts, the
// server's count of live objects and locks that its DllCanUnloadNow answers
// from, and the factory that makes its one class. The servers themselves
// only say what their objects do.
#pragma once

#include <atomic>
#include <functional>
#include <new>
#include <utility>

#include <handset/com.h>

namespace handset::testing {

// What a server must know before it lets itself be unloaded.
struct ServerCounts {
    std::atomic<LONG> objects{0};  // factories and objects alive
    std::atomic<LONG> locks{0};    // LockServer(TRUE) not yet undone

    HRESULT canUnloadNow() const { return objects == 0 && locks == 0 ? S_OK : S_FALSE; }
};

// An object of one interface (and IUnknown), counted in its server.
template <typename Interface, const IID& kInterfaceId>
class CountedObject : public Interface {
public:
    explicit CountedObject(ServerCounts& counts) : counts_(counts) { ++counts_.objects; }
    virtual ~CountedObject() { --counts_.objects; }
    CountedObject(const CountedObject&) = delete;
    CountedObject& operator=(const CountedObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kInterfaceId)) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ServerCounts& counts_;

private:
    std::atomic<ULONG> refs_{1};
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
