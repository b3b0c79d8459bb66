// The application object "PocketOutlook.Application", its contacts folder
// and the folder's item collection, FindMatchingContact and the read of
// every contact at once.

#include <sqlite3.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include <handset/pimstore_read.h>

#include "pimstore/contact_data.h"
#include "pimstore/objects.h"
#include "pimstore/prop_buffer.h"
#include "pimstore/results.h"

namespace handset::pim {

namespace {

class ItemCollection final : public com::Object<IPOutlookItemCollection, IID_IDispatch, IID_IPOutlookItemCollection> {
public:
    explicit ItemCollection(std::vector<CEOID> oids) : oids_(std::move(oids)) {}

    HRESULT get_Count(int* pnCount) override
    {
        if (!pnCount)
            return E_POINTER;
        *pnCount = static_cast<int>(oids_.size());
        return S_OK;
    }

    HRESULT Item(int iIndex, IDispatch** ppItem) override
    {
        if (!ppItem)
            return E_POINTER;
        *ppItem = nullptr;
        if (iIndex < 1 || static_cast<std::size_t>(iIndex) > oids_.size())
            return E_INVALIDARG;
        return newContactObject(oids_[iIndex - 1], IID_IDispatch, reinterpret_cast<void**>(ppItem));
    }

private:
    std::vector<CEOID> oids_;
};

class ContactsFolder final : public com::Object<IFolder, IID_IDispatch, IID_IFolder> {
public:
    HRESULT get_Items(IPOutlookItemCollection** ppolItems) override
    {
        if (!ppolItems)
            return E_POINTER;
        *ppolItems = nullptr;
        std::vector<CEOID> oids;
        {
            Store store;
            int rc = store.status();
            if (rc == SQLITE_OK)
                rc = listContacts(store, oids);
            if (rc != SQLITE_OK)
                return toHresult(rc);
        }
        auto* items = new (std::nothrow) ItemCollection(std::move(oids));
        if (!items)
            return E_OUTOFMEMORY;
        *ppolItems = items;
        return S_OK;
    }

    HRESULT get_DefaultItemType(int* polItem) override
    {
        if (!polItem)
            return E_POINTER;
        *polItem = olContactItem;
        return S_OK;
    }
};

class Application final : public com::Object<IPOutlookApp2, IID_IDispatch, IID_IPOutlookApp, IID_IPOutlookApp2> {
public:
    HRESULT Logon(LONG) override
    {
        Store store;
        if (store.status() != SQLITE_OK)
            return E_FAIL;
        loggedOn_ = true;
        return S_OK;
    }

    HRESULT Logoff() override
    {
        loggedOn_ = false;
        return S_OK;
    }

    HRESULT GetDefaultFolder(int olFolder, IFolder** ppIFolder) override
    {
        if (!ppIFolder)
            return E_POINTER;
        *ppIFolder = nullptr;
        if (!loggedOn_)
            return E_UNEXPECTED;
        if (olFolder != olFolderContacts)
            return E_INVALIDARG;
        auto* folder = new (std::nothrow) ContactsFolder;
        if (!folder)
            return E_OUTOFMEMORY;
        *ppIFolder = folder;
        return S_OK;
    }

    HRESULT CreateItem(int olItem, IDispatch** ppItem) override
    {
        if (!ppItem)
            return E_POINTER;
        *ppItem = nullptr;
        if (!loggedOn_)
            return E_UNEXPECTED;
        if (olItem != olContactItem)
            return E_INVALIDARG;
        return newContactObject(0, IID_IDispatch, reinterpret_cast<void**>(ppItem));
    }

    HRESULT GetItemFromOid(LONG oid, IDispatch** ppItem) override
    {
        if (!ppItem)
            return E_POINTER;
        *ppItem = nullptr;
        return openItem(static_cast<CEOID>(oid), IID_IDispatch, reinterpret_cast<void**>(ppItem));
    }

    HRESULT GetIDsFromNames(ULONG cPropNames, LPCWSTR const* rgszPropNames, ULONG ulFlags,
                            CEPROPID* rgPropIDs) override
    {
        if (!loggedOn_)
            return E_UNEXPECTED;
        if (cPropNames == 0 || !rgszPropNames || !rgPropIDs)
            return E_INVALIDARG;
        std::optional<WORD> createType;
        if (ulFlags & PIM_CREATE) {
            createType = TypeFromPropID(ulFlags);
            if (!isValueType(*createType))
                return E_INVALIDARG;
        }
        if ((ulFlags & ~(PIM_CREATE | 0xFFFF)) != 0)
            return E_INVALIDARG;
        std::vector<std::u16string> names;
        names.reserve(cPropNames);
        for (ULONG i = 0; i < cPropNames; ++i) {
            if (!rgszPropNames[i] || !*rgszPropNames[i])
                return E_INVALIDARG;
            names.emplace_back(rgszPropNames[i]);
        }

        NameResolution resolution;
        Store store;
        int rc = store.status();
        if (rc == SQLITE_OK)
            rc = resolveNames(store, names, createType, resolution);
        if (rc != SQLITE_OK)
            return toHresult(rc);
        std::copy(resolution.ids.begin(), resolution.ids.end(), rgPropIDs);
        if (resolution.typeMismatch)
            return E_INVALIDARG;
        return resolution.missing ? S_FALSE : S_OK;
    }

