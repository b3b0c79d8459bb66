#include "menu_bar.h"

namespace tonquil {

HWND createMenuBar(CWnd& owner, UINT menuId)
{
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = owner.m_hWnd;
    bar.nToolBarId = menuId;
    bar.hInstRes = AfxGetInstanceHandle();
    return SHCreateMenuBar(&bar) ? bar.hwndMB : nullptr;
}

}  // namespace tonquil
