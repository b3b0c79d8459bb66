// The phone's contacts: the application object "PocketOutlook.Application"
// and the interfaces reached from it, over the device's contacts volume
// "pim.vol".
//
//   CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2, &app);
//   app->Logon(0);
//   FindMatchingContact(app, u"+49 151 1234567", FMCF_FINDPHONE, &item, &phoneProp);
//   item->GetProps(&PIMPR_RINGTONE, 0, 1, &values, &cbBuffer, nullptr);
//
// Every object may be used from any thread. One connection per process
// serves all of them; each call is one transaction of its own.
//
// Items. A contact is one item, with the interfaces IItem (properties) and
// IContact (its object id). SetProps and a committed picture stream change
// the item only; Save writes every change of the item in one transaction,
// and an item released without Save writes nothing.
//
// Properties. A property id carries its type in its low word (CEVT_...).
// Strings are UTF-16 and may be of any length. Named properties (resolved by
// GetIDsFromNames) get ids from 0x8000 upwards in their high word; each name
// is created once, with the type it was first asked with, and keeps its id
// for the life of the volume. The picture is a stream property: read and
// written through OpenProperty only (GetProps reports it not found).
#pragma once

#include <handset/cedb.h>
#include <handset/com.h>


enum OlDefaultFolders {
    olFolderCalendar = 9,
    olFolderContacts = 10,
    olFolderTasks = 13,
};

enum OlItemType {
    olAppointmentItem = 1,
    olContactItem = 2,
    olTaskItem = 3,
};

// FindMatchingContact: match the text against the contacts' phone numbers.
constexpr DWORD FMCF_FINDPHONE = 0x00000001;

// GetIDsFromNames: create the names that do not exist yet, with the type in
// the low word of the flags (PIM_CREATE | CEVT_UI2).
constexpr ULONG PIM_CREATE = 0x00010000;

// The id GetIDsFromNames gives a name it could not resolve.
constexpr CEPROPID PIMPR_INVALID_ID = 0x0000FFFF;

// Contact properties: names, company, tones, categories, picture.
constexpr CEPROPID PIMPR_FIRST_NAME = 0x0082001F;
constexpr CEPROPID PIMPR_MIDDLE_NAME = 0x0083001F;
constexpr CEPROPID PIMPR_LAST_NAME = 0x0084001F;
constexpr CEPROPID PIMPR_COMPANY_NAME = 0x008A001F;
constexpr CEPROPID PIMPR_RINGTONE = 0x00A8001F;     // full path of the contact's ring tone
constexpr CEPROPID PIMPR_CATEGORIES = 0x101D001F;   // comma-separated category names
constexpr CEPROPID PIMPR_PICTURE = 0x00FF0064;      // CEVT_STREAM: the picture file's bytes

// The phone numbers of a contact card, all strings as the user typed them.
constexpr CEPROPID PIMPR_ASSISTANT_TELEPHONE_NUMBER = 0x0090001F;
constexpr CEPROPID PIMPR_BUSINESS_TELEPHONE_NUMBER = 0x0091001F;   // work
constexpr CEPROPID PIMPR_BUSINESS2_TELEPHONE_NUMBER = 0x0092001F;  // work 2
constexpr CEPROPID PIMPR_BUSINESS_FAX_NUMBER = 0x0093001F;
constexpr CEPROPID PIMPR_CAR_TELEPHONE_NUMBER = 0x0094001F;
constexpr CEPROPID PIMPR_COMPANY_TELEPHONE_NUMBER = 0x0095001F;
constexpr CEPROPID PIMPR_HOME_TELEPHONE_NUMBER = 0x0096001F;
constexpr CEPROPID PIMPR_HOME2_TELEPHONE_NUMBER = 0x0097001F;
constexpr CEPROPID PIMPR_HOME_FAX_NUMBER = 0x0098001F;
constexpr CEPROPID PIMPR_MOBILE_TELEPHONE_NUMBER = 0x0099001F;
constexpr CEPROPID PIMPR_PAGER_NUMBER = 0x009A001F;
constexpr CEPROPID PIMPR_RADIO_TELEPHONE_NUMBER = 0x009B001F;

