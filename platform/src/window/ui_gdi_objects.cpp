// The framework's drawing objects: fonts, bitmaps and device contexts, each
// holding an object of the window layer's GDI.
#include <memory>
#include <vector>

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

namespace {

// One frame per message being handled, the innermost last; the first frame
// holds what was asked for outside every message.
thread_local std::vector<std::vector<std::unique_ptr<CDC>>> gTemporaries(1);

}  // namespace

namespace handset::ui {

TemporaryScope::TemporaryScope()
{
    gTemporaries.emplace_back();
}

TemporaryScope::~TemporaryScope()
{
    gTemporaries.pop_back();
    if (gTemporaries.size() == 1)
        gTemporaries.front().clear();
}

std::size_t temporaryHolderCount()
{
    std::size_t count = 0;
    for (const auto& frame : gTemporaries)
        count += frame.size();
    return count;
}

}  // namespace handset::ui

CDC* CDC::FromHandle(HDC hdc)
{
    // A holder of an outer message serves the inner ones too: it outlives them.
    for (const auto& frame : gTemporaries)
        for (const auto& holder : frame)
            if (holder->m_hDC == hdc)
                return holder.get();
    return gTemporaries.back().emplace_back(std::make_unique<CDC>(hdc)).get();
}

BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF crColor)
{
    DeleteObject();
    m_hObject = ::CreatePen(nPenStyle, nWidth, crColor);
    return m_hObject ? TRUE : FALSE;
}

BOOL CPen::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

BOOL CBrush::CreateSolidBrush(COLORREF crColor)
{
    DeleteObject();
    m_hObject = ::CreateSolidBrush(crColor);
    return m_hObject ? TRUE : FALSE;
}

BOOL CBrush::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

CFont* CDC::GetCurrentFont()
{
    LOGFONTW lf{};
    HGDIOBJ font = GetCurrentObject(m_hDC, OBJ_FONT);
    if (!font || ::GetObject(font, sizeof lf, &lf) != sizeof lf)
        return nullptr;
    if (!m_currentFont)
        m_currentFont = std::make_unique<CFont>();
    m_currentFont->CreateFontIndirect(&lf);
    return m_currentFont.get();
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF clr)
{
    ::SetBkColor(m_hDC, clr);
    HBRUSH brush = ::CreateSolidBrush(clr);
    ::FillRect(m_hDC, lpRect, brush);
    ::DeleteObject(brush);
}

SIZE CDC::GetTextExtent(const std::u16string& text) const
{
    SIZE size{0, 0};
    ::GetTextExtentPoint32(m_hDC, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    if (m_hDC)
        ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr)
{
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}
