// The phone's telephony line API (TAPI 2.0 line functions), the part that
// programs on the device use to watch their line devices and calls.
//
//   HLINEAPP app = 0;
//   DWORD devices = 0;
//   lineInitialize(&app, instance, onLineEvent, nullptr, &devices);
//   lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00020000, &version, &extension);
//   lineOpen(app, 0, &line, version, 0, 0, LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE, nullptr);
//
// The line devices belong to the device's radio (a resident program, see
// handset/radio.h); every line application of every process talks to it over
// the device's run/radio.sock. All functions here are synchronous: they
// return 0 or a negative LINEERR_ code, never a request id.
//
// Line events reach the callback given to lineInitialize on a thread of the
// telephony library, one thread per line application, one event at a time
// and in the order the radio sent them. The radio waits (a bounded time) for
// each callback to return before it goes on with the call, so that what a
// callback writes is in place before the phone rings.
#pragma once

#include <handset/errors.h>
#include <handset/types.h>

using HLINEAPP = DWORD;
using LPHLINEAPP = HLINEAPP*;
using HLINE = DWORD;
using LPHLINE = HLINE*;
using HCALL = DWORD;
using LPHCALL = HCALL*;

// hDevice is the line handle for line messages and the call handle for
// call messages (LINE_CALLINFO, LINE_CALLSTATE).
using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD dwInstance, DWORD dwParam1, DWORD dwParam2,
                              DWORD dwParam3);

constexpr DWORD TAPI_CURRENT_VERSION = 0x00020000;

// ---------------------------------------------------------------------------
// Errors (negative LONGs, with TAPI's values)

constexpr LONG LINEERR_ALLOCATED = static_cast<LONG>(0x80000001);
constexpr LONG LINEERR_BADDEVICEID = static_cast<LONG>(0x80000002);
constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = static_cast<LONG>(0x8000000C);
constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = static_cast<LONG>(0x8000000D);
constexpr LONG LINEERR_INVALAPPHANDLE = static_cast<LONG>(0x80000014);
constexpr LONG LINEERR_INVALCALLHANDLE = static_cast<LONG>(0x80000018);
constexpr LONG LINEERR_INVALCALLSTATE = static_cast<LONG>(0x8000001C);
constexpr LONG LINEERR_INVALLINEHANDLE = static_cast<LONG>(0x8000002B);
constexpr LONG LINEERR_INVALMEDIAMODE = static_cast<LONG>(0x8000002F);
constexpr LONG LINEERR_INVALPARAM = static_cast<LONG>(0x80000032);
constexpr LONG LINEERR_INVALPOINTER = static_cast<LONG>(0x80000035);
constexpr LONG LINEERR_INVALPRIVSELECT = static_cast<LONG>(0x80000036);
constexpr LONG LINEERR_NODEVICE = static_cast<LONG>(0x80000042);
constexpr LONG LINEERR_NOMEM = static_cast<LONG>(0x80000044);
constexpr LONG LINEERR_OPERATIONFAILED = static_cast<LONG>(0x80000048);
constexpr LONG LINEERR_OPERATIONUNAVAIL = static_cast<LONG>(0x80000049);
constexpr LONG LINEERR_RESOURCEUNAVAIL = static_cast<LONG>(0x8000004B);
constexpr LONG LINEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x8000004D);
constexpr LONG LINEERR_UNINITIALIZED = static_cast<LONG>(0x80000050);

// ---------------------------------------------------------------------------
// Messages

constexpr DWORD LINE_ADDRESSSTATE = 0;
constexpr DWORD LINE_CALLINFO = 1;
constexpr DWORD LINE_CALLSTATE = 2;
constexpr DWORD LINE_CLOSE = 3;
constexpr DWORD LINE_LINEDEVSTATE = 8;
constexpr DWORD LINE_APPNEWCALL = 23;

// LINE_CALLSTATE dwParam1
constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;
constexpr DWORD LINECALLSTATE_UNKNOWN = 0x00008000;

// LINE_CALLSTATE dwParam2 for LINECALLSTATE_DISCONNECTED
constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x00000001;
constexpr DWORD LINEDISCONNECTMODE_REJECT = 0x00000004;
constexpr DWORD LINEDISCONNECTMODE_NOANSWER = 0x00000040;