// Every phone property, in the order a tie between two equally good matches
// of FindMatchingContact is decided in (for one contact) and tools list them.
inline constexpr CEPROPID kContactPhoneProperties[] = {
    PIMPR_MOBILE_TELEPHONE_NUMBER,    PIMPR_HOME_TELEPHONE_NUMBER,      PIMPR_BUSINESS_TELEPHONE_NUMBER,
    PIMPR_HOME2_TELEPHONE_NUMBER,     PIMPR_BUSINESS2_TELEPHONE_NUMBER, PIMPR_CAR_TELEPHONE_NUMBER,
    PIMPR_RADIO_TELEPHONE_NUMBER,     PIMPR_COMPANY_TELEPHONE_NUMBER,   PIMPR_ASSISTANT_TELEPHONE_NUMBER,
    PIMPR_PAGER_NUMBER,               PIMPR_HOME_FAX_NUMBER,            PIMPR_BUSINESS_FAX_NUMBER,
};

// A contact's properties. The buffer a read fills is the caller's: records
// first (one CEPROPVAL per property asked for), then the strings and blobs
// they point to; propBufferSize (cedb.h) gives the size for a given longest
// string. A property the contact does not have gets CEDB_PROPNOTFOUND in
// wFlags and a zero value.
struct IItem : IUnknown {
    // Reads `cProps` properties into the buffer *prgVals of *pcbBuffer bytes
    // (ulFlags 0; hHeap ignored). S_OK also when some are not found.
    // HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) with the needed size in
    // *pcbBuffer when the buffer is short or *prgVals is null (a size query);
    // the buffer is then untouched. HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when
    // the contact was deleted. E_INVALIDARG for null arguments or flags.
    // The buffer must be aligned as a CEPROPVAL; *pcbBuffer is left as given
    // on success, so that one buffer serves the reads of many items.
    virtual HRESULT GetProps(const CEPROPID* rgPropID, ULONG ulFlags, WORD cProps, CEPROPVAL** prgVals,
                             ULONG* pcbBuffer, HANDLE hHeap) = 0;

    // Changes properties of the item (written by Save). wFlags
    // CEDB_PROPDELETE removes a property. All or nothing: E_INVALIDARG for an
    // unknown property id (a built-in one above or a named one that exists),
    // a stream property, a null string or blob pointer, or ulFlags other than 0.
    virtual HRESULT SetProps(ULONG ulFlags, WORD cProps, CEPROPVAL* rgVals) = 0;

    // Writes the item's changes in one transaction; a new item gets its
    // object id. Category names that the contacts volume does not know yet
    // become category records. HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when the
    // contact was deleted meanwhile.
    virtual HRESULT Save() = 0;

    // Deletes the contact with all its properties. A new, unsaved item
    // just forgets its changes.
    virtual HRESULT Delete() = 0;

    // Opens a stream property (PIMPR_PICTURE) for GENERIC_READ,
    // GENERIC_WRITE or both. The stream holds a copy of the value; its
    // Commit hands the bytes to the item (Save writes them) and a commit of
    // an empty stream removes the property. Reading a picture the contact
    // does not have: HRESULT_FROM_WIN32(ERROR_NOT_FOUND). E_INVALIDARG for
    // any other property or mode.
    virtual HRESULT OpenProperty(CEPROPID propID, DWORD dwMode, IStream** ppStream) = 0;
};

// The contact as the folder's collection hands it out; QueryInterface
// reaches IItem.
struct IContact : IDispatch {
    // The contact's object id, 0 before its first Save.
    virtual HRESULT get_Oid(LONG* poid) = 0;
};

struct IPOutlookItemCollection : IDispatch {
    // The number of items, taken when the collection was made: the
    // collection is a snapshot of the folder.
    virtual HRESULT get_Count(int* pnCount) = 0;
    // The item at a 1-based index, as an IContact; E_INVALIDARG outside 1..Count.
    virtual HRESULT Item(int iIndex, IDispatch** ppPOutlookItem) = 0;
};

struct IFolder : IDispatch {
    // The folder's items, in the order they were made.
    virtual HRESULT get_Items(IPOutlookItemCollection** ppolItems) = 0;
    virtual HRESULT get_DefaultItemType(int* polItem) = 0;
};

