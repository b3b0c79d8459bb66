#include <handset/com.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

#include <handset/com_ptr.h>
#include <handset/imaging.h>
#include <handset/loader.h>
#include <handset/log.h>
#include <handset/reg_key.h>
#include <handset/wmp.h>
#include <handset/wstring.h>

namespace handset {

namespace {

// ---------------------------------------------------------------------------
// GUID text

int hexValue(char32_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The braced form has 38 characters: hex digits everywhere except the
// braces and the dashes at fixed places.
template <typename Char>
std::optional<GUID> parseBraced(std::basic_string_view<Char> text)
{
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    const std::basic_string_view<Char> body = text.substr(1, 36);
    BYTE bytes[16];
    std::size_t n = 0;
    for (std::size_t i = 0; i < body.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (body[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(body[i]);
        const int low = hexValue(body[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[n++] = static_cast<BYTE>(high * 16 + low);
        i += 2;
    }
    GUID guid{};
    guid.Data1 = (DWORD{bytes[0]} << 24) | (DWORD{bytes[1]} << 16) | (DWORD{bytes[2]} << 8) | bytes[3];
    guid.Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    std::memcpy(guid.Data4, bytes + 8, 8);
    return guid;
}

std::string formatAscii(REFGUID guid)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "{";
    auto put = [&](unsigned value, int width) {
        for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
            out += digits[(value >> shift) & 0xF];
    };
    put(guid.Data1, 8);
    out += '-';
    put(guid.Data2, 4);
    out += '-';
    put(guid.Data3, 4);
    out += '-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    out += '-';
    for (int i = 2; i < 8; ++i)
        put(guid.Data4[i], 2);
    out += '}';
    return out;
}

// ---------------------------------------------------------------------------
// Per-thread initialisation

struct ThreadCom {
    int count = 0;
    DWORD model = COINIT_MULTITHREADED;
};
thread_local ThreadCom threadCom;

constexpr DWORD kKnownCoInitFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

// ---------------------------------------------------------------------------
// Built-in classes

struct ClassTable {
    std::mutex mutex;
    std::vector<com::BuiltInClass> classes;
};

// Registrations run during static initialisation of the library, in any
// order, so the table is made on first use.
ClassTable& classTable()
{
    static ClassTable* table = new ClassTable;
    return *table;
}

std::optional<com::BuiltInClass> findRegisteredBuiltIn(REFCLSID clsid)
{
    ClassTable& table = classTable();
    std::lock_guard lock(table.mutex);
    for (const auto& cls : table.classes)
        if (IsEqualCLSID(cls.clsid, clsid))
            return cls;
    return std::nullopt;
}

// Built-in classes that stand on a large library (GStreamer, Qt Gui) live in
// a platform library of their own beside this one, so that a process maps
// those libraries only when it makes such an object: the library is loaded
// on the first creation and kept for the life of the process, and its
// registration then adds the class to the table.
struct LibraryClass {
    CLSID clsid;
    const char16_t* progId;
    const char* library;  // a file of the folder this library was loaded from
};

constexpr LibraryClass kLibraryClasses[] = {
    {CLSID_WindowsMediaPlayer, u"WMPlayer.OCX", "libhandset_media.so"},
    {CLSID_ImagingFactory, nullptr, "libhandset_imaging.so"},
};

const LibraryClass* findLibraryClass(REFCLSID clsid)
{
    for (const auto& cls : kLibraryClasses)
        if (IsEqualCLSID(cls.clsid, clsid))
            return &cls;
    return nullptr;
}

// Loads the library of a class. Without the lock of the class table: the
// library registers its classes while it loads. Never freed: the objects
// it makes may outlive any count this call could keep.
void loadClassLibrary(const LibraryClass& cls)
{
    if (!loadPlatformLibrary(cls.library))
        logLine("com", std::string("cannot load ") + cls.library + " for class " + formatAscii(cls.clsid));
}

std::optional<com::BuiltInClass> findBuiltIn(REFCLSID clsid)
{
    if (auto cls = findRegisteredBuiltIn(clsid))
        return cls;
    const LibraryClass* library = findLibraryClass(clsid);
    if (!library)
        return std::nullopt;
    loadClassLibrary(*library);
    return findRegisteredBuiltIn(clsid);
}

// The factory every built-in class gets: it creates objects through the
// class's function and never aggregates. Built-in classes are never
// unloaded, so LockServer only keeps the count the caller expects.
class BuiltInFactory final : public com::Object<IClassFactory, IID_IClassFactory> {
public:
    explicit BuiltInFactory(com::CreateInstanceFunction create) : create_(create) {}

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return create_(riid, ppv);
    }
    HRESULT LockServer(BOOL lock) override
    {
        locks_ += lock ? 1 : -1;
        return S_OK;
    }

private:
    std::atomic<LONG> locks_{0};
    com::CreateInstanceFunction create_;
};

// ---------------------------------------------------------------------------
// Registered in-process servers

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
using DllCanUnloadNowFunction = HRESULT (*)();

// A library loaded for its classes. It holds one count of the loader's
// until CoFreeUnusedLibraries finds that it may go.
struct InprocServer {
    HMODULE module = nullptr;
    std::string path;  // as registered, for the log
    DllCanUnloadNowFunction canUnloadNow = nullptr;
};

// Recursive: a server's DllGetClassObject or DllMain may itself create
// objects of other servers on the same thread.
struct ServerTable {
    std::recursive_mutex mutex;
    std::vector<InprocServer> servers;
};

ServerTable& serverTable()
{
    static ServerTable* table = new ServerTable;
    return *table;
}

std::string hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// The default value of an HKEY_CLASSES_ROOT key as a string; nothing when
// the key, the value or a string in it is missing.
std::optional<std::u16string> readClassesString(const std::u16string& keyName)
{
    RegKey key;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::optional<std::u16string> text;
    if (RegQueryValueEx(key.get(), nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::u16string data(size / sizeof(WCHAR), u'\0');
        if (RegQueryValueEx(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            data.resize(size / sizeof(WCHAR));
            // Writers store the terminator; the text ends at the first one.
            const std::size_t end = data.find(u'\0');
            if (end != std::u16string::npos)
                data.resize(end);
            text = std::move(data);
        }
    }
    return text;
}

// The library registered for a class: HKEY_CLASSES_ROOT
// "CLSID\{...}\InProcServer32", default value. A bare file name is looked
// for in "\Windows", the phone's only search folder.
std::optional<std::u16string> registeredServer(REFCLSID clsid)
{
    auto path = readClassesString(u"CLSID\\" + formatGuid(clsid) + u"\\InProcServer32");
    if (!path || path->empty())
        return std::nullopt;
    if (path->find(u'\\') == std::u16string::npos && path->find(u'/') == std::u16string::npos)
        *path = u"\\Windows\\" + *path;
    return path;
}

// Asks the registered server of `clsid` for its class object. Called with
// COM initialised and the output already cleared.
HRESULT registeredClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    const auto path = registeredServer(clsid);
    if (!path)
        return REGDB_E_CLASSNOTREG;
    const std::string name = toUtf8(*path);
    const std::string cls = formatGuidUtf8(clsid);

    ServerTable& table = serverTable();
    std::lock_guard lock(table.mutex);
    const HMODULE module = LoadLibrary(path->c_str());
    if (!module) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        logLine("com", "cannot load the server of " + cls + " from " + name + " (" + hex(hr) + ")");
        return hr;
    }
    bool fresh = true;
    for (const InprocServer& server : table.servers) {
        if (server.module == module) {
            // Already held: the table keeps one count per library.
            FreeLibrary(module);
            fresh = false;
            break;
        }
    }
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunction>(GetProcAddress(module, u"DllGetClassObject"));
    if (!getClassObject) {
        logLine("com", "the server " + name + " of " + cls + " has no DllGetClassObject");
        if (fresh)
            FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    if (fresh) {
        InprocServer server;
        server.module = module;
        server.path = name;
        server.canUnloadNow = reinterpret_cast<DllCanUnloadNowFunction>(GetProcAddress(module, u"DllCanUnloadNow"));
        table.servers.push_back(std::move(server));
        logLine("com", "loaded " + name + " for " + cls);
    }
    const HRESULT hr = getClassObject(clsid, riid, ppv);
    if (FAILED(hr)) {
        *ppv = nullptr;  // whatever the server left there is not the caller's
        logLine("com", "DllGetClassObject of " + name + " refused " + cls + " (" + hex(hr) + ")");
    }
    return hr;
}

}  // namespace

std::optional<GUID> parseGuid(std::u16string_view text)
{
    return parseBraced(text);
}

std::optional<GUID> parseGuid(std::string_view text)
{
    return parseBraced(text);
}

std::u16string formatGuid(REFGUID guid)
{
    const std::string ascii = formatAscii(guid);
    return {ascii.begin(), ascii.end()};
}

std::string formatGuidUtf8(REFGUID guid)
{
    return formatAscii(guid);
}

namespace com {

BuiltInClassRegistration::BuiltInClassRegistration(const BuiltInClass& cls) : registered_(false)
{
    ClassTable& table = classTable();
    std::lock_guard lock(table.mutex);
    for (const auto& known : table.classes) {
        if (IsEqualCLSID(known.clsid, cls.clsid))
            return;
        if (cls.progId && known.progId &&
            foldCase(known.progId) == foldCase(cls.progId))
            return;
    }
    table.classes.push_back(cls);
    registered_ = true;
}

}  // namespace com

}  // namespace handset

using namespace handset;

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved || (dwCoInit & ~kKnownCoInitFlags) != 0)
        return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (threadCom.count > 0) {
        if (threadCom.model != model)
            return RPC_E_CHANGED_MODE;
        ++threadCom.count;
        return S_FALSE;
    }
    threadCom.model = model;
    threadCom.count = 1;
    return S_OK;
}

void CoUninitialize()
{
    if (threadCom.count > 0)
        --threadCom.count;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid)
{
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    const std::u16string wanted = foldCase(lpszProgID);
    {
        ClassTable& table = classTable();
        std::lock_guard lock(table.mutex);
        for (const auto& cls : table.classes) {
            if (cls.progId && foldCase(cls.progId) == wanted) {
                *lpclsid = cls.clsid;
                return S_OK;
            }
        }
    }
    for (const auto& cls : kLibraryClasses) {
        if (cls.progId && foldCase(cls.progId) == wanted) {
            *lpclsid = cls.clsid;
            return S_OK;
        }
    }
    // Registered programs: HKEY_CLASSES_ROOT "<ProgID>\CLSID". A ProgID with
    // a backslash would name some other key, so it is never one.
    const std::u16string_view progId(lpszProgID);
    if (!progId.empty() && progId.find(u'\\') == std::u16string_view::npos) {
        if (const auto text = readClassesString(std::u16string(progId) + u"\\CLSID")) {
            if (const auto clsid = parseGuid(*text)) {
                *lpclsid = *clsid;
                return S_OK;
            }
        }
    }
    *lpclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID lpclsid)
{
    if (!lpclsid)
        return E_INVALIDARG;
    const auto guid = lpsz ? parseGuid(std::u16string_view(lpsz)) : std::nullopt;
    *lpclsid = guid.value_or(GUID_NULL);
    return guid ? NOERROR : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPGUID lpiid)
{
    return CLSIDFromString(lpsz, lpiid);
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    const std::u16string text = formatGuid(rguid);
    const int needed = static_cast<int>(text.size()) + 1;
    if (!lpsz || cchMax < needed)
        return 0;
    std::memcpy(lpsz, text.c_str(), needed * sizeof(OLECHAR));
    return needed;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (threadCom.count == 0)
        return CO_E_NOTINITIALIZED;
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    const auto cls = findBuiltIn(rclsid);
    if (!cls)
        return registeredClassObject(rclsid, riid, ppv);
    return com::handOut(new (std::nothrow) BuiltInFactory(cls->createInstance), riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    ComPtr<IClassFactory> factory;
    const HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, factory.outVoid());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(pUnkOuter, riid, ppv);
}

void CoFreeUnusedLibraries()
{
    ServerTable& table = serverTable();
    std::lock_guard lock(table.mutex);
    for (auto it = table.servers.begin(); it != table.servers.end();) {
        // A server without DllCanUnloadNow cannot say that it is unused, so
        // it stays for the life of the process.
        if (!it->canUnloadNow || it->canUnloadNow() != S_OK) {
            ++it;
            continue;
        }
        const HMODULE module = it->module;
        const std::string path = it->path;
        it = table.servers.erase(it);
        FreeLibrary(module);
        logLine("com", "unloaded " + path);
    }
}
