// A contact item (IItem, IContact) and its picture stream (IStream).

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include "pimstore/contact_data.h"
#include "pimstore/objects.h"
#include "pimstore/prop_buffer.h"
#include "pimstore/results.h"

namespace handset::pim {

namespace {

// A picture is a photo of a person, a few hundred kilobytes at most; the
// bound keeps a runaway writer from filling the device.
constexpr std::size_t kMaxStreamBytes = 16 * 1024 * 1024;

constexpr DWORD kStreamModes = GENERIC_READ | GENERIC_WRITE;

class ContactItem;

class PictureStream final : public com::Object<IStream, IID_ISequentialStream, IID_IStream> {
public:
    PictureStream(ContactItem* item, std::vector<BYTE> data, DWORD mode);
    ~PictureStream();

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead)
            *pcbRead = 0;
        if ((mode_ & GENERIC_READ) == 0)
            return STG_E_ACCESSDENIED;
        if (!pv && cb)
            return STG_E_INVALIDPOINTER;
        const std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
        const std::size_t n = std::min<std::size_t>(cb, available);
        if (n)
            std::memcpy(pv, data_.data() + position_, n);
        position_ += n;
        if (pcbRead)
            *pcbRead = static_cast<ULONG>(n);
        return S_OK;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten)
            *pcbWritten = 0;
        if ((mode_ & GENERIC_WRITE) == 0)
            return STG_E_ACCESSDENIED;
        if (!pv && cb)
            return STG_E_INVALIDPOINTER;
        if (position_ > kMaxStreamBytes || cb > kMaxStreamBytes - position_)
            return STG_E_MEDIUMFULL;
        if (position_ + cb > data_.size())
            data_.resize(position_ + cb);
        if (cb)
            std::memcpy(data_.data() + position_, pv, cb);
        position_ += cb;
        if (pcbWritten)
            *pcbWritten = cb;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
    {
        LONGLONG base;
        switch (origin) {
        case STREAM_SEEK_SET:
            base = 0;
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<LONGLONG>(position_);
            break;
        case STREAM_SEEK_END:
            base = static_cast<LONGLONG>(data_.size());
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        // A position before the start is refused; one past the end is kept
        // (a later write fills the gap with zeros).
        if (move.QuadPart < -base || move.QuadPart > static_cast<LONGLONG>(kMaxStreamBytes) - base)
            return STG_E_INVALIDFUNCTION;
        position_ = static_cast<std::size_t>(base + move.QuadPart);
        if (newPosition)
            newPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER size) override
    {
        if ((mode_ & GENERIC_WRITE) == 0)
            return STG_E_ACCESSDENIED;
        if (size.QuadPart > kMaxStreamBytes)
            return STG_E_MEDIUMFULL;
        data_.resize(static_cast<std::size_t>(size.QuadPart));
        return S_OK;
    }

    HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override
    {
        if (!target)
            return STG_E_INVALIDPOINTER;
        if ((mode_ & GENERIC_READ) == 0)
            return STG_E_ACCESSDENIED;
        const std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
        const auto n = static_cast<ULONG>(std::min<ULONGLONG>(cb.QuadPart, available));
        ULONG written = 0;
        const HRESULT hr = target->Write(data_.data() + position_, n, &written);
        position_ += n;
        if (pcbRead)
            pcbRead->QuadPart = n;
        if (pcbWritten)
            pcbWritten->QuadPart = written;
        return hr;
    }

    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;

    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* stat, DWORD) override
    {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = data_.size();
        stat->grfMode = mode_;
        return S_OK;
    }

    // A stream of a property has one reader position; the picture code
    // never needs a second one.
    HRESULT Clone(IStream** stream) override
    {
        if (stream)
            *stream = nullptr;
        return E_NOTIMPL;
    }

private:
    ContactItem* item_;
    std::vector<BYTE> data_;
    std::size_t position_ = 0;
    DWORD mode_;
};

class ContactItem final : public com::Object<IContact, IID_IDispatch, IID_IContact>, public IItem {
public:
    explicit ContactItem(CEOID oid) : oid_(oid) {}

