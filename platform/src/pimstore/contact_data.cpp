#include "pimstore/contact_data.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

#include <handset/pimstore.h>
#include <handset/wstring.h>

namespace handset::pim {

namespace {

// A phone number matches on its last seven digits; shorter numbers only
// match themselves.
constexpr std::size_t kMatchDigits = 7;

// Named properties take the high words from 0x8000 on, so they never meet
// the built-in ids; 0xFFFF stays free for PIMPR_INVALID_ID's sake.
constexpr std::int64_t kLastNameSlot = 0xFFFE;

constexpr CEPROPID kBuiltInProperties[] = {
    PIMPR_FIRST_NAME, PIMPR_MIDDLE_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME,
    PIMPR_RINGTONE,   PIMPR_CATEGORIES,  PIMPR_PICTURE,
};

int stepDone(Statement&& statement)
{
    const int rc = statement.step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int stepDone(Statement& statement)
{
    const int rc = statement.step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void bindValue(Statement& statement, const PropValue& value)
{
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::u16string>)
                statement.bind(std::u16string_view(v));
            else if constexpr (std::is_same_v<T, std::vector<BYTE>>)
                statement.bind(std::span<const std::uint8_t>(v));
            else
                statement.bind(v);
        },
        value);
}

// The stored value of a column, read as the property's type wants it.
PropValue columnValue(const Statement& statement, int column, WORD type)
{
    switch (statement.type(column)) {
    case SQLITE_INTEGER:
        return statement.integer(column);
    case SQLITE_FLOAT:
        return statement.real(column);
    default:
        break;
    }
    if (type == CEVT_LPWSTR)
        return statement.string(column);
    const auto bytes = statement.blob(column);
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

std::string reversed(std::string text)
{
    std::reverse(text.begin(), text.end());
    return text;
}

std::string tailKey(const std::string& reversedDigits)
{
    return reversedDigits.substr(0, std::min(reversedDigits.size(), kMatchDigits));
}

std::size_t phoneRank(CEPROPID propid)
{
    const auto* begin = std::begin(kContactPhoneProperties);
    const auto* end = std::end(kContactPhoneProperties);
    return static_cast<std::size_t>(std::find(begin, end, propid) - begin);
}

std::u16string foldedName(std::u16string_view name)
{
    return foldCase(name);
}

int findCategory(Store& store, std::u16string_view name, CEOID& recid)
{
    auto find = store.statement(Sql::FindCategory);
    find.bind(std::u16string_view(foldedName(name)));
    const int rc = find.step();
    if (rc == SQLITE_DONE)
        return kMissing;
    if (rc != SQLITE_ROW)
        return rc;
    recid = static_cast<CEOID>(find.integer(0));
    return SQLITE_OK;
}

int insertCategory(Store& store, std::u16string_view name, CEOID& recid)
{
    const std::u16string folded = foldedName(name);
    auto insert = store.statement(Sql::InsertCategory);
    insert.bind(name).bind(std::u16string_view(folded));
    const int rc = stepDone(insert);
    if (rc == SQLITE_OK)
        recid = static_cast<CEOID>(store.lastInsertRowid());
    return rc;
}

int writePhoneIndex(Store& store, CEOID oid, CEPROPID propid, const std::optional<PropValue>& value)
{
    int rc = stepDone(store.statement(Sql::DeletePhone).bind(std::int64_t{oid}).bind(std::int64_t{propid}));
    if (rc != SQLITE_OK || !value)
        return rc;
    const auto* number = std::get_if<std::u16string>(&*value);
    if (!number)
        return SQLITE_OK;
    const std::string digits = reversed(phoneDigits(*number));
    if (digits.empty())
        return SQLITE_OK;  // nothing a caller ID could ever match
    const std::string tail = tailKey(digits);
    return stepDone(store.statement(Sql::InsertPhone)
                        .bind(std::int64_t{oid})
                        .bind(std::int64_t{propid})
                        .bindText(tail)
                        .bindText(digits));
}

template <typename Body>
int inWrite(Store& store, Body&& body)
{
    const int rc = store.beginWrite();
    if (rc != SQLITE_OK)
        return store.endWrite(rc);
    return store.endWrite(body());
}

}  // namespace

bool isValueType(WORD type)
{
    switch (type) {
    case CEVT_I2:
    case CEVT_I4:
    case CEVT_R8:
    case CEVT_BOOL:
    case CEVT_UI2:
    case CEVT_UI4:
    case CEVT_LPWSTR:
    case CEVT_FILETIME:
    case CEVT_BLOB:
        return true;
    default:
        return false;
    }
}

bool isPhoneProperty(CEPROPID propid)
{
    return phoneRank(propid) < std::size(kContactPhoneProperties);
}

bool isBuiltInContactProperty(CEPROPID propid)
{
    return isPhoneProperty(propid) ||
           std::find(std::begin(kBuiltInProperties), std::end(kBuiltInProperties), propid) !=
               std::end(kBuiltInProperties);
}

int isKnownContactProperty(Store& store, CEPROPID propid, bool& known)
{
    known = isBuiltInContactProperty(propid);
    if (known || IdFromPropID(propid) < 0x8000)
        return SQLITE_OK;
    auto find = store.statement(Sql::FindNameById);
    find.bind(std::int64_t{propid});
    const int rc = find.step();
    known = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int contactExists(Store& store, CEOID oid)
{
    auto find = store.statement(Sql::ContactExists);
    find.bind(std::int64_t{oid});
    const int rc = find.step();
    if (rc == SQLITE_ROW)
        return SQLITE_OK;
    return rc == SQLITE_DONE ? kMissing : rc;
}

int readProperty(Store& store, CEOID oid, CEPROPID propid, std::optional<PropValue>& value)
{
    value.reset();
    auto read = store.statement(Sql::ReadProp);
    read.bind(std::int64_t{oid}).bind(std::int64_t{propid});
    const int rc = read.step();
    if (rc == SQLITE_DONE)
        return kMissing;
    if (rc != SQLITE_ROW)
        return rc;
    if (!read.isNull(0))
        value = columnValue(read, 0, TypeFromPropID(propid));
    return SQLITE_OK;
}

int readAllProperties(Store& store, CEOID oid, std::map<CEPROPID, PropValue>& values)
{
    values.clear();
    int rc = contactExists(store, oid);
    if (rc != SQLITE_OK)
        return rc;
    auto read = store.statement(Sql::ContactProps);
    read.bind(std::int64_t{oid});
    while ((rc = read.step()) == SQLITE_ROW) {
        const auto propid = static_cast<CEPROPID>(read.integer(0));
        values.emplace(propid, columnValue(read, 1, TypeFromPropID(propid)));
    }
    if (rc != SQLITE_DONE)
        values.clear();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int readEveryContact(Store& store, std::span<const CEPROPID> propids,
                     const std::function<int(CEOID, std::span<const PropRead>)>& each)
{
    std::vector<PropRead> reads(propids.size());
    for (std::size_t i = 0; i < propids.size(); ++i)
        reads[i].propid = propids[i];
    // The join gives each contact's properties one after the other (a
    // contact without any as one row of NULLs); object ids start at 1, so
    // 0 stands for "no contact yet".
    CEOID current = 0;
    const auto handOver = [&] {
        const int rc = each(current, reads);
        for (PropRead& read : reads)
            read.value.reset();
        return rc;
    };
    std::string asked = "[";
    for (const CEPROPID id : propids)
        asked += (asked.size() > 1 ? "," : "") + std::to_string(id);
    asked += "]";
    auto scan = store.statement(Sql::EveryContactProps);
    scan.bindText(asked);
    int rc;
    while ((rc = scan.step()) == SQLITE_ROW) {
        const auto oid = static_cast<CEOID>(scan.integer(0));
        if (oid != current) {
            if (current != 0 && (rc = handOver()) != SQLITE_OK)
                return rc;
            current = oid;
        }
        if (scan.isNull(1))
            continue;
        const auto propid = static_cast<CEPROPID>(scan.integer(1));
        const WORD type = TypeFromPropID(propid);
        if (!isValueType(type))
            continue;
        for (PropRead& read : reads)
            if (read.propid == propid)
                read.value = columnValue(scan, 2, type);
    }
    if (rc != SQLITE_DONE)
        return rc;
    return current != 0 ? handOver() : SQLITE_OK;
}

int saveContact(Store& store, CEOID& oid, const PropChanges& changes)
{
    CEOID saved = oid;
    const int rc = inWrite(store, [&]() -> int {
        int rc = SQLITE_OK;
        if (saved == 0) {
            rc = stepDone(store.statement(Sql::InsertContact));
            if (rc != SQLITE_OK)
                return rc;
            saved = static_cast<CEOID>(store.lastInsertRowid());
        } else if ((rc = contactExists(store, saved)) != SQLITE_OK) {
            return rc;
        }
        for (const auto& [propid, value] : changes) {
            if (value) {
                auto write = store.statement(Sql::WriteProp);
                write.bind(std::int64_t{saved}).bind(std::int64_t{propid});
                bindValue(write, *value);
                rc = stepDone(write);
            } else {
                rc = stepDone(store.statement(Sql::DeleteProp).bind(std::int64_t{saved}).bind(std::int64_t{propid}));
            }
            if (rc == SQLITE_OK && isPhoneProperty(propid))
                rc = writePhoneIndex(store, saved, propid, value);
            if (rc == SQLITE_OK && propid == PIMPR_CATEGORIES && value)
                if (const auto* list = std::get_if<std::u16string>(&*value))
                    rc = ensureCategories(store, *list);
            if (rc != SQLITE_OK)
                return rc;
        }
        return SQLITE_OK;
    });
    if (rc == SQLITE_OK)
        oid = saved;
    return rc;
}

int deleteContact(Store& store, CEOID oid)
{
    return inWrite(store, [&]() -> int {
        int rc = contactExists(store, oid);
        if (rc == SQLITE_OK)
            rc = stepDone(store.statement(Sql::DeleteContactPhones).bind(std::int64_t{oid}));
        if (rc == SQLITE_OK)
            rc = stepDone(store.statement(Sql::DeleteContactProps).bind(std::int64_t{oid}));
        if (rc == SQLITE_OK)
            rc = stepDone(store.statement(Sql::DeleteContact).bind(std::int64_t{oid}));
        return rc;
    });
}

int listContacts(Store& store, std::vector<CEOID>& oids)
{
    oids.clear();
    auto list = store.statement(Sql::ListContacts);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        oids.push_back(static_cast<CEOID>(list.integer(0)));
    if (rc != SQLITE_DONE)
        oids.clear();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int resolveNames(Store& store, const std::vector<std::u16string>& names, std::optional<WORD> createType,
                 NameResolution& result)
{
    auto& cache = store.namedCache();
    result = NameResolution{};
    result.ids.assign(names.size(), PIMPR_INVALID_ID);
    // Inside a caller's transaction (an import) a name found or made may
    // still be rolled back, so only names seen outside one are cached.
    const bool committed = sqlite3_get_autocommit(store.db()) != 0;

    // Looks a name up in the cache, then in the volume.
    auto lookUp = [&](const std::u16string& name, CEPROPID& id) -> int {
        if (auto it = cache.find(name); it != cache.end()) {
            id = it->second;
            return SQLITE_OK;
        }
        auto find = store.statement(Sql::FindName);
        find.bind(std::u16string_view(name));
        const int rc = find.step();
        if (rc == SQLITE_DONE)
            return kMissing;
        if (rc != SQLITE_ROW)
            return rc;
        id = static_cast<CEPROPID>(find.integer(0));
        if (committed)
            cache.emplace(name, id);
        return SQLITE_OK;
    };

    std::vector<std::size_t> toCreate;
    for (std::size_t i = 0; i < names.size(); ++i) {
        CEPROPID id = PIMPR_INVALID_ID;
        const int rc = lookUp(names[i], id);
        if (rc == kMissing) {
            if (createType)
                toCreate.push_back(i);
            else
                result.missing = true;
            continue;
        }
        if (rc != SQLITE_OK)
            return rc;
        result.ids[i] = id;
    }

    if (!toCreate.empty()) {
        // Made under the write lock, looked up again inside it: another
        // process may have made the same name a moment ago, and a name must
        // get exactly one id.
        std::vector<std::pair<std::u16string, CEPROPID>> made;
        const int rc = inWrite(store, [&]() -> int {
            for (std::size_t i : toCreate) {
                CEPROPID id = PIMPR_INVALID_ID;
                auto find = store.statement(Sql::FindName);
                find.bind(std::u16string_view(names[i]));
                int rc = find.step();
                if (rc == SQLITE_ROW) {
                    id = static_cast<CEPROPID>(find.integer(0));
                } else if (rc == SQLITE_DONE) {
                    auto next = store.statement(Sql::NextNameSlot);
                    if ((rc = next.step()) != SQLITE_ROW)
                        return rc;
                    const std::int64_t slot = next.integer(0);
                    if (slot > kLastNameSlot)
                        return SQLITE_FULL;
                    id = MakePropID(static_cast<WORD>(slot), *createType);
                    rc = stepDone(store.statement(Sql::InsertName)
                                      .bind(std::u16string_view(names[i]))
                                      .bind(std::int64_t{id}));
                    if (rc != SQLITE_OK)
                        return rc;
                } else {
                    return rc;
                }
                made.emplace_back(names[i], id);
                result.ids[i] = id;
            }
            return SQLITE_OK;
        });
        if (rc != SQLITE_OK) {
            result.ids.assign(names.size(), PIMPR_INVALID_ID);
            return rc;
        }
        if (committed)
            for (auto& [name, id] : made)
                cache.emplace(std::move(name), id);
    }

    if (createType) {
        for (auto& id : result.ids) {
            if (id != PIMPR_INVALID_ID && TypeFromPropID(id) != *createType) {
                id = PIMPR_INVALID_ID;
                result.typeMismatch = true;
            }
        }
    }
    return SQLITE_OK;
}

std::string phoneDigits(std::u16string_view number)
{
    std::string digits;
    for (char16_t c : number)
        if (c >= u'0' && c <= u'9')
            digits += static_cast<char>(c);
    return digits;
}

int findContactByPhone(Store& store, std::u16string_view text, CEOID& oid, CEPROPID& phoneProperty)
{
    const std::string wanted = reversed(phoneDigits(text));
    if (wanted.empty())
        return kMissing;

    auto find = store.statement(Sql::FindPhone);
    find.bindText(tailKey(wanted));
    struct Best {
        std::size_t run = 0;
        CEOID oid = 0;
        CEPROPID propid = 0;
    } best;
    int rc;
    while ((rc = find.step()) == SQLITE_ROW) {
        const auto candidateOid = static_cast<CEOID>(find.integer(0));
        const auto candidateProp = static_cast<CEPROPID>(find.integer(1));
        const std::string_view digits = find.text(2);
        // Every row under the same tail is a match (seven equal final digits,
        // or the same short number); the longest common run decides.
        const auto mismatch = std::mismatch(wanted.begin(), wanted.end(), digits.begin(), digits.end());
        const auto run = static_cast<std::size_t>(mismatch.first - wanted.begin());
        const bool better = run > best.run ||
                            (run == best.run && (candidateOid < best.oid ||
                                                 (candidateOid == best.oid &&
                                                  phoneRank(candidateProp) < phoneRank(best.propid))));
        if (best.oid == 0 || better)
            best = {run, candidateOid, candidateProp};
    }
    if (rc != SQLITE_DONE)
        return rc;
    if (best.oid == 0)
        return kMissing;
    oid = best.oid;
    phoneProperty = best.propid;
    return SQLITE_OK;
}

std::u16string trimCategory(std::u16string_view name)
{
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    std::size_t begin = 0;
    std::size_t end = name.size();
    while (begin < end && blank(name[begin]))
        ++begin;
    while (end > begin && blank(name[end - 1]))
        --end;
    return std::u16string(name.substr(begin, end - begin));
}

std::vector<std::u16string> splitCategories(std::u16string_view list)
{
    std::vector<std::u16string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(u',', start);
        if (comma == std::u16string_view::npos)
            comma = list.size();
        std::u16string name = trimCategory(list.substr(start, comma - start));
        if (!name.empty())
            names.push_back(std::move(name));
        start = comma + 1;
    }
    return names;
}

int ensureCategories(Store& store, std::u16string_view list)
{
    for (const auto& name : splitCategories(list)) {
        CEOID recid = 0;
        int rc = findCategory(store, name, recid);
        if (rc == kMissing)
            rc = insertCategory(store, name, recid);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

int addCategoryRecord(Store& store, std::u16string_view name, CEOID& recid)
{
    return inWrite(store, [&]() -> int {
        CEOID existing = 0;
        const int rc = findCategory(store, name, existing);
        if (rc == SQLITE_OK)
            return SQLITE_CONSTRAINT;
        if (rc != kMissing)
            return rc;
        return insertCategory(store, name, recid);
    });
}

int deleteCategoryRecord(Store& store, std::u16string_view name)
{
    return inWrite(store, [&]() -> int {
        CEOID recid = 0;
        int rc = findCategory(store, name, recid);
        if (rc != SQLITE_OK)
            return rc;
        rc = stepDone(store.statement(Sql::DeleteCategory).bind(std::int64_t{recid}));
        if (rc != SQLITE_OK)
            return rc;

        // The contacts that name it lose it, so that their next save does
        // not bring the record back. The other names keep their spelling.
        const std::u16string folded = foldedName(trimCategory(name));
        std::vector<std::pair<CEOID, std::u16string>> rewrites;
        {
            auto scan = store.statement(Sql::PropsOfType);
            scan.bind(std::int64_t{PIMPR_CATEGORIES});
            while ((rc = scan.step()) == SQLITE_ROW) {
                const std::u16string list = scan.string(1);
                std::u16string kept;
                bool dropped = false;
                std::size_t start = 0;
                while (start <= list.size()) {
                    std::size_t comma = list.find(u',', start);
                    if (comma == std::u16string::npos)
                        comma = list.size();
                    const std::u16string_view part = std::u16string_view(list).substr(start, comma - start);
                    if (foldedName(trimCategory(part)) == folded) {
                        dropped = true;
                    } else if (!trimCategory(part).empty()) {
                        if (!kept.empty())
                            kept += u',';
                        kept += part;
                    }
                    start = comma + 1;
                }
                if (dropped)
                    rewrites.emplace_back(static_cast<CEOID>(scan.integer(0)), trimCategory(kept));
            }
            if (rc != SQLITE_DONE)
                return rc;
        }
        for (const auto& [oid, list] : rewrites) {
            rc = stepDone(store.statement(Sql::WriteProp)
                              .bind(std::int64_t{oid})
                              .bind(std::int64_t{PIMPR_CATEGORIES})
                              .bind(std::u16string_view(list)));
            if (rc != SQLITE_OK)
                return rc;
        }
        return SQLITE_OK;
    });
}

int listCategoryRecords(Store& store, std::vector<CategoryRecord>& records)
{
    records.clear();
    auto list = store.statement(Sql::ListCategories);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        records.push_back({static_cast<CEOID>(list.integer(0)), list.string(1)});
    if (rc != SQLITE_DONE)
        records.clear();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int categoryAt(Store& store, std::int64_t index, CEOID& recid)
{
    if (index < 0)
        return kMissing;
    auto at = store.statement(Sql::CategoryAt);
    at.bind(index);
    const int rc = at.step();
    if (rc == SQLITE_DONE)
        return kMissing;
    if (rc != SQLITE_ROW)
        return rc;
    recid = static_cast<CEOID>(at.integer(0));
    return SQLITE_OK;
}

int categoryIndex(Store& store, CEOID recid, std::int64_t& index)
{
    auto find = store.statement(Sql::CategoryIndex);
    find.bind(std::int64_t{recid});
    const int rc = find.step();
    if (rc == SQLITE_DONE)
        return kMissing;
    if (rc != SQLITE_ROW)
        return rc;
    index = find.integer(0);
    return SQLITE_OK;
}

int categoryCount(Store& store, std::int64_t& count)
{
    auto find = store.statement(Sql::CategoryCount);
    const int rc = find.step();
    if (rc != SQLITE_ROW)
        return rc;
    count = find.integer(0);
    return SQLITE_OK;
}

int categoryName(Store& store, CEOID recid, std::u16string& name)
{
    auto find = store.statement(Sql::CategoryName);
    find.bind(std::int64_t{recid});
    const int rc = find.step();
    if (rc == SQLITE_DONE)
        return kMissing;
    if (rc != SQLITE_ROW)
        return rc;
    name = find.string(0);
    return SQLITE_OK;
}

}  // namespace handset::pim
