// The framework's drawing objects: fonts, bitmaps and device contexts, each
// holding an object of the window layer's GDI.
#include <map>
#include <memory>

#include "ui_internal.h"

CFont::~CFont()
{
    DeleteObject();
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* lpLogFont)
{
    if (!lpLogFont)
        return FALSE;
    DeleteObject();
    m_hObject = ::CreateFontIndirect(lpLogFont);
    return m_hObject ? TRUE : FALSE;
}

BOOL CFont::GetLogFont(LOGFONTW* pLogFont) const
{
    return m_hObject && pLogFont && ::GetObject(m_hObject, sizeof(LOGFONTW), pLogFont) == sizeof(LOGFONTW);
}

BOOL CFont::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

CBitmap::~CBitmap()
{
    DeleteObject();
}

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    DeleteObject();
    m_hObject = ::LoadBitmap(nullptr, MAKEINTRESOURCE(nIDResource));
    return m_hObject ? TRUE : FALSE;
}

BOOL CBitmap::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

int CBitmap::GetBitmap(BITMAP* pBitMap) const
{
    return m_hObject ? ::GetObject(m_hObject, sizeof(BITMAP), pBitMap) : 0;
}

CDC::~CDC()
{
    if (m_owned)
        DeleteDC();
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    if (m_owned)
        DeleteDC();
    m_hDC = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
    m_owned = m_hDC != nullptr;
    return m_hDC ? TRUE : FALSE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    const BOOL ok = ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_owned = false;
    return ok;
}

CDC* CDC::FromHandle(HDC hdc)
{
    // Temporary holders, one per context ever asked for; they own nothing.
    static std::map<HDC, std::unique_ptr<CDC>> holders;
    auto& holder = holders[hdc];
    if (!holder)
        holder = std::make_unique<CDC>(hdc);
    return holder.get();
}
