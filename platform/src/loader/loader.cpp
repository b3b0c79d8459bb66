// Libraries over dlopen: one module record per loaded file, counted, with
// the entry point called on the first load and the last free.
#include <handset/loader.h>

#include <dlfcn.h>

#include <filesystem>
#include <list>
#include <mutex>
#include <string>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/log.h>
#include <handset/wstring.h>

struct HINSTANCE__ {
    void* dl = nullptr;
    std::string path;
    int count = 0;
};

namespace {

using EntryPoint = BOOL (*)(HINSTANCE, DWORD, LPVOID);

std::mutex gMutex;
std::list<HINSTANCE__>& modules()
{
    static std::list<HINSTANCE__> list;
    return list;
}

HINSTANCE__* find(HMODULE module)
{
    for (HINSTANCE__& m : modules())
        if (&m == module)
            return &m;
    return nullptr;
}

// Exports the loader itself uses; they are not the library's to give out by name.
bool isLoaderSymbol(const std::string& name)
{
    return name == "handset_ordinals" || name == "handset_resources" || name == "DllMain";
}

std::u16string_view view(LPCWSTR text)
{
    return text ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace

HMODULE LoadLibrary(LPCWSTR lpLibFileName)
{
    const std::u16string_view name = view(lpLibFileName);
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::filesystem::path host;
    if (name.front() == u'\\') {
        const auto mapped = handset::mapDevicePath(name);
        if (!mapped) {
            handset::logLine("loader", "cannot load " + handset::toUtf8(name) + ": not a device path");
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        host = *mapped;
    } else if (name.front() == u'/') {
        host = handset::toUtf8(name);
    } else {
        handset::logLine("loader", "cannot load " + handset::toUtf8(name) + ": not a full path");
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(host, ec)) {
        handset::logLine("loader", "cannot load " + handset::toUtf8(name) + ": no such library");
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::string canonical = std::filesystem::weakly_canonical(host, ec).string();

    std::unique_lock lock(gMutex);
    for (HINSTANCE__& m : modules())
        if (m.path == canonical) {
            ++m.count;
            return &m;
        }
    void* dl = ::dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        const char* why = ::dlerror();
        handset::logLine("loader", "cannot load " + handset::toUtf8(name) + ": " + (why ? why : "not a library"));
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    HINSTANCE__& module = modules().emplace_back();
    module.dl = dl;
    module.path = canonical;
    module.count = 1;
    // The entry point runs without the lock: it may load libraries itself.
    lock.unlock();
    if (auto entry = reinterpret_cast<EntryPoint>(::dlsym(dl, "DllMain"))) {
        if (!entry(&module, DLL_PROCESS_ATTACH, nullptr)) {
            handset::logLine("loader", "cannot load " + handset::toUtf8(name) + ": its entry point failed");
            lock.lock();
            modules().remove_if([&](const HINSTANCE__& m) { return &m == &module; });
            lock.unlock();
            ::dlclose(dl);
            SetLastError(ERROR_DLL_INIT_FAILED);
            return nullptr;
        }
    }
    return &module;
}

FARPROC GetProcAddress(HMODULE hModule, LPCWSTR lpProcName)
{
    std::lock_guard lock(gMutex);
    HINSTANCE__* module = find(hModule);
    if (!module || !lpProcName) {
        SetLastError(module ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const auto raw = reinterpret_cast<std::uintptr_t>(lpProcName);
    if ((raw >> 16) == 0) {
        const auto* table = static_cast<const handset::OrdinalExport*>(::dlsym(module->dl, "handset_ordinals"));
        for (; table && table->function; ++table)
            if (table->ordinal == raw)
                return table->function;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const std::string name = handset::toUtf8(view(lpProcName));
    if (name.empty() || isLoaderSymbol(name)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (void* symbol = ::dlsym(module->dl, name.c_str()))
        return reinterpret_cast<FARPROC>(symbol);
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE hModule)
{
    std::unique_lock lock(gMutex);
    HINSTANCE__* module = find(hModule);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--module->count > 0)
        return TRUE;
    void* dl = module->dl;
    lock.unlock();
    if (auto entry = reinterpret_cast<EntryPoint>(::dlsym(dl, "DllMain")))
        entry(module, DLL_PROCESS_DETACH, nullptr);
    lock.lock();
    modules().remove_if([&](const HINSTANCE__& m) { return &m == module; });
    lock.unlock();
    ::dlclose(dl);
    return TRUE;
}

namespace handset {

std::string modulePath(HMODULE module)
{
    std::lock_guard lock(gMutex);
    HINSTANCE__* m = find(module);
    return m ? m->path : std::string();
}

void* moduleHandle(HMODULE module)
{
    std::lock_guard lock(gMutex);
    HINSTANCE__* m = find(module);
    return m ? m->dl : nullptr;
}

HMODULE loadPlatformLibrary(const char* file)
{
    Dl_info self{};
    if (!::dladdr(reinterpret_cast<const void*>(&loadPlatformLibrary), &self) || !self.dli_fname) {
        logLine("loader", std::string("cannot load ") + file + ": the platform's folder is unknown");
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::filesystem::path path = std::filesystem::path(self.dli_fname).parent_path() / file;
    return LoadLibrary(fromUtf8(path.string()).c_str());
}

}  // namespace handset
