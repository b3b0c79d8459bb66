// A small in-process COM server for the COM tests, built as the phone's
// servers are: one class, a factory, DllGetClassObject and DllCanUnloadNow
// exported by name and by ordinal (1 and 2), and DllCanUnloadNow counting
// live objects as well as server locks.
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include <handset/loader.h>

#include "test_server.h"

namespace {

std::atomic<LONG> gObjects{0};  // factories and objects alive
std::atomic<LONG> gLocks{0};

void note(const char* what)
{
    const char* before = std::getenv(kComTestServerCalls);
    std::string calls = before ? before : "";
    calls += what;
    ::setenv(kComTestServerCalls, calls.c_str(), 1);
}

template <typename Interface>
class Counted : public Interface {
public:
    Counted() { ++gObjects; }
    virtual ~Counted() { --gObjects; }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class TestObject final : public Counted<IComTestObject> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IComTestObject)) {
            *ppv = static_cast<IComTestObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    LONG liveObjects() override { return gObjects; }
};

class Factory final : public Counted<IClassFactory> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) TestObject;
        if (!object)
            return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override
    {
        gLocks += lock ? 1 : -1;
        return S_OK;
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_ComTestServer))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) Factory;
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    note(reason == DLL_PROCESS_ATTACH ? "A" : "D");
    return TRUE;
}

HANDSET_ORDINAL_EXPORTS({1, reinterpret_cast<FARPROC>(&DllCanUnloadNow)},
                        {2, reinterpret_cast<FARPROC>(&DllGetClassObject)});
