// Smeldry.dll: the SMS tone service as the messaging host loads it, an
// in-process COM server with its two exports, by name and by ordinal.
#include <handset/com.h>
#include <handset/loader.h>

#include "mail_rule_client.h"

#define SMELDRY_EXPORT extern "C" __attribute__((visibility("default")))

// Whether the host may unload the library: S_OK when no lock is held and no
// factory or rule client is alive, else S_FALSE.
SMELDRY_EXPORT HRESULT DllCanUnloadNow()
{
    return smeldry::canUnloadNow();
}

// The class factory of the SMS tone service, asked for `riid`.
// CLASS_E_CLASSNOTAVAILABLE for any other class, E_NOINTERFACE (output null)
// for an interface the factory lacks, E_OUTOFMEMORY.
SMELDRY_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return smeldry::getClassObject(rclsid, riid, ppv);
}

// The library keeps nothing to set up or tear down per process.
SMELDRY_EXPORT BOOL DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

HANDSET_ORDINAL_EXPORTS({1, reinterpret_cast<FARPROC>(&DllCanUnloadNow)},
                        {2, reinterpret_cast<FARPROC>(&DllGetClassObject)});
