// Menus: the framework's CMenu and the window layer's menu functions, over
// the items of MENU resources.
#include <map>
#include <memory>
#include <vector>

#include "ui_internal.h"

CMenu* CMenu::FromHandle(HMENU menu)
{
    static std::map<HMENU, std::unique_ptr<CMenu>> holders;
    if (!menu)
        return nullptr;
    auto& holder = holders[menu];
    if (!holder)
        holder = std::make_unique<CMenu>(menu);
    return holder.get();
}

CMenu* CMenu::GetSubMenu(int nPos)
{
    return FromHandle(::GetSubMenu(m_hMenu, nPos));
}

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    static std::vector<std::unique_ptr<HMENU__>> loaded;
    auto menu = handset::ui::loadMenu(nullptr, nIDResource);
    if (!menu)
        return FALSE;
    m_hMenu = menu.get();
    loaded.push_back(std::move(menu));
    return TRUE;
}

namespace {

HMENU__::Item* findItem(HMENU__* menu, UINT id)
{
    for (auto& item : menu->items) {
        if (!(item.flags & (MF_POPUP | MF_SEPARATOR)) && item.id == id)
            return &item;
        if (item.popup)
            if (HMENU__::Item* found = findItem(item.popup.get(), id))
                return found;
    }
    return nullptr;
}

}  // namespace

DWORD CheckMenuItem(HMENU hmenu, UINT uIDCheckItem, UINT uCheck)
{
    if (!hmenu)
        return static_cast<DWORD>(-1);
    HMENU__::Item* item = nullptr;
    if (uCheck & MF_BYPOSITION) {
        if (uIDCheckItem < hmenu->items.size())
            item = &hmenu->items[uIDCheckItem];
    } else {
        item = findItem(hmenu, uIDCheckItem);
    }
    if (!item)
        return static_cast<DWORD>(-1);
    const DWORD previous = item->flags & MF_CHECKED;
    item->flags = (item->flags & ~MF_CHECKED) | (uCheck & MF_CHECKED);
    return previous;
}

UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags)
{
    if (!hMenu)
        return static_cast<UINT>(-1);
    const HMENU__::Item* item = nullptr;
    if (uFlags & MF_BYPOSITION) {
        if (uId < hMenu->items.size())
            item = &hMenu->items[uId];
    } else {
        item = findItem(hMenu, uId);
    }
    return item ? item->flags : static_cast<UINT>(-1);
}

HMENU GetSubMenu(HMENU hMenu, int nPos)
{
    if (!hMenu || nPos < 0 || nPos >= static_cast<int>(hMenu->items.size()))
        return nullptr;
    return hMenu->items[static_cast<std::size_t>(nPos)].popup.get();
}

int GetMenuItemCount(HMENU hMenu)
{
    return hMenu ? static_cast<int>(hMenu->items.size()) : -1;
}

UINT GetMenuItemID(HMENU hMenu, int nPos)
{
    if (!hMenu || nPos < 0 || nPos >= static_cast<int>(hMenu->items.size()))
        return static_cast<UINT>(-1);
    const auto& item = hMenu->items[static_cast<std::size_t>(nPos)];
    if (item.popup)
        return static_cast<UINT>(-1);
    return (item.flags & MF_SEPARATOR) ? 0 : item.id;
}