// Every operation but Logon and Logoff answers E_UNEXPECTED until Logon has
// succeeded. Items keep working after Logoff.
struct IPOutlookApp : IDispatch {
    // Opens the contacts volume. E_FAIL when it cannot be opened. hWnd is
    // not used (no window ever shows). A second Logon succeeds again.
    virtual HRESULT Logon(LONG hWnd) = 0;
    // Always S_OK.
    virtual HRESULT Logoff() = 0;
    // The contacts folder (olFolderContacts); E_INVALIDARG for any other
    // folder: the platform keeps only contacts.
    virtual HRESULT GetDefaultFolder(int olFolder, IFolder** ppIFolder) = 0;
    // A new, unsaved contact (olContactItem only) as an IContact.
    virtual HRESULT CreateItem(int olItem, IDispatch** ppPOutlookItem) = 0;
    // The contact with that object id as an IContact;
    // HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when there is none.
    virtual HRESULT GetItemFromOid(LONG oid, IDispatch** ppPOutlookItem) = 0;
};

struct IPOutlookApp2 : IPOutlookApp {
    // Resolves named properties. With PIM_CREATE in ulFlags a missing name
    // is created with the type in the flags' low word; without it, a missing
    // name gets PIMPR_INVALID_ID and the call returns S_FALSE. A name that
    // exists with another type than the one to create it with gets
    // PIMPR_INVALID_ID and the call returns E_INVALIDARG (the other names
    // are still resolved). E_INVALIDARG too for null or empty names, no
    // names, or a type that is not a value type.
    virtual HRESULT GetIDsFromNames(ULONG cPropNames, LPCWSTR const* rgszPropNames, ULONG ulFlags,
                                    CEPROPID* rgPropIDs) = 0;
    // The contact with that object id as an IItem (ulFlags 0);
    // HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when there is none.
    virtual HRESULT GetItemFromOidEx(ULONG oidItem, ULONG ulFlags, IItem** ppItem) = 0;
};

// Proposes the contact whose phone number matches `pszFind` (FMCF_FINDPHONE),
// the way a phone matches a caller ID. Only digits count, compared from the
// right: a number matches when the last seven digits agree, or when the two
// digit strings are equal where either has fewer than seven digits. Among
// several matches the longest common run of final digits wins; then the
// oldest contact, then the order of kContactPhoneProperties. *ppropid (may
// be null) receives the phone property that matched. The cost does not grow
// with the number of contacts.
// HRESULT_FROM_WIN32(ERROR_NOT_FOUND) and a null *ppContact when nothing
// matches (a text without digits included); E_INVALIDARG for other flags or
// an application object of another kind; E_UNEXPECTED before Logon.
HRESULT FindMatchingContact(IPOutlookApp* pPOOM, LPCWSTR pszFind, DWORD dwFlags, IItem** ppContact,
                            CEPROPID* ppropid);

// The class of the application object, ProgID "PocketOutlook.Application".
inline constexpr CLSID CLSID_Application = {0x772DA377, 0x373F, 0x4805,
                                            {0xB0, 0x40, 0xF6, 0xF7, 0xDA, 0x57, 0x31, 0x14}};
inline constexpr IID IID_IPOutlookApp = {0xD8CCAF06, 0x0F2A, 0x435E,
                                         {0x9A, 0x2A, 0x48, 0x41, 0x0A, 0x23, 0xC7, 0x68}};
inline constexpr IID IID_IPOutlookApp2 = {0x909DD79F, 0x2E28, 0x4EB9,
                                          {0x96, 0xB1, 0xE8, 0x8A, 0x90, 0x25, 0x3A, 0x3E}};
inline constexpr IID IID_IFolder = {0xEAB3AC0A, 0x1340, 0x4FC0, {0xA0, 0x26, 0xF2, 0xE9, 0x7E, 0xA1, 0xFC, 0x8E}};
inline constexpr IID IID_IPOutlookItemCollection = {0x0C6009EF, 0x4305, 0x41D6,
                                                    {0xBB, 0x85, 0xCC, 0xA9, 0x79, 0x06, 0xF4, 0x67}};
inline constexpr IID IID_IContact = {0x6B358454, 0xFA52, 0x481E, {0x8F, 0x22, 0x47, 0x52, 0xCA, 0xD4, 0xF6, 0x99}};
inline constexpr IID IID_IItem = {0xB07611D3, 0x799B, 0x4084, {0xBF, 0x02, 0xB1, 0x94, 0xCE, 0x90, 0x26, 0x4C}};
