// The repeated-call rule's view of the phone's call log, through the phone's
// call log functions.
#include <settings/quiet_hours.h>

#include <handset/phone.h>

namespace settings {

namespace {

// Frees the strings PhoneGetCallLogEntry allocated for an entry.
void freeEntryStrings(CALLLOGENTRY& entry)
{
    for (LPWSTR* text : {&entry.pszNumber, &entry.pszName, &entry.pszNameType, &entry.pszNote}) {
        if (*text)
            LocalFree(*text);
        *text = nullptr;
    }
}

class PhoneCallLog final : public CallLog {
public:
    bool visitNewestFirst(const std::function<bool(const RecentCall&)>& visit) const override
    {
        HANDLE log = nullptr;
        if (FAILED(PhoneOpenCallLog(&log)) || !log)
            return false;
        // The log opens at its newest entry; each read moves one older.
        bool readable = true;
        for (;;) {
            CALLLOGENTRY entry{};
            entry.cbSize = sizeof entry;
            const HRESULT read = PhoneGetCallLogEntry(log, &entry);
            if (read == S_FALSE)
                break;
            if (FAILED(read)) {
                readable = false;
                break;
            }
            RecentCall call;
            const bool incoming = entry.iom != IOM_OUTGOING && !entry.fOutgoing;
            if (entry.pszNumber)
                call.number = entry.pszNumber;
            call.start = fileTimeTicks(entry.ftStartTime);
            call.answered = entry.fConnected;
            freeEntryStrings(entry);
            // Placed calls are no one's attempt to reach the phone.
            if (incoming && !visit(call))
                break;
        }
        PhoneCloseCallLog(log);
        return readable;
    }
};

}  // namespace

const CallLog& phoneCallLog()
{
    static const PhoneCallLog log;
    return log;
}

}  // namespace settings
