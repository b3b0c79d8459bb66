#include "pimstore/prop_buffer.h"

#include <algorithm>
#include <cstring>

namespace handset::pim {

namespace {

// The bytes a value takes after the records (0 for values held in the record).
std::size_t dataSize(CEPROPID propid, const std::optional<PropValue>& value)
{
    if (!value)
        return 0;
    switch (TypeFromPropID(propid)) {
    case CEVT_LPWSTR:
        if (const auto* text = std::get_if<std::u16string>(&*value))
            return (text->size() + 1) * sizeof(WCHAR);
        return 0;
    case CEVT_BLOB:
        if (const auto* bytes = std::get_if<std::vector<BYTE>>(&*value))
            return bytes->size();
        return 0;
    default:
        return 0;
    }
}

std::size_t evenUp(std::size_t n)
{
    return (n + 1) & ~std::size_t{1};
}

WORD lengthWord(std::size_t bytes)
{
    return static_cast<WORD>(std::min<std::size_t>(bytes, 0xFFFF));
}

// Fills `record` from an integer value; false when the type is not an integer one.
bool fromInteger(CEPROPVAL& record, std::int64_t v)
{
    switch (TypeFromPropID(record.propid)) {
    case CEVT_I2:
        record.val.iVal = static_cast<SHORT>(v);
        return true;
    case CEVT_UI2:
        record.val.uiVal = static_cast<USHORT>(v);
        return true;
    case CEVT_I4:
        record.val.lVal = static_cast<LONG>(v);
        return true;
    case CEVT_UI4:
    case CEVT_RECID:
        record.val.ulVal = static_cast<ULONG>(v);
        return true;
    case CEVT_BOOL:
        record.val.boolVal = v != 0 ? TRUE : FALSE;
        return true;
    case CEVT_FILETIME:
        record.val.filetime.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(v));
        record.val.filetime.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(v) >> 32);
        return true;
    default:
        return false;
    }
}

}  // namespace

std::size_t packedSize(std::span<const PropRead> props)
{
    std::size_t size = props.size() * sizeof(CEPROPVAL);
    for (const auto& prop : props)
        size += evenUp(dataSize(prop.propid, prop.value));
    return size;
}

void packProps(std::span<const PropRead> props, BYTE* buffer)
{
    std::size_t data = props.size() * sizeof(CEPROPVAL);
    for (std::size_t i = 0; i < props.size(); ++i) {
        const PropRead& prop = props[i];
        CEPROPVAL record;
        std::memset(&record, 0, sizeof record);
        record.propid = prop.propid;
        bool found = false;
        if (prop.value) {
            const WORD type = TypeFromPropID(prop.propid);
            if (const auto* v = std::get_if<std::int64_t>(&*prop.value)) {
                found = fromInteger(record, *v);
            } else if (const auto* d = std::get_if<double>(&*prop.value)) {
                found = type == CEVT_R8;
                record.val.dblVal = found ? *d : 0.0;
            } else if (const auto* text = std::get_if<std::u16string>(&*prop.value); text && type == CEVT_LPWSTR) {
                const std::size_t bytes = (text->size() + 1) * sizeof(WCHAR);
                auto* target = reinterpret_cast<WCHAR*>(buffer + data);
                std::memcpy(target, text->c_str(), bytes);
                record.val.lpwstr = target;
                record.wLenData = lengthWord(bytes);
                data += evenUp(bytes);
                found = true;
            } else if (const auto* bytes = std::get_if<std::vector<BYTE>>(&*prop.value);
                       bytes && type == CEVT_BLOB) {
                record.val.blob.dwCount = static_cast<DWORD>(bytes->size());
                record.val.blob.lpb = buffer + data;
                if (!bytes->empty())
                    std::memcpy(buffer + data, bytes->data(), bytes->size());
                record.wLenData = lengthWord(bytes->size());
                data += evenUp(bytes->size());
                found = true;
            }
        }
        if (!found) {
            std::memset(&record.val, 0, sizeof record.val);
            record.wLenData = 0;
            record.wFlags = CEDB_PROPNOTFOUND;
        }
        std::memcpy(buffer + i * sizeof(CEPROPVAL), &record, sizeof record);
    }
}

}  // namespace handset::pim
