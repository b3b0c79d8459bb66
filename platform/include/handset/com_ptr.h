// Ownership of COM objects: ComPtr holds one reference to an interface, and
// com::Object gives a class its reference count and QueryInterface.
//
//     class Message final : public handset::com::Object<IMessage, IID_IMAPIProp, IID_IMessage> { ... };
//
//     handset::ComPtr<IItem> item;
//     if (SUCCEEDED(app->GetItemFromOidEx(oid, 0, item.out()))) ...
#pragma once

#include <atomic>
#include <utility>

#include <handset/com.h>

namespace handset {

// Holds one reference to an interface and releases it on every path.
// Copies add a reference of their own; moves pass the one they hold on.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already holds (what a creation or a
    // lookup handed out); it adds none.
    explicit ComPtr(T* object) : object_(object) {}
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr& other) : object_(other.object_)
    {
        if (object_)
            object_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : object_(other.detach()) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Where a function that hands out an interface puts it; what was held
    // is released first.
    T** out()
    {
        reset();
        return &object_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }

    // Releases what is held and holds `object` instead (a reference the
    // caller already holds, as in the constructor).
    void reset(T* object = nullptr)
    {
        T* old = std::exchange(object_, object);
        if (old)
            old->Release();
    }

    // Gives the reference up to the caller, who must release it.
    [[nodiscard]] T* detach() { return std::exchange(object_, nullptr); }

    // Asks the object for interface `riid` of type U.
    template <typename U>
    HRESULT queryInterface(REFIID riid, ComPtr<U>& result) const
    {
        if (!object_) {
            result.reset();
            return E_POINTER;
        }
        return object_->QueryInterface(riid, result.outVoid());
    }

private:
    T* object_ = nullptr;
};

namespace com {

// QueryInterface of `object` as com::Object answers it (see there), for an
// object that shares its reference count with another, such as a part of a
// larger object.
template <typename Interface, const IID&... kIds>
HRESULT queryInterface(Interface* object, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !(IsEqualIID(riid, kIds) || ...)) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = object;
    object->AddRef();
    return S_OK;
}

// Reference counting and QueryInterface for a class that implements
// `Interface`: the object answers IID_IUnknown and each id of `kIds` (the
// interface's own and those of its bases) with `Interface`, E_NOINTERFACE
// with a null output for any other, and E_POINTER for a null output. It is
// made with one reference and deleted by its last Release. The count is
// atomic: objects are released on other threads (the telephony callbacks,
// the media player's).
//
// A class with interfaces of its own besides `Interface` answers those in
// its QueryInterface and leaves the rest to Object's.
template <typename Interface, const IID&... kIds>
class Object : public Interface {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return queryInterface<Interface, kIds...>(this, riid, ppv);
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~Object() = default;

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace com
}  // namespace handset