    // IItem is the item's second face; everything else is its IContact.
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv && IsEqualIID(riid, IID_IItem)) {
            *ppv = static_cast<IItem*>(this);
            AddRef();
            return S_OK;
        }
        return Object::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return Object::AddRef(); }
    ULONG Release() override { return Object::Release(); }

    HRESULT get_Oid(LONG* poid) override
    {
        if (!poid)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *poid = static_cast<LONG>(oid_);
        return S_OK;
    }

    HRESULT GetProps(const CEPROPID* rgPropID, ULONG ulFlags, WORD cProps, CEPROPVAL** prgVals, ULONG* pcbBuffer,
                     HANDLE) override
    {
        if (!rgPropID || !prgVals || !pcbBuffer || cProps == 0 || ulFlags != 0)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        std::vector<PropRead> reads(cProps);
        int rc = SQLITE_OK;
        {
            std::optional<Store> store;
            for (WORD i = 0; i < cProps && rc == SQLITE_OK; ++i) {
                reads[i].propid = rgPropID[i];
                if (auto it = pending_.find(rgPropID[i]); it != pending_.end()) {
                    reads[i].value = it->second;
                    continue;
                }
                // Streams are read through OpenProperty only; a new item has
                // nothing stored yet.
                if (oid_ == 0 || !isValueType(TypeFromPropID(rgPropID[i])))
                    continue;
                if (!store) {
                    store.emplace();
                    if ((rc = store->status()) != SQLITE_OK)
                        break;
                    // Several properties are read in one snapshot, so that a
                    // save by another program never shows half.
                    if (cProps > 1 && (rc = store->beginRead()) != SQLITE_OK)
                        break;
                }
                rc = readProperty(*store, oid_, rgPropID[i], reads[i].value);
            }
        }
        if (rc != SQLITE_OK)
            return toHresult(rc);

        const std::size_t needed = packedSize(reads);
        if (needed > std::numeric_limits<ULONG>::max())
            return E_OUTOFMEMORY;
        if (!*prgVals || *pcbBuffer < needed) {
            // As a size query, also when the caller gave no buffer at all.
            *pcbBuffer = static_cast<ULONG>(needed);
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        // *pcbBuffer stays as given: callers reuse one buffer and its size
        // for many items.
        packProps(reads, reinterpret_cast<BYTE*>(*prgVals));
        return S_OK;
    }

    HRESULT SetProps(ULONG ulFlags, WORD cProps, CEPROPVAL* rgVals) override
    {
        if (ulFlags != 0 || (cProps && !rgVals))
            return E_INVALIDARG;
        PropChanges changes;
        {
            std::optional<Store> store;
            for (WORD i = 0; i < cProps; ++i) {
                const CEPROPVAL& prop = rgVals[i];
                const WORD type = TypeFromPropID(prop.propid);
                if (!isValueType(type))
                    return E_INVALIDARG;
                bool known = isBuiltInContactProperty(prop.propid);
                if (!known) {
                    if (!store)
                        store.emplace();
                    int rc = store->status();
                    if (rc == SQLITE_OK)
                        rc = isKnownContactProperty(*store, prop.propid, known);
                    if (rc != SQLITE_OK)
                        return toHresult(rc);
                    if (!known)
                        return E_INVALIDARG;
                }
                if (prop.wFlags & CEDB_PROPDELETE) {
                    changes[prop.propid] = std::nullopt;
                    continue;
                }
                if (!valueOf(prop, changes[prop.propid].emplace()))
                    return E_INVALIDARG;
            }
        }
        std::lock_guard lock(mutex_);
        for (auto& [propid, value] : changes)
            pending_[propid] = std::move(value);
        return S_OK;
    }

    HRESULT Save() override
    {
        std::lock_guard lock(mutex_);
        Store store;
        int rc = store.status();
        CEOID oid = oid_;
        if (rc == SQLITE_OK)
            rc = saveContact(store, oid, pending_);
        if (rc != SQLITE_OK)
            return toHresult(rc);
        oid_ = oid;
        pending_.clear();
        return S_OK;
    }

    HRESULT Delete() override
    {
        std::lock_guard lock(mutex_);
        if (oid_ != 0) {
            Store store;
            int rc = store.status();
            if (rc == SQLITE_OK)
                rc = deleteContact(store, oid_);
            if (rc != SQLITE_OK)
                return toHresult(rc);
        }
        pending_.clear();
        return S_OK;
    }

    HRESULT OpenProperty(CEPROPID propID, DWORD dwMode, IStream** ppStream) override
    {
        if (!ppStream)
            return E_INVALIDARG;
        *ppStream = nullptr;
        if (propID != PIMPR_PICTURE || (dwMode & kStreamModes) == 0 || (dwMode & ~kStreamModes) != 0)
            return E_INVALIDARG;
        std::optional<std::vector<BYTE>> bytes;
        if (const int rc = currentStream(propID, bytes); rc != SQLITE_OK)
            return toHresult(rc);
        if (!bytes && (dwMode & GENERIC_WRITE) == 0)
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        auto* stream = new (std::nothrow) PictureStream(this, bytes.value_or(std::vector<BYTE>{}), dwMode);
        if (!stream)
            return E_OUTOFMEMORY;
        *ppStream = stream;
        return S_OK;
    }

    // The stream property's current bytes: the item's change if it has one,
    // else what is stored. SQLITE_OK with nothing when there is none.
    int currentStream(CEPROPID propid, std::optional<std::vector<BYTE>>& bytes)
    {
        std::lock_guard lock(mutex_);
        bytes.reset();
        std::optional<PropValue> value;
        if (auto it = pending_.find(propid); it != pending_.end()) {
            value = it->second;
        } else if (oid_ != 0) {
            Store store;
            int rc = store.status();
            if (rc == SQLITE_OK)
                rc = readProperty(store, oid_, propid, value);
            if (rc != SQLITE_OK)
                return rc;
        }
        if (value)
            if (auto* blob = std::get_if<std::vector<BYTE>>(&*value))
                bytes = std::move(*blob);
        return SQLITE_OK;
    }

    // A committed stream becomes a change of the item; an empty one removes
    // the property.
    void commitStream(CEPROPID propid, const std::vector<BYTE>& bytes)
    {
        std::lock_guard lock(mutex_);
        if (bytes.empty())
            pending_[propid] = std::nullopt;
        else
            pending_[propid] = PropValue(bytes);
    }

private:
    // The value a record holds for its property's type; false for a null
    // string or blob pointer.
    static bool valueOf(const CEPROPVAL& prop, PropValue& value)
    {
        switch (TypeFromPropID(prop.propid)) {
        case CEVT_I2:
            value.emplace<std::int64_t>(prop.val.iVal);
            return true;
        case CEVT_UI2:
            value.emplace<std::int64_t>(prop.val.uiVal);
            return true;
        case CEVT_I4:
            value.emplace<std::int64_t>(prop.val.lVal);
            return true;
        case CEVT_UI4:
            value.emplace<std::int64_t>(prop.val.ulVal);
            return true;
        case CEVT_BOOL:
            value.emplace<std::int64_t>(prop.val.boolVal != 0 ? 1 : 0);
            return true;
        case CEVT_R8:
            value.emplace<double>(prop.val.dblVal);
            return true;
        case CEVT_FILETIME:
            value.emplace<std::int64_t>(static_cast<std::int64_t>((ULONGLONG{prop.val.filetime.dwHighDateTime} << 32) |
                                                                  prop.val.filetime.dwLowDateTime));
            return true;
        case CEVT_LPWSTR:
            if (!prop.val.lpwstr)
                return false;
            value.emplace<std::u16string>(prop.val.lpwstr);
            return true;
        case CEVT_BLOB:
            if (!prop.val.blob.lpb && prop.val.blob.dwCount)
                return false;
            value.emplace<std::vector<BYTE>>(prop.val.blob.lpb, prop.val.blob.lpb + prop.val.blob.dwCount);
            return true;
        default:
            return false;
        }
    }

    std::mutex mutex_;
    CEOID oid_;
    PropChanges pending_;
};

PictureStream::PictureStream(ContactItem* item, std::vector<BYTE> data, DWORD mode)
    : item_(item), data_(std::move(data)), mode_(mode)
{
    item_->AddRef();
}

PictureStream::~PictureStream()
{
    item_->Release();
}

HRESULT PictureStream::Commit(DWORD)
{
    if (mode_ & GENERIC_WRITE)
        item_->commitStream(PIMPR_PICTURE, data_);
    return S_OK;
}

HRESULT PictureStream::Revert()
{
    std::optional<std::vector<BYTE>> bytes;
    if (const int rc = item_->currentStream(PIMPR_PICTURE, bytes); rc != SQLITE_OK)
        return toHresult(rc);
    data_ = bytes.value_or(std::vector<BYTE>{});
    position_ = std::min(position_, data_.size());
    return S_OK;
}

}  // namespace

HRESULT newContactObject(CEOID oid, REFIID riid, void** ppv)
{
    return handset::com::handOut(new (std::nothrow) ContactItem(oid), riid, ppv);
}

}  // namespace handset::pim
