// Tonquil.exe: the configuration application's entry point.
#include <handset/process.h>

#include <app/tonquil_app.h>

namespace {

tonquil::CTonquilApp theApp;

}  // namespace

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
