// An open registry key that closes itself.
//
//     handset::RegKey key;
//     if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
//         return;
//     RegQueryValueEx(key.get(), ...);
#pragma once

#include <utility>

#include <handset/registry.h>

namespace handset {

// Holds one open key and closes it on every path. An empty holder stands
// for a key that is not open. Movable, never copied: a key has one closer.
// A predefined root may be held too; closing a root does nothing.
class RegKey {
public:
    RegKey() = default;
    // Takes over `key`, which the holder will close.
    explicit RegKey(HKEY key) : key_(key) {}
    ~RegKey() { reset(); }
    RegKey(RegKey&& other) noexcept : key_(other.detach()) {}
    RegKey& operator=(RegKey&& other) noexcept
    {
        if (this != &other)
            reset(other.detach());
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    // Where RegOpenKeyEx or RegCreateKeyEx puts the key they open; what was
    // held is closed first. The functions leave it null when they fail.
    PHKEY out()
    {
        reset();
        return &key_;
    }

    // Closes what is held and holds `key` instead.
    void reset(HKEY key = nullptr)
    {
        HKEY old = std::exchange(key_, key);
        if (old)
            RegCloseKey(old);
    }

    // Gives the key up to the caller, who must close it.
    [[nodiscard]] HKEY detach() { return std::exchange(key_, nullptr); }

private:
    HKEY key_ = nullptr;
};

}  // namespace handset
