// The message store on the device's "cemail.vol": the store object, its
// messages and their properties.
//
//   messages        one row per message; AUTOINCREMENT, so that the entry id
//                   of a removed message never names another one
//   message_props   (message, property tag) -> value: INTEGER, or BLOB
//                   (strings as UTF-16 code units, binaries as bytes)
//
// Everything a caller gives is bound as a parameter, never put into SQL
// text. A message object reads its properties once, when it is opened.
#include <handset/message_store.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <handset/clock.h>
#include <handset/com_ptr.h>

#include "core/database.h"

namespace handset {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS messages(
  id     INTEGER PRIMARY KEY AUTOINCREMENT,
  folder INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS message_props(
  id    INTEGER NOT NULL,
  tag   INTEGER NOT NULL,
  value NOT NULL,
  PRIMARY KEY(id, tag)
) WITHOUT ROWID;
)sql";

enum Sql : std::size_t {
    InsertMessage,  // folder
    InsertProp,     // id, tag, value
    MessageProps,   // id -> tag, value; no rows and MessageExists false: no such message
    MessageExists,  // id -> 1
    Begin,
    Commit,
};

constexpr const char* kStatements[] = {
    "INSERT INTO messages(folder) VALUES (?1)",
    "INSERT INTO message_props(id, tag, value) VALUES (?1, ?2, ?3)",
    "SELECT tag, value FROM message_props WHERE id = ?1 ORDER BY tag",
    "SELECT 1 FROM messages WHERE id = ?1",
    "BEGIN IMMEDIATE",
    "COMMIT",
};

// The store's one folder.
constexpr std::int64_t kInbox = 1;

// The store's identity, the middle of every entry id it makes.
constexpr BYTE kStoreIdentity[16] = {0x54, 0x51, 0x4D, 0x53, 0x2D, 0x53, 0x4D, 0x53,
                                     0x9B, 0x3E, 0x47, 0x0C, 0xA1, 0x62, 0x58, 0xD4};
constexpr std::size_t kEntryIdSize = 4 + sizeof kStoreIdentity + 8;

constexpr faults::Store kFaultStore = faults::Store::Messages;

detail::DeviceDatabase& database()
{
    static auto* store = new detail::DeviceDatabase("cemail.vol", kFaultStore, kSchema, kStatements);
    return *store;
}

// The one place where storage failures become MAPI's codes.
HRESULT toHresult(int sqliteCode)
{
    switch (sqliteCode & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return S_OK;
    case SQLITE_NOMEM:
        return MAPI_E_NOT_ENOUGH_MEMORY;
    default:
        return MAPI_E_CALL_FAILED;
    }
}

std::vector<BYTE> makeEntryId(std::int64_t number)
{
    std::vector<BYTE> id(kEntryIdSize, 0);
    std::memcpy(id.data() + 4, kStoreIdentity, sizeof kStoreIdentity);
    auto value = static_cast<std::uint64_t>(number);
    for (std::size_t i = 0; i < 8; ++i, value >>= 8)
        id[4 + sizeof kStoreIdentity + i] = static_cast<BYTE>(value & 0xFF);
    return id;
}

// The message number in an entry id this store made; nothing for any other.
std::optional<std::int64_t> numberOf(ULONG size, const ENTRYID* entryId)
{
    if (!entryId || size != kEntryIdSize)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const BYTE*>(entryId);
    if (bytes[0] || bytes[1] || bytes[2] || bytes[3] ||
        std::memcmp(bytes + 4, kStoreIdentity, sizeof kStoreIdentity) != 0)
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 8; i-- > 0;)
        value = (value << 8) | bytes[4 + sizeof kStoreIdentity + i];
    if (value == 0 || value > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    return static_cast<std::int64_t>(value);
}

// FILETIME: 100-nanosecond steps since 1601-01-01, UTC, on the device clock.
std::int64_t deliveryTime()
{
    using namespace std::chrono;
    constexpr std::int64_t kUnixEpochIn1601 = 116444736000000000LL;
    const auto now = system_clock::now() + clockOffset();
    return kUnixEpochIn1601 + duration_cast<nanoseconds>(now.time_since_epoch()).count() / 100;
}

// ---------------------------------------------------------------------------
// Properties

// A property as stored; its type (in the tag) says which field holds it.
struct Property {
    ULONG tag = 0;
    std::int64_t number = 0;
    std::u16string text;
    std::vector<BYTE> bytes;
};

Property numberProperty(ULONG tag, std::int64_t number)
{
    Property prop;
    prop.tag = tag;
    prop.number = number;
    return prop;
}

Property textProperty(ULONG tag, std::u16string text)
{
    Property prop;
    prop.tag = tag;
    prop.text = std::move(text);
    return prop;
}

Property bytesProperty(ULONG tag, std::vector<BYTE> bytes)
{
    Property prop;
    prop.tag = tag;
    prop.bytes = std::move(bytes);
    return prop;
}

bool isStringType(ULONG type)
{
    return type == PT_UNICODE || type == PT_STRING8;
}

// What GetProps answers from a set of properties; shared by the store and
// its messages.
HRESULT answerProps(const std::vector<Property>& props, LPSPropTagArray tags, ULONG flags, ULONG* count,
                    LPSPropValue* values)
{
    if (!count || !values)
        return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    if ((flags & ~MAPI_UNICODE) != 0)
        return MAPI_E_UNKNOWN_FLAGS;
    if (tags && tags->cValues == 0)
        return MAPI_E_INVALID_PARAMETER;

    // Without a tag array every property is asked for, as it is stored.
    std::vector<ULONG> wanted;
    if (tags)
        wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    else
        for (const Property& prop : props)
            wanted.push_back(prop.tag);
    if (wanted.empty())
        return MAPI_E_NOT_FOUND;  // nothing to answer with

    LPSPropValue out = nullptr;
    if (MAPIAllocateBuffer(static_cast<ULONG>(wanted.size() * sizeof(SPropValue)), reinterpret_cast<void**>(&out)) !=
        S_OK)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    bool errors = false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const ULONG tag = wanted[i];
        SPropValue& value = out[i];
        auto refuse = [&](HRESULT why) {
            value.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
            value.Value.err = why;
            errors = true;
        };
        const Property* found = nullptr;
        for (const Property& prop : props)
            if (PROP_ID(prop.tag) == PROP_ID(tag))
                found = &prop;
        const ULONG asked = PROP_TYPE(tag);
        const ULONG stored = found ? PROP_TYPE(found->tag) : PT_UNSPECIFIED;
        if (!found || (asked != PT_UNSPECIFIED && asked != stored && !(isStringType(asked) && isStringType(stored)))) {
            refuse(MAPI_E_NOT_FOUND);
            continue;
        }
        if (isStringType(stored)) {
            // This platform's strings are UTF-16 only.
            if ((flags & MAPI_UNICODE) == 0) {
                refuse(MAPI_E_NO_SUPPORT);
                continue;
            }
            const std::u16string& text = found->text;
            void* copy = nullptr;
            if (MAPIAllocateMore(static_cast<ULONG>((text.size() + 1) * sizeof(WCHAR)), out, &copy) != S_OK) {
                MAPIFreeBuffer(out);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
            value.ulPropTag = PROP_TAG(PT_UNICODE, PROP_ID(tag));
            value.Value.lpszW = static_cast<LPWSTR>(copy);
        } else if (stored == PT_BINARY) {
            const std::vector<BYTE>& bytes = found->bytes;
            void* copy = nullptr;
            if (MAPIAllocateMore(static_cast<ULONG>(bytes.size()), out, &copy) != S_OK) {
                MAPIFreeBuffer(out);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            if (!bytes.empty())
                std::memcpy(copy, bytes.data(), bytes.size());
            value.ulPropTag = found->tag;
            value.Value.bin.cb = static_cast<ULONG>(bytes.size());
            value.Value.bin.lpb = static_cast<LPBYTE>(copy);
        } else {
            const std::int64_t number = found->number;
            value.ulPropTag = found->tag;
            if (stored == PT_SYSTIME) {
                value.Value.ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(number) & 0xFFFFFFFFu);
                value.Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(number) >> 32);
            } else if (stored == PT_BOOLEAN) {
                value.Value.b = number ? 1 : 0;
            } else {
                value.Value.l = static_cast<LONG>(number);
            }
        }
    }
    *count = static_cast<ULONG>(wanted.size());
    *values = out;
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

// ---------------------------------------------------------------------------
// Objects

class Message final : public com::Object<IMessage, IID_IMAPIProp, IID_IMessage> {
public:
    explicit Message(std::vector<Property> props) : props_(std::move(props)) {}

    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override
    {
        return answerProps(props_, tags, flags, count, values);
    }

private:
    const std::vector<Property> props_;
};

// A message's properties as stored, with its entry id; MAPI_E_NOT_FOUND when
// there is no such message.
HRESULT readMessage(std::int64_t number, std::vector<Property>& props)
{
    detail::DeviceDatabase& db = database();
    std::lock_guard lock(db.mutex());
    if (const int rc = db.open(); rc != SQLITE_OK)
        return toHresult(rc);
    {
        auto exists = db.statement(MessageExists);
        exists.bind(number);
        const int rc = exists.step();
        if (rc == SQLITE_DONE)
            return MAPI_E_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return toHresult(rc);
    }
    auto read = db.statement(MessageProps);
    read.bind(number);
    int rc;
    while ((rc = read.step()) == SQLITE_ROW) {
        const auto tag = static_cast<ULONG>(read.integer(0));
        const ULONG type = PROP_TYPE(tag);
        if (isStringType(type))
            props.push_back(textProperty(PROP_TAG(PT_UNICODE, PROP_ID(tag)), read.string(1)));
        else if (type == PT_BINARY) {
            const auto blob = read.blob(1);
            props.push_back(bytesProperty(tag, std::vector<BYTE>(blob.begin(), blob.end())));
        } else
            props.push_back(numberProperty(tag, read.integer(1)));
    }
    if (rc != SQLITE_DONE)
        return toHresult(rc);
    props.push_back(bytesProperty(PR_ENTRYID, makeEntryId(number)));
    return S_OK;
}

class MessageStore final : public com::Object<IMsgStore, IID_IMAPIProp, IID_IMsgStore> {
public:
    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override
    {
        static const std::vector<Property> props = {textProperty(PR_DISPLAY_NAME, u"SMS")};
        return answerProps(props, tags, flags, count, values);
    }
    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        if (!lppUnk)
            return MAPI_E_INVALID_PARAMETER;
        *lppUnk = nullptr;
        // Messages are opened for reading whatever access is asked for; the
        // flags change nothing here.
        const auto number = numberOf(cbEntryID, lpEntryID);
        if (!number)
            return MAPI_E_INVALID_ENTRYID;
        if (lpInterface && !IsEqualIID(*lpInterface, IID_IMessage) && !IsEqualIID(*lpInterface, IID_IMAPIProp) &&
            !IsEqualIID(*lpInterface, IID_IUnknown))
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        std::vector<Property> props;
        if (const HRESULT hr = readMessage(*number, props); FAILED(hr))
            return hr;
        auto* message = new (std::nothrow) Message(std::move(props));
        if (!message)
            return MAPI_E_NOT_ENOUGH_MEMORY;
        *lppUnk = static_cast<IMessage*>(message);
        if (lpulObjType)
            *lpulObjType = MAPI_MESSAGE;
        return S_OK;
    }
};

}  // namespace

