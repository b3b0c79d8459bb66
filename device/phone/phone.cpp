// phone: the phone's call screen. The radio starts it when a call rings for
// a while, with the call's number and caller ID as its command line
// (call_screen_line.h); it shows the call until the call ends, then ends
// too. `handset screen --program phone` describes it, `handset input
// --program phone` taps its soft keys.
#include <handset/com.h>
#include <handset/log.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "call_screen.h"
#include "call_screen_line.h"

namespace {

std::u16string gCommandLine;

class CPhoneApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        const std::optional<phone::ShownCall> call = phone::parseCallScreenCommandLine(gCommandLine);
        if (!call) {
            handset::logLine("phone", "no call to show: the command line \"" + handset::toUtf8(gCommandLine) +
                                          "\" does not start with a call's number");
            m_exitCode = 1;
            return FALSE;
        }
        SHInitExtraControls();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            phone::CCallScreen screen(call->callId, phone::callerShown(call->callerId));
            m_pMainWnd = &screen;
            screen.DoModal();
            m_pMainWnd = nullptr;
        }
        CoUninitialize();
        return FALSE;
    }
    int ExitInstance() override { return m_exitCode; }

private:
    int m_exitCode = 0;
};

CPhoneApp theApp;

}  // namespace

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd)
{
    handset::setProgramName("phone");
    gCommandLine = lpCmdLine;
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