// LINE_CALLINFO dwParam1: which parts of the call information changed.
constexpr DWORD LINECALLINFOSTATE_OTHER = 0x00000001;
constexpr DWORD LINECALLINFOSTATE_BEARERMODE = 0x00000004;
constexpr DWORD LINECALLINFOSTATE_RATE = 0x00000008;
constexpr DWORD LINECALLINFOSTATE_MEDIAMODE = 0x00000010;
constexpr DWORD LINECALLINFOSTATE_CALLID = 0x00000040;
constexpr DWORD LINECALLINFOSTATE_ORIGIN = 0x00000100;
constexpr DWORD LINECALLINFOSTATE_NUMMONITORS = 0x00002000;
constexpr DWORD LINECALLINFOSTATE_CALLERID = 0x00008000;
constexpr DWORD LINECALLINFOSTATE_CALLEDID = 0x00010000;

// lineOpen privileges; LINE_APPNEWCALL dwParam3 gives the one an application got.
constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x00000002;
constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x00000004;

constexpr DWORD LINEMEDIAMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;
constexpr DWORD LINEMEDIAMODE_AUTOMATEDVOICE = 0x00000008;
constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
constexpr DWORD LINEMEDIAMODE_G3FAX = 0x00000020;
// Every media mode TAPI 2.0 knows, for checking a lineOpen mask.
constexpr DWORD LINEMEDIAMODE_ALL_KNOWN = 0x00007FFE;

constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;

constexpr DWORD LINECALLPARTYID_BLOCKED = 0x00000001;
constexpr DWORD LINECALLPARTYID_OUTOFAREA = 0x00000002;
constexpr DWORD LINECALLPARTYID_NAME = 0x00000004;
constexpr DWORD LINECALLPARTYID_ADDRESS = 0x00000008;
constexpr DWORD LINECALLPARTYID_PARTIAL = 0x00000010;
constexpr DWORD LINECALLPARTYID_UNKNOWN = 0x00000020;
constexpr DWORD LINECALLPARTYID_UNAVAIL = 0x00000040;

constexpr DWORD LINECALLORIGIN_EXTERNAL = 0x00000004;
constexpr DWORD LINECALLORIGIN_INBOUND = 0x00000080;
constexpr DWORD LINECALLREASON_DIRECT = 0x00000001;

constexpr DWORD LINEADDRESSMODE_ADDRESSID = 0x00000001;
constexpr DWORD LINEOFFERINGMODE_ACTIVE = 0x00000001;

constexpr DWORD STRINGFORMAT_ASCII = 1;
constexpr DWORD STRINGFORMAT_UNICODE = 3;

// ---------------------------------------------------------------------------
// Structures
//
// The variable-size structures follow TAPI's rules: the caller sets
// dwTotalSize to the bytes it provides (at least the fixed part, else
// LINEERR_STRUCTURETOOSMALL). The call succeeds whenever the fixed part
// fits; dwNeededSize tells the bytes the whole information takes, and
// dwUsedSize the bytes written. When the variable part does not fit, none
// of it is written and its Size and Offset fields are 0; the caller asks
// again with dwNeededSize bytes. Nothing is ever written past dwTotalSize.
// Strings are UTF-16 with their terminator, sizes in bytes, offsets from the
// start of the structure.

struct LINEEXTENSIONID {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
};
using LPLINEEXTENSIONID = LINEEXTENSIONID*;

struct LINEDIALPARAMS {
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
};

struct LINEDEVCAPS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwLineFeatures;         // TAPI 1.4
    DWORD dwSettableDevStatus;    // TAPI 2.0
    DWORD dwDeviceClassesSize;    // TAPI 2.0
    DWORD dwDeviceClassesOffset;  // TAPI 2.0
};
using LPLINEDEVCAPS = LINEDEVCAPS*;
static_assert(sizeof(LINEDEVCAPS) == 252);

