#include "call_monitor.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string_view>

#include "ring_settings.h"

namespace tolvane {

namespace {

constexpr DWORD kApiVersion = 0x00020000;
constexpr WCHAR kCellularLine[] = u"Cellular Line";
constexpr DWORD kFirstDevCapsSize = 292;
constexpr DWORD kFirstCallInfoSize = 328;
constexpr std::size_t kCallerIdCapacity = 256;  // characters, with the terminator

// Service-wide state. The handles are touched only on the window thread
// (start and stop); the rest only by the line callback, which the telephony
// library never runs twice at once.
HLINEAPP lineApp = 0;
HLINE line = 0;
DWORD lastCallInfoState = 0;
// The call the last call-information event was about: a previous call's
// last mask says nothing about a new call.
DWORD lastCallInfoCall = 0;
WCHAR callerId[kCallerIdCapacity];
// Set on the window thread, read on the callback's.
std::atomic<IPOutlookApp*> contacts{nullptr};

// A variable-size telephony structure: a zeroed buffer of `size` bytes with
// its total size set.
template <typename Structure>
Structure* allocateStructure(DWORD size)
{
    auto* structure = static_cast<Structure*>(::operator new(size, std::nothrow));
    if (!structure)
        return nullptr;
    std::memset(structure, 0, size);
    structure->dwTotalSize = size;
    return structure;
}

void freeStructure(void* structure)
{
    ::operator delete(structure);
}

// Whether the text of `size` bytes at `offset` lies inside what the call
// filled.
template <typename Structure>
bool inside(const Structure* structure, DWORD offset, DWORD size)
{
    return offset >= sizeof(DWORD) * 3 && offset <= structure->dwUsedSize &&
           size <= structure->dwUsedSize - offset && structure->dwUsedSize <= structure->dwTotalSize;
}

// Whether device `device` is the line named "Cellular Line" (case-sensitive).
bool isCellularLine(DWORD device)
{
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    if (lineNegotiateAPIVersion(lineApp, device, kApiVersion, kApiVersion, &version, &extension) != 0)
        return false;

    auto* caps = allocateStructure<LINEDEVCAPS>(kFirstDevCapsSize);
    if (!caps)
        return false;
    const LONG first = lineGetDevCaps(lineApp, device, kApiVersion, 0, caps);
    const DWORD needed = caps->dwNeededSize;
    freeStructure(caps);
    if (first != 0)
        return false;

    caps = allocateStructure<LINEDEVCAPS>(std::max<DWORD>(needed, sizeof(LINEDEVCAPS)));
    if (!caps)
        return false;
    bool matches = false;
    if (lineGetDevCaps(lineApp, device, kApiVersion, 0, caps) == 0 &&
        inside(caps, caps->dwLineNameOffset, caps->dwLineNameSize)) {
        const auto* name = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(caps) + caps->dwLineNameOffset);
        std::size_t length = caps->dwLineNameSize / sizeof(WCHAR);
        if (length > 0 && name[length - 1] == u'\0')
            --length;
        matches = std::u16string_view(name, length) == kCellularLine;
    }
    freeStructure(caps);
    return matches;
}

// Copies the call's caller ID (at most 255 characters) into the buffer;
// leaves it empty when the call information cannot be had.
void fetchCallerId(HCALL call)
{
    auto* info = allocateStructure<LINECALLINFO>(kFirstCallInfoSize);
    if (!info)
        return;
    LONG rc = lineGetCallInfo(call, info);
    if (rc == 0 && info->dwNeededSize > info->dwTotalSize) {
        const DWORD needed = info->dwNeededSize;
        freeStructure(info);
        info = allocateStructure<LINECALLINFO>(needed);
        if (!info)
            return;
        rc = lineGetCallInfo(call, info);
    }
    if (rc == 0 && info->dwCallerIDSize != 0 && inside(info, info->dwCallerIDOffset, info->dwCallerIDSize)) {
        const auto* text = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(info) + info->dwCallerIDOffset);
        const std::size_t available = info->dwCallerIDSize / sizeof(WCHAR);
        for (std::size_t i = 0; i < available && i < kCallerIdCapacity - 1 && text[i] != u'\0'; ++i)
            callerId[i] = text[i];
    }
    freeStructure(info);
}

}  // namespace

void setCallMonitorContacts(IPOutlookApp* app)
{
    contacts.store(app);
}

LONG startCallMonitor(HINSTANCE instance)
{
    // Register the callback; without a line application there is nothing to do.
    DWORD devices = 0;
    LONG rc = lineInitialize(&lineApp, instance, onLineEvent, nullptr, &devices);
    if (rc != 0) {
        lineApp = 0;
        return rc;
    }

    // The last device called "Cellular Line"; device 0 when none is.
    DWORD chosen = 0;
    for (DWORD device = 0; device < devices; ++device) {
        if (isCellularLine(device))
            chosen = device;
    }

    // Watch it without ever owning a call.
    rc = lineOpen(lineApp, chosen, &line, kApiVersion, 0, 0, LINECALLPRIVILEGE_MONITOR,
                  LINEMEDIAMODE_INTERACTIVEVOICE, nullptr);
    if (rc != 0) {
        if (line)
            lineClose(line);
        lineShutdown(lineApp);
        line = 0;
        lineApp = 0;
        return rc;
    }
    return 0;
}

LONG stopCallMonitor()
{
    if (line) {
        lineClose(line);
        line = 0;
    }
    if (lineApp) {
        lineShutdown(lineApp);
        lineApp = 0;
    }
    return 0;
}

void onLineEvent(DWORD hDevice, DWORD dwMsg, DWORD, DWORD dwParam1, DWORD, DWORD)
{
    // Only changes of call information matter; call states do not.
    if (dwMsg != LINE_CALLINFO)
        return;

    // The mask tells what changed; it is read bit by bit, since the
    // caller ID may arrive together with other changes.
    const DWORD mask = dwParam1;
    const DWORD previous = hDevice == lastCallInfoCall ? lastCallInfoState : 0;

    // The caller ID has arrived: ring for this caller.
    if (mask & LINECALLINFOSTATE_CALLERID) {
        std::memset(callerId, 0, sizeof callerId);
        fetchCallerId(hDevice);
        applyRingSettings(contacts.load(), callerId);
    }

    // The media mode is known and no caller ID has come with it or
    // before it on this call: ring as for a call without caller ID.
    if ((mask & LINECALLINFOSTATE_MEDIAMODE) && !(mask & LINECALLINFOSTATE_CALLERID) &&
        !(previous & LINECALLINFOSTATE_CALLERID))
        applyRingSettings(contacts.load(), nullptr);

    // Every call-information event is remembered.
    lastCallInfoState = mask;
    lastCallInfoCall = hDevice;
}

}  // namespace tolvane
