// The phone's message store, the part of MAPI that a mail rule client
// meets: the store, its messages and their properties, MAPI's buffer
// allocator, and the mail rule client interface that the messaging host
// calls for every arriving message.
//
//   store->OpenEntry(cbEntryID, lpEntryID, nullptr, 0, &objType, &unknown);
//   message->GetProps(&tags, MAPI_UNICODE, &count, &values);   // tags: {1, {PR_SENDER_EMAIL_ADDRESS}}
//   MAPIFreeBuffer(values);
//
// Interfaces hold only the operations that the platform's programs use; the
// slots keep MAPI's order among them.
#pragma once

#include <handset/com.h>
#include <handset/types.h>

using SCODE = HRESULT;
using LPCIID = const IID*;

// ---------------------------------------------------------------------------
// Entry ids: opaque to their users, made by the store.

struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

// ---------------------------------------------------------------------------
// Properties. A tag carries its type in its low word.

constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_SYSTIME = 0x0040;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_UNICODE = 0x001F;
constexpr ULONG PT_BINARY = 0x0102;

constexpr ULONG PROP_TYPE(ULONG tag) { return tag & 0xFFFF; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return (id << 16) | type; }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }

constexpr ULONG PR_SUBJECT = 0x0037001F;               // the text of an SMS
constexpr ULONG PR_SENDER_EMAIL_ADDRESS = 0x0C1F001F;  // the sender, as "Name <number>" or a bare number
constexpr ULONG PR_SENDER_NAME = 0x0C1A001F;
constexpr ULONG PR_MESSAGE_DELIVERY_TIME = 0x0E060040;
constexpr ULONG PR_ENTRYID = 0x0FFF0102;
constexpr ULONG PR_DISPLAY_NAME = 0x3001001F;          // of the store: "SMS"

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};

union PV {
    SHORT i;
    LONG l;
    ULONG ul;
    USHORT b;
    LPWSTR lpszW;
    char* lpszA;
    FILETIME ft;
    SBinary bin;
    SCODE err;
    LONGLONG li;
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

// GetProps flags.
constexpr ULONG MAPI_UNICODE = 0x80000000;

// Object types reported by OpenEntry.
constexpr ULONG MAPI_STORE = 0x00000001;
constexpr ULONG MAPI_FOLDER = 0x00000003;
constexpr ULONG MAPI_MESSAGE = 0x00000005;

// MAPI's own codes.
constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_NO_SUPPORT = static_cast<HRESULT>(0x80040102);
constexpr HRESULT MAPI_E_NOT_FOUND = static_cast<HRESULT>(0x8004010F);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = static_cast<HRESULT>(0x80040107);
constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = static_cast<HRESULT>(0x80040106);
constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
constexpr HRESULT MAPI_W_ERRORS_RETURNED = static_cast<HRESULT>(0x00040380);

// ---------------------------------------------------------------------------
// Buffers. A buffer from MAPIAllocateBuffer is freed whole by one
// MAPIFreeBuffer, with every MAPIAllocateMore block linked to it.

// A zero-filled block of cbSize bytes (0 gives a block too), aligned for any
// type. MAPI_E_INVALID_PARAMETER for a null output, MAPI_E_NOT_ENOUGH_MEMORY
// (output null) when there is no memory.
SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
// A block freed together with lpObject, the buffer that MAPIAllocateBuffer
// made (a block of MAPIAllocateMore is taken for the buffer it belongs to).
// MAPI_E_INVALID_PARAMETER for a null object or output.
SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
// Frees a buffer with its linked blocks; null is allowed. A block of
// MAPIAllocateMore is not freed on its own (it goes with its buffer).
// Returns 0.
ULONG MAPIFreeBuffer(LPVOID lpBuffer);

// ---------------------------------------------------------------------------
// Objects

struct IMAPIProp : IUnknown {
    // One SPropValue per tag asked for, in one MAPIAllocateBuffer block that
    // the caller frees. A property the object lacks comes back as a PT_ERROR
    // value holding MAPI_E_NOT_FOUND, and the call answers
    // MAPI_W_ERRORS_RETURNED. String tags are answered as PT_UNICODE with
    // MAPI_UNICODE and refused (MAPI_E_NO_SUPPORT) without it.
    virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                             LPSPropValue* lppPropArray) = 0;
};
using LPMAPIPROP = IMAPIProp*;

struct IMessage : IMAPIProp {};
using LPMESSAGE = IMessage*;

struct IMsgStore : IMAPIProp {
    // Opens the object with the given entry id. lpInterface null asks for
    // the object's own interface (IMessage for a message); *lpulObjType
    // tells which. MAPI_E_NOT_FOUND for an id the store does not hold,
    // MAPI_E_INVALID_ENTRYID for one it could never have made.
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
};
using LPMSGSTORE = IMsgStore*;

inline constexpr IID IID_IMAPIProp = {0x00020303, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMessage = {0x00020307, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMsgStore = {0x00020306, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---------------------------------------------------------------------------
// Mail rule clients: in-process COM servers that the messaging host creates
// for every class enrolled under HKEY_LOCAL_MACHINE
// "Software\Microsoft\Inbox\Svc\SMS\Rules" (a DWORD named by the class id,
// 1 = enrolled), initialises once and then calls for each arriving message.

enum MRCACCESS : int {
    MRC_ACCESS_NONE = 0,
    MRC_ACCESS_READ = 1,
    MRC_ACCESS_WRITE = 2,
};

enum MRCHANDLED : int {
    MRC_NOT_HANDLED = 0,          // the host files and announces the message as usual
    MRC_HANDLED_CONTINUE = 1,     // handled; the next rule client still sees it
    MRC_HANDLED_DONTCONTINUE = 2, // handled; no further rule client sees it
};

struct IMailRuleClient : IUnknown {
    virtual HRESULT Initialize(IMsgStore* pMsgStore, MRCACCESS* pmaDesired) = 0;
    virtual HRESULT ProcessMessage(IMsgStore* pMsgStore, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                                   LPENTRYID lpDestFolder, ULONG* pulEventType, MRCHANDLED* pHandled) = 0;
};

// The platform's interface id of mail rule clients.
inline constexpr IID IID_IMailRuleClient = {0x3AB4C10E, 0x673C, 0x494C,
                                            {0x98, 0xA2, 0xCC, 0x2E, 0x91, 0xA4, 0x8A, 0x1A}};

// The phone's notification class of text messages, under HKEY_CURRENT_USER
// "ControlPanel\Notifications\{A877D65B-239C-47a7-9304-0D347F580408}":
// "Wave" (the sound), "Options" (bit 0 sound, bit 1 vibrate, bit 3 show the
// message) and, on phones that can play it, "VibrateWithRingerOff" /
// "VibrateWithRingerOn".
inline constexpr WCHAR kSmsNotificationClassKey[] =
    u"ControlPanel\\Notifications\\{A877D65B-239C-47a7-9304-0D347F580408}";
constexpr DWORD NOTIFICATION_OPTION_SOUND = 0x1;
constexpr DWORD NOTIFICATION_OPTION_VIBRATE = 0x2;
constexpr DWORD NOTIFICATION_OPTION_DISPLAY = 0x8;