HRESULT openMessageStore(IMsgStore** ppStore)
{
    if (!ppStore)
        return MAPI_E_INVALID_PARAMETER;
    *ppStore = nullptr;
    {
        detail::DeviceDatabase& db = database();
        std::lock_guard lock(db.mutex());
        if (db.open() != SQLITE_OK)
            return MAPI_E_CALL_FAILED;
    }
    auto* store = new (std::nothrow) MessageStore;
    if (!store)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    *ppStore = store;
    return S_OK;
}

FiledMessage fileMessage(std::u16string_view sender, std::u16string_view text)
{
    FiledMessage filed;
    detail::DeviceDatabase& db = database();
    std::lock_guard lock(db.mutex());
    if (const int rc = db.open(); rc != SQLITE_OK) {
        filed.hr = toHresult(rc);
        return filed;
    }
    auto fail = [&](int rc) {
        db.execute("ROLLBACK");
        filed.hr = toHresult(rc);
        return filed;
    };
    if (const int rc = db.statement(Begin).step(); rc != SQLITE_DONE) {
        filed.hr = toHresult(rc);
        return filed;
    }
    {
        auto insert = db.statement(InsertMessage);
        insert.bind(kInbox);
        if (const int rc = insert.step(); rc != SQLITE_DONE)
            return fail(rc);
    }
    const std::int64_t number = sqlite3_last_insert_rowid(db.db());
    auto addProp = [&](ULONG tag, auto&& bindValue) {
        auto insert = db.statement(InsertProp);
        insert.bind(number).bind(static_cast<std::int64_t>(tag));
        bindValue(insert);
        return insert.step();
    };
    if (const int rc = addProp(PR_SENDER_EMAIL_ADDRESS, [&](detail::Statement& s) { s.bind(sender); });
        rc != SQLITE_DONE)
        return fail(rc);
    if (const int rc = addProp(PR_SUBJECT, [&](detail::Statement& s) { s.bind(text); }); rc != SQLITE_DONE)
        return fail(rc);
    const std::int64_t delivered = deliveryTime();
    if (const int rc = addProp(PR_MESSAGE_DELIVERY_TIME, [&](detail::Statement& s) { s.bind(delivered); });
        rc != SQLITE_DONE)
        return fail(rc);
    if (const int rc = db.statement(Commit).step(); rc != SQLITE_DONE)
        return fail(rc);
    filed.number = number;
    filed.entryId = makeEntryId(number);
    return filed;
}

}  // namespace handset
