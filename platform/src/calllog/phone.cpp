// The phone's call log functions over the call log database. An open log
// is one state of the database, read only as far as its reader goes: a
// program that wants the last few minutes of calls reads those and no more,
// and calls that end meanwhile do not shift the records under it.
#include <handset/phone.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <new>
#include <set>

#include <handset/memory.h>

#include "calllog/calllog.h"

namespace {

using handset::calllog::Entry;
using handset::calllog::Outcome;

struct OpenLog {
    std::unique_ptr<handset::calllog::Reader> reader;
    std::size_t position = 0;  // counted from the newest
};

std::mutex handlesMutex;
std::set<OpenLog*>& handles()
{
    static auto* open = new std::set<OpenLog*>;
    return *open;
}

// The open log behind `h`, with the handles locked; null for a handle that
// is not one.
OpenLog* find(HANDLE h)
{
    auto* log = static_cast<OpenLog*>(h);
    return handles().count(log) ? log : nullptr;
}

FILETIME fileTime(std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    return {static_cast<DWORD>(bits & 0xFFFFFFFF), static_cast<DWORD>(bits >> 32)};
}

// A copy for the caller to LocalFree; null for no text. False when memory
// ran out.
bool copyOut(const std::optional<std::u16string>& text, LPWSTR& out)
{
    out = nullptr;
    if (!text)
        return true;
    out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text->size() + 1) * sizeof(WCHAR)));
    if (!out)
        return false;
    std::memcpy(out, text->c_str(), (text->size() + 1) * sizeof(WCHAR));
    return true;
}

}  // namespace

HRESULT PhoneOpenCallLog(HANDLE* ph)
{
    if (!ph)
        return E_INVALIDARG;
    *ph = nullptr;
    auto* log = new (std::nothrow) OpenLog;
    if (!log)
        return E_OUTOFMEMORY;
    std::string error;
    log->reader = handset::calllog::Reader::open(error);
    if (!log->reader) {
        delete log;
        return E_FAIL;
    }
    std::lock_guard lock(handlesMutex);
    handles().insert(log);
    *ph = log;
    return S_OK;
}

HRESULT PhoneCloseCallLog(HANDLE h)
{
    std::lock_guard lock(handlesMutex);
    OpenLog* log = find(h);
    if (!log)
        return E_HANDLE;
    handles().erase(log);
    delete log;
    return S_OK;
}

HRESULT PhoneSeekCallLog(HANDLE h, CALLLOGSEEK seek, DWORD iRecord, LPDWORD piRecord)
{
    std::lock_guard lock(handlesMutex);
    OpenLog* log = find(h);
    if (!log)
        return E_HANDLE;
    if (seek != CALLLOGSEEK_BEGINNING && seek != CALLLOGSEEK_END)
        return E_INVALIDARG;
    std::size_t position = iRecord;
    if (seek == CALLLOGSEEK_END) {
        const std::optional<std::size_t> count = log->reader->count();
        if (!count || iRecord >= *count)
            return E_FAIL;
        position = *count - 1 - iRecord;
    } else if (!log->reader->at(position)) {
        return E_FAIL;
    }
    log->position = position;
    if (piRecord)
        *piRecord = static_cast<DWORD>(log->position);
    return S_OK;
}

HRESULT PhoneGetCallLogEntry(HANDLE h, PCALLLOGENTRY pentry)
{
    std::lock_guard lock(handlesMutex);
    OpenLog* log = find(h);
    if (!log)
        return E_HANDLE;
    if (!pentry || pentry->cbSize != sizeof(CALLLOGENTRY))
        return E_INVALIDARG;
    const Entry* found = log->reader->at(log->position);
    if (!found)
        return log->reader->error().empty() ? S_FALSE : E_FAIL;
    const Entry& entry = *found;
    CALLLOGENTRY out{};
    out.cbSize = sizeof(CALLLOGENTRY);
    out.ftStartTime = fileTime(entry.start);
    out.ftEndTime = fileTime(entry.end);
    out.iom = entry.outgoing ? IOM_OUTGOING : entry.outcome == Outcome::Missed ? IOM_MISSED : IOM_INCOMING;
    out.fOutgoing = entry.outgoing;
    out.fConnected = entry.outcome == Outcome::Answered;
    out.fEnded = entry.outcome != Outcome::Rejected;
    out.fRoam = false;
    out.cidt = entry.callerIdType;
    if (!copyOut(entry.number, out.pszNumber) || !copyOut(entry.name, out.pszName) ||
        !copyOut(entry.nameType, out.pszNameType)) {
        LocalFree(out.pszNumber);
        LocalFree(out.pszName);
        LocalFree(out.pszNameType);
        return E_OUTOFMEMORY;
    }
    *pentry = out;
    ++log->position;
    return S_OK;
}