    HRESULT GetItemFromOidEx(ULONG oidItem, ULONG ulFlags, IItem** ppItem) override
    {
        if (!ppItem)
            return E_POINTER;
        *ppItem = nullptr;
        if (ulFlags != 0)
            return E_INVALIDARG;
        return openItem(oidItem, IID_IItem, reinterpret_cast<void**>(ppItem));
    }

    HRESULT findMatchingContact(LPCWSTR text, DWORD flags, IItem** ppContact, CEPROPID* ppropid)
    {
        if (!loggedOn_)
            return E_UNEXPECTED;
        if (flags != FMCF_FINDPHONE || !text)
            return E_INVALIDARG;
        CEOID oid = 0;
        CEPROPID phone = 0;
        {
            Store store;
            int rc = store.status();
            if (rc == SQLITE_OK)
                rc = findContactByPhone(store, text, oid, phone);
            if (rc != SQLITE_OK)
                return toHresult(rc);
        }
        const HRESULT hr = newContactObject(oid, IID_IItem, reinterpret_cast<void**>(ppContact));
        if (SUCCEEDED(hr) && ppropid)
            *ppropid = phone;
        return hr;
    }

    HRESULT readEveryContact(const CEPROPID* ids, WORD count,
                             const std::function<HRESULT(CEOID, const CEPROPVAL*)>& each)
    {
        if (!loggedOn_)
            return E_UNEXPECTED;
        // One buffer serves every contact; CEPROPVAL elements keep it aligned for the records.
        std::vector<CEPROPVAL> buffer;
        HRESULT stopped = S_OK;
        Store store;
        int rc = store.status();
        if (rc == SQLITE_OK)
            rc = pim::readEveryContact(store, {ids, count}, [&](CEOID oid, std::span<const PropRead> reads) {
                const std::size_t records = (packedSize(reads) + sizeof(CEPROPVAL) - 1) / sizeof(CEPROPVAL);
                if (buffer.size() < records)
                    buffer.resize(records);
                packProps(reads, reinterpret_cast<BYTE*>(buffer.data()));
                stopped = each(oid, buffer.data());
                return FAILED(stopped) ? SQLITE_ABORT : SQLITE_OK;
            });
        if (FAILED(stopped))
            return stopped;
        return toHresult(rc);
    }

    HRESULT readSnapshot(const std::function<HRESULT()>& work)
    {
        if (!loggedOn_)
            return E_UNEXPECTED;
        HRESULT result = S_OK;
        Store store;
        int rc = store.status();
        if (rc == SQLITE_OK)
            rc = store.readSnapshot([&] { result = work(); });
        return rc != SQLITE_OK ? toHresult(rc) : result;
    }

private:
    // Hands out the object of an existing contact only, so that a stale
    // object id fails here rather than at the first read.
    HRESULT openItem(CEOID oid, REFIID riid, void** ppv)
    {
        if (!loggedOn_)
            return E_UNEXPECTED;
        if (oid == 0)
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        {
            Store store;
            int rc = store.status();
            if (rc == SQLITE_OK)
                rc = contactExists(store, oid);
            if (rc != SQLITE_OK)
                return toHresult(rc);
        }
        return newContactObject(oid, riid, ppv);
    }

    std::atomic<bool> loggedOn_{false};
};

HRESULT createApplication(REFIID riid, void** ppv)
{
    return handset::com::handOut(new (std::nothrow) Application, riid, ppv);
}

const com::BuiltInClassRegistration applicationClass{{CLSID_Application, u"PocketOutlook.Application",
                                                     createApplication}};

}  // namespace

}  // namespace handset::pim

HRESULT FindMatchingContact(IPOutlookApp* pPOOM, LPCWSTR pszFind, DWORD dwFlags, IItem** ppContact,
                            CEPROPID* ppropid)
{
    if (!ppContact)
        return E_INVALIDARG;
    *ppContact = nullptr;
    auto* app = dynamic_cast<handset::pim::Application*>(pPOOM);
    if (!app)
        return E_INVALIDARG;
    return app->findMatchingContact(pszFind, dwFlags, ppContact, ppropid);
}

HRESULT handset::PimReadEveryContact(IPOutlookApp* pPOOM, const CEPROPID* rgPropID, WORD cProps,
                                     const std::function<HRESULT(CEOID, const CEPROPVAL*)>& each)
{
    auto* app = dynamic_cast<handset::pim::Application*>(pPOOM);
    if (!app || !rgPropID || cProps == 0 || !each)
        return E_INVALIDARG;
    return app->readEveryContact(rgPropID, cProps, each);
}

HRESULT handset::PimReadSnapshot(IPOutlookApp* pPOOM, const std::function<HRESULT()>& work)
{
    auto* app = dynamic_cast<handset::pim::Application*>(pPOOM);
    if (!app || !work)
        return E_INVALIDARG;
    return app->readSnapshot(work);
}