struct LINECALLINFO {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    HLINE hLine;
    DWORD dwLineDeviceID;
    DWORD dwAddressID;
    DWORD dwBearerMode;
    DWORD dwRate;
    DWORD dwMediaMode;
    DWORD dwAppSpecific;
    DWORD dwCallID;
    DWORD dwRelatedCallID;
    DWORD dwCallParamFlags;
    DWORD dwCallStates;
    DWORD dwMonitorDigitModes;
    DWORD dwMonitorMediaModes;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigin;
    DWORD dwReason;
    DWORD dwCompletionID;
    DWORD dwNumOwners;
    DWORD dwNumMonitors;
    DWORD dwCountryCode;
    DWORD dwTrunk;
    DWORD dwCallerIDFlags;
    DWORD dwCallerIDSize;
    DWORD dwCallerIDOffset;
    DWORD dwCallerIDNameSize;
    DWORD dwCallerIDNameOffset;
    DWORD dwCalledIDFlags;
    DWORD dwCalledIDSize;
    DWORD dwCalledIDOffset;
    DWORD dwCalledIDNameSize;
    DWORD dwCalledIDNameOffset;
    DWORD dwConnectedIDFlags;
    DWORD dwConnectedIDSize;
    DWORD dwConnectedIDOffset;
    DWORD dwConnectedIDNameSize;
    DWORD dwConnectedIDNameOffset;
    DWORD dwRedirectionIDFlags;
    DWORD dwRedirectionIDSize;
    DWORD dwRedirectionIDOffset;
    DWORD dwRedirectionIDNameSize;
    DWORD dwRedirectionIDNameOffset;
    DWORD dwRedirectingIDFlags;
    DWORD dwRedirectingIDSize;
    DWORD dwRedirectingIDOffset;
    DWORD dwRedirectingIDNameSize;
    DWORD dwRedirectingIDNameOffset;
    DWORD dwAppNameSize;
    DWORD dwAppNameOffset;
    DWORD dwDisplayableAddressSize;
    DWORD dwDisplayableAddressOffset;
    DWORD dwCalledPartySize;
    DWORD dwCalledPartyOffset;
    DWORD dwCommentSize;
    DWORD dwCommentOffset;
    DWORD dwDisplaySize;
    DWORD dwDisplayOffset;
    DWORD dwUserUserInfoSize;
    DWORD dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize;
    DWORD dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize;
    DWORD dwLowLevelCompOffset;
    DWORD dwChargingInfoSize;
    DWORD dwChargingInfoOffset;
    DWORD dwTerminalModesSize;
    DWORD dwTerminalModesOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwCallTreatment;            // TAPI 2.0
    DWORD dwCallDataSize;             // TAPI 2.0
    DWORD dwCallDataOffset;           // TAPI 2.0
    DWORD dwSendingFlowspecSize;      // TAPI 2.0
    DWORD dwSendingFlowspecOffset;    // TAPI 2.0
    DWORD dwReceivingFlowspecSize;    // TAPI 2.0
    DWORD dwReceivingFlowspecOffset;  // TAPI 2.0
};
using LPLINECALLINFO = LINECALLINFO*;
static_assert(sizeof(LINECALLINFO) == 324);

// Call parameters for lineOpen; this platform takes none (always null).
struct LINECALLPARAMS;
using LPLINECALLPARAMS = LINECALLPARAMS*;

// ---------------------------------------------------------------------------
// Functions

// Registers a line application: connects to the device's radio, starts the
// thread that delivers `lpfnCallback`, and reports how many line devices
// the device has in *lpdwNumDevs. hInstance and lpszAppName are not used.
// LINEERR_INVALPOINTER for a null handle, callback or count pointer;
// LINEERR_OPERATIONFAILED when the radio does not answer (the device is not
// running).
LONG lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback, LPCWSTR lpszAppName,
                    LPDWORD lpdwNumDevs);

// Agrees on the highest API version in [low, high] that the line supports;
// the extension id is zeroed (the lines have no extensions).
// LINEERR_INCOMPATIBLEAPIVERSION when there is none, LINEERR_BADDEVICEID
// for a device past the count.
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                             LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID);

// Fills the line's capabilities, with its name (UTF-16, terminated) at
// dwLineNameOffset; the size rules above. The fixed part is the TAPI 2.0
// structure, or the TAPI 1.4 one (without the last three fields) for
// dwAPIVersion 0x00010004. dwExtVersion must be 0.
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LPLINEDEVCAPS lpLineDevCaps);

// Opens a line device. dwPrivileges is LINECALLPRIVILEGE_NONE (no incoming
// calls reported), _MONITOR (every call is reported, none is owned), _OWNER
// (the first owner whose dwMediaModes include a call's media mode owns it)
// or _MONITOR | _OWNER; anything else is LINEERR_INVALPRIVSELECT.
// dwMediaModes counts only with _OWNER: LINEERR_INVALMEDIAMODE when it is 0
// or has modes the line lacks. dwCallbackInstance comes back with every
// event of the line. lpCallParams must be null.
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams);

// Fills the call's information as the radio has reported it so far: the
// caller ID (dwCallerIDFlags LINECALLPARTYID_ADDRESS, the number at
// dwCallerIDOffset) once it has been reported, the media mode, the owners
// and monitors. The size rules above. A call handle stays valid until the
// call's LINECALLSTATE_IDLE event has been delivered.
LONG lineGetCallInfo(HCALL hCall, LPLINECALLINFO lpCallInfo);

// Closes a line: once it returns, no event of the line reaches the callback
// (a callback of the line still running on another thread is waited for).
LONG lineClose(HLINE hLine);

// Closes the application's lines and ends it: once it returns, its
// callback is never called again.
LONG lineShutdown(HLINEAPP hLineApp);
