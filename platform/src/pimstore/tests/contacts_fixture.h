// A fresh device with the contacts application created and logged on, and
// small helpers that make and read contacts through the phone's interfaces.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <handset/com_ptr.h>
#include <handset/pimstore.h>

#include "test_device.h"

namespace handset::testing {

// What the store answers for an object or property that is not there.
inline constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// A CEPROPVAL pointing at a string property; the text must outlive it.
inline CEPROPVAL stringProp(CEPROPID propid, LPCWSTR text)
{
    CEPROPVAL value;
    std::memset(&value, 0, sizeof value);
    value.propid = propid;
    value.val.lpwstr = const_cast<LPWSTR>(text);
    return value;
}

inline CEPROPVAL ui2Prop(CEPROPID propid, USHORT number)
{
    CEPROPVAL value;
    std::memset(&value, 0, sizeof value);
    value.propid = propid;
    value.val.uiVal = number;
    return value;
}

// A buffer for property reads, aligned as CEPROPVAL and filled with a
// sentinel so that tests see what a call wrote.
class PropBuffer {
public:
    explicit PropBuffer(std::size_t bytes) : storage_((bytes + sizeof(CEPROPVAL)) / sizeof(CEPROPVAL) + 1)
    {
        std::memset(storage_.data(), 0xBD, storage_.size() * sizeof(CEPROPVAL));
        size_ = static_cast<ULONG>(bytes);
    }
    CEPROPVAL* values() { return storage_.data(); }
    BYTE* bytes() { return reinterpret_cast<BYTE*>(storage_.data()); }
    ULONG size() const { return size_; }
    // Whether every byte from `from` to the end of the storage still holds the sentinel.
    bool untouchedFrom(std::size_t from) const
    {
        const auto* raw = reinterpret_cast<const BYTE*>(storage_.data());
        for (std::size_t i = from; i < storage_.size() * sizeof(CEPROPVAL); ++i)
            if (raw[i] != 0xBD)
                return false;
        return true;
    }

private:
    std::vector<CEPROPVAL> storage_;
    ULONG size_;
};

class ContactsTest : public DeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                         app_.outVoid()));
        ASSERT_EQ(S_OK, app_->Logon(0));
    }
    void TearDown() override
    {
        if (app_) {
            EXPECT_EQ(S_OK, app_->Logoff());
        }
        app_.reset();
        CoUninitialize();
    }

    // Makes and saves a contact with the given string properties.
    CEOID addContact(const std::vector<std::pair<CEPROPID, std::u16string>>& props)
    {
        ComPtr<IDispatch> created;
        EXPECT_EQ(S_OK, app_->CreateItem(olContactItem, created.out()));
        ComPtr<IItem> item;
        EXPECT_EQ(S_OK, created->QueryInterface(IID_IItem, item.outVoid()));
        std::vector<CEPROPVAL> values;
        for (const auto& [propid, text] : props)
            values.push_back(stringProp(propid, text.c_str()));
        if (!values.empty()) {
            EXPECT_EQ(S_OK, item->SetProps(0, static_cast<WORD>(values.size()), values.data()));
        }
        EXPECT_EQ(S_OK, item->Save());
        ComPtr<IContact> contact;
        EXPECT_EQ(S_OK, item->QueryInterface(IID_IContact, contact.outVoid()));
        LONG oid = 0;
        EXPECT_EQ(S_OK, contact->get_Oid(&oid));
        EXPECT_NE(0, oid);
        return static_cast<CEOID>(oid);
    }

    HRESULT openItem(CEOID oid, ComPtr<IItem>& item) { return app_->GetItemFromOidEx(oid, 0, item.out()); }

    // Reads one string property; sets `found` to whether it is there.
    std::u16string readString(IItem* item, CEPROPID propid, bool* found = nullptr, HRESULT* result = nullptr)
    {
        PropBuffer buffer(propBufferSize(1, 1024));
        CEPROPVAL* values = buffer.values();
        ULONG size = buffer.size();
        const HRESULT hr = item->GetProps(&propid, 0, 1, &values, &size, nullptr);
        if (result)
            *result = hr;
        const bool there = hr == S_OK && (values[0].wFlags & CEDB_PROPNOTFOUND) == 0;
        if (found)
            *found = there;
        return there ? std::u16string(values[0].val.lpwstr) : std::u16string();
    }

    std::u16string readString(CEOID oid, CEPROPID propid, bool* found = nullptr)
    {
        ComPtr<IItem> item;
        EXPECT_EQ(S_OK, openItem(oid, item));
        return item ? readString(item.get(), propid, found) : std::u16string();
    }

    int contactCount()
    {
        ComPtr<IFolder> folder;
        EXPECT_EQ(S_OK, app_->GetDefaultFolder(olFolderContacts, folder.out()));
        ComPtr<IPOutlookItemCollection> items;
        EXPECT_EQ(S_OK, folder->get_Items(items.out()));
        int count = -1;
        EXPECT_EQ(S_OK, items->get_Count(&count));
        return count;
    }

    CEPROPID namedId(const char16_t* name, WORD type)
    {
        CEPROPID id = 0xdeadbeef;
        LPCWSTR names[] = {name};
        EXPECT_EQ(S_OK, app_->GetIDsFromNames(1, names, PIM_CREATE | type, &id));
        return id;
    }

    ComPtr<IPOutlookApp2> app_;
};

}  // namespace handset::testing
