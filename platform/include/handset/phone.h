// The phone's call log, as the phone's own call log functions show it: every
// call the phone offered or placed, newest first, with its number, the name
// the phone showed, when it started and ended and how it went.
//
// A program opens the log, seeks and reads entries one at a time and closes
// it. The strings of an entry are allocated by PhoneGetCallLogEntry and freed
// by the caller with LocalFree, as on the phone.
#pragma once

#include <handset/com.h>
#include <handset/memory.h>
#include <handset/types.h>

// How a call went, as the log's entries say it.
enum IOM {
    IOM_MISSED = 0,    // incoming, rang and was not answered (nor rejected)
    IOM_INCOMING = 1,  // incoming and answered
    IOM_OUTGOING = 2,  // placed by the phone
};

// Whether the caller's number was known.
enum CALLERIDTYPE {
    CALLERIDTYPE_UNAVAILABLE = 0,
    CALLERIDTYPE_BLOCKED = 1,
    CALLERIDTYPE_AVAILABLE = 2,
};

// Where PhoneSeekCallLog counts from.
enum CALLLOGSEEK {
    CALLLOGSEEK_BEGINNING = 2,  // the newest entry is record 0
    CALLLOGSEEK_END = 4,        // the oldest entry is record 0
};

struct CALLLOGENTRY {
    DWORD cbSize;           // set by the caller to sizeof(CALLLOGENTRY)
    FILETIME ftStartTime;   // device clock, as GetLocalTime tells it, when the call was offered or placed
    FILETIME ftEndTime;     // when it ended
    IOM iom;
    BOOL fOutgoing : 1;
    BOOL fConnected : 1;    // answered
    BOOL fEnded : 1;        // ended normally (not dropped by a rejection)
    BOOL fRoam : 1;
    CALLERIDTYPE cidt;
    LPWSTR pszNumber;       // the caller's number, or null without caller ID
    LPWSTR pszName;          // the contact's name when the call was offered, or null
    LPWSTR pszNameType;     // the kind of the matched number ("m" mobile, "w" work, "h" home), or null
    LPWSTR pszNote;          // null: the device keeps no call notes
};
using PCALLLOGENTRY = CALLLOGENTRY*;

// Opens the device's call log for reading; the position is the newest entry.
// The handle sees the log as it was when it was opened. E_FAIL when the log
// cannot be read. The log keeps the newest 500 calls.
HRESULT PhoneOpenCallLog(HANDLE* ph);
// E_HANDLE for a handle that is not an open call log.
HRESULT PhoneCloseCallLog(HANDLE h);
// Moves to record iRecord counted from `seek`; *piRecord gets the position
// counted from the newest entry. E_FAIL past the end.
HRESULT PhoneSeekCallLog(HANDLE h, CALLLOGSEEK seek, DWORD iRecord, LPDWORD piRecord);
// Reads the entry at the position and moves to the next older one; S_FALSE
// when there is none left, E_INVALIDARG unless pentry->cbSize is
// sizeof(CALLLOGENTRY). The entry's strings are the caller's to LocalFree.
HRESULT PhoneGetCallLogEntry(HANDLE h, PCALLLOGENTRY pentry);
