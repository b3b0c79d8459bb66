// The UI framework: dialogs from templates, sheets and pages, menu bars,
// the navigation bar, controls and owner drawing, on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTimeEdit>

#include <handset/ui.h>

#include <fstream>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "../ui_internal.h"
#include "test_device.h"

namespace {

template <class T>
T* control(CWnd* dialog, int id)
{
    CWnd* item = dialog->GetDlgItem(id);
    return item ? qobject_cast<T*>(item->widget()) : nullptr;
}

// A dialog that records what the framework tells it.
class RecordingDialog : public CDialog {
public:
    explicit RecordingDialog(UINT id) : CDialog(id) {}
    BOOL OnInitDialog() override
    {
        ++inits;
        CDialog::OnInitDialog();
        SHMENUBARINFO mbi{};
        mbi.cbSize = sizeof mbi;
        mbi.hwndParent = m_hWnd;
        mbi.nToolBarId = menuId;
        barMade = SHCreateMenuBar(&mbi);
        bar = mbi.hwndMB;
        return TRUE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands.push_back(static_cast<int>(wParam));
        return CDialog::OnCommand(wParam, lParam);
    }
    void OnSize(UINT type, int, int) override { sizes.push_back(type); }
    void OnInitMenuPopup(CMenu* menu, UINT index, BOOL) override
    {
        popups.push_back(static_cast<int>(index));
        if (menu)
            menu->CheckMenuItem(40001, MF_BYCOMMAND | MF_CHECKED);
    }
    UINT menuId = 500;
    int inits = 0;
    BOOL barMade = FALSE;
    HWND bar = nullptr;
    std::vector<int> commands;
    std::vector<UINT> sizes;
    std::vector<int> popups;
};

class UiTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { handset::ui::ensureApplication(); }
};

TEST_F(UiTest, TemplateControlsAreFoundByIdWithTheirKindsAndStates)
{
    RecordingDialog dialog(400);
    bool seen = false;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        seen = true;
        EXPECT_EQ(&dialog, form);
        EXPECT_EQ(u"Frame", control<QGroupBox>(form, 1001) ? control<QGroupBox>(form, 1001)->title().toStdU16String()
                                                           : u"");
        QComboBox* combo = control<QComboBox>(form, 1003);
        ASSERT_NE(nullptr, combo);
        EXPECT_EQ(3, combo->count());
        EXPECT_EQ(QStringLiteral("Off"), combo->itemText(0));
        EXPECT_EQ(-1, combo->currentIndex());
        // The test finds the same widget by its object name.
        EXPECT_EQ(combo, form->widget()->findChild<QComboBox*>(QStringLiteral("1003")));
        CWnd* hidden = form->GetDlgItem(1004);
        ASSERT_NE(nullptr, hidden);
        EXPECT_FALSE(hidden->IsWindowVisible());
        EXPECT_TRUE(form->GetDlgItem(1003)->IsWindowVisible());
        EXPECT_FALSE(form->GetDlgItem(1009)->IsWindowEnabled());
        EXPECT_EQ(u"He said \"hi\".", form->GetDlgItem(1010)->GetWindowText());
        EXPECT_NE(nullptr, control<QTimeEdit>(form, 1008));
        EXPECT_EQ(nullptr, form->GetDlgItem(9999));
        // The window layer knows the controls too.
        HWND item = GetDlgItem(form->m_hWnd, 1003);
        EXPECT_EQ(form->GetDlgItem(1003)->m_hWnd, item);
        EXPECT_EQ(1003, GetDlgCtrlID(item));
        // Template positions are the client area's; the client starts below the navigation bar.
        RECT rc{};
        form->GetDlgItem(1003)->GetWindowRect(&rc);
        EXPECT_EQ(100, rc.left);
        EXPECT_EQ(kNavBarHeight + 14, rc.top);
        form->ScreenToClient(&rc);
        EXPECT_EQ(14, rc.top);
        dialog.EndDialog(7);
    });
    EXPECT_EQ(7, dialog.DoModal());
    EXPECT_TRUE(seen);
    EXPECT_EQ(1, dialog.inits);
    EXPECT_EQ(nullptr, dialog.m_hWnd);
}

TEST_F(UiTest, MissingTemplateGivesMinusOne)
{
    CDialog dialog(4242);
    EXPECT_EQ(-1, dialog.DoModal());
}

TEST_F(UiTest, ParserRejectsBrokenLinesAndReadsNestedMenus)
{
    std::string error;
    EXPECT_FALSE(handset::ui::parseDialog("1 DIALOG \"x\"\nLTEXT \"open 1 2 3 4 5\nEND", error));
    EXPECT_FALSE(handset::ui::parseDialog("1 DIALOG \"x\"\nLTEXT \"a\" 1 2 3 4 5 SHINY\nEND", error));
    EXPECT_NE(std::string::npos, error.find("SHINY"));
    EXPECT_FALSE(handset::ui::parseDialog("1 DIALOG \"x\"\nITEMS 5 \"a\"\nEND", error));
    EXPECT_FALSE(handset::ui::parseDialog("1 DIALOG \"x\"\nSLIDER \"a\" 1 2 3 4 5\nEND", error));
    EXPECT_EQ(nullptr, handset::ui::parseMenu("1 MENU\nPOPUP \"a\"\nITEM 3 \"b\"\nEND", error));

    auto menu = handset::ui::parseMenu("1 MENU\nPOPUP \"a\"\nITEM 3 \"b\"\nSEPARATOR\nPOPUP \"c\"\nITEM 4 \"d\" "
                                       "CHECKED\nEND\nEND\nITEM 5 \"e\"\nEND",
                                       error);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(2, GetMenuItemCount(menu.get()));
    HMENU a = GetSubMenu(menu.get(), 0);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(3u, GetMenuItemID(a, 0));
    EXPECT_EQ(0u, GetMenuItemID(a, 1));
    EXPECT_EQ(static_cast<UINT>(-1), GetMenuItemID(a, 2));
    EXPECT_EQ(5u, GetMenuItemID(menu.get(), 1));
    // Check marks by command reach into nested popups; the old state comes back.
    EXPECT_EQ(static_cast<DWORD>(MF_CHECKED), CheckMenuItem(menu.get(), 4, MF_BYCOMMAND | MF_UNCHECKED));
    EXPECT_EQ(static_cast<DWORD>(MF_UNCHECKED), CheckMenuItem(menu.get(), 3, MF_BYCOMMAND | MF_CHECKED));
    EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(menu.get(), 3, MF_BYCOMMAND));
    EXPECT_EQ(0u, GetMenuState(menu.get(), 4, MF_BYCOMMAND));
    EXPECT_EQ(static_cast<DWORD>(-1), CheckMenuItem(menu.get(), 99, MF_BYCOMMAND | MF_CHECKED));
    EXPECT_EQ(static_cast<DWORD>(-1), CheckMenuItem(nullptr, 3, MF_CHECKED));
}

TEST_F(UiTest, MenuBarPopupsNotifyTheirOwnerBeforeOpeningAndCommandsArrive)
{
    RecordingDialog dialog(400);
    handset::ui::whenNextFormShown([&](CWnd*) {
        ASSERT_TRUE(dialog.barMade);
        EXPECT_EQ(dialog.bar, handset::ui::menuBarOf(dialog.m_hWnd));
        auto menu = reinterpret_cast<HMENU>(SendMessage(dialog.bar, SHCMBM_GETMENU, 0, 0));
        ASSERT_NE(nullptr, menu);
        EXPECT_TRUE(handset::ui::pressSoftKey(dialog.bar, 0));
        EXPECT_EQ(std::vector<int>{0}, dialog.popups);
        // The owner's check mark, set while the popup was about to open, shows.
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(nullptr, popup);
        QAction* one = popup->findChild<QAction*>(QStringLiteral("40001"));
        ASSERT_NE(nullptr, one);
        EXPECT_TRUE(one->isChecked());
        popup->close();
        // A nested item: every popup on the way is announced, then the command comes.
        dialog.popups.clear();
        EXPECT_TRUE(handset::ui::chooseMenuItem(dialog.bar, 40020));
        EXPECT_EQ((std::vector<int>{1, 2}), dialog.popups);
        EXPECT_EQ(std::vector<int>{40020}, dialog.commands);
        EXPECT_FALSE(handset::ui::chooseMenuItem(dialog.bar, 40021));  // greyed
        EXPECT_FALSE(handset::ui::chooseMenuItem(dialog.bar, 12345));
        dialog.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
}

TEST_F(UiTest, CommandItemsOnTheBarAndTheNavigationBarEndTheDialog)
{
    RecordingDialog dialog(400);
    dialog.menuId = 501;
    handset::ui::whenNextFormShown([&](CWnd*) { handset::ui::pressSoftKey(dialog.bar, 1); });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(std::vector<int>{IDCANCEL}, dialog.commands);

    dialog.commands.clear();
    handset::ui::whenNextFormShown([&](CWnd* form) { handset::ui::tapNavBarButton(form->m_hWnd); });
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(std::vector<int>{IDOK}, dialog.commands);
    EXPECT_EQ(2, dialog.inits);

    // Without its OK button the close button minimises; the dialog learns it from WM_SIZE.
    handset::ui::whenNextFormShown([&](CWnd* form) {
        EXPECT_TRUE(SHDoneButton(form->m_hWnd, SHDB_HIDE));
        handset::ui::tapNavBarButton(form->m_hWnd);
        EXPECT_EQ(std::vector<UINT>{SIZE_MINIMIZED}, dialog.sizes);
        dialog.EndDialog(3);
    });
    EXPECT_EQ(3, dialog.DoModal());

    // A new bar replaces the one shown: only its keys show.
    handset::ui::whenNextFormShown([&](CWnd* form) {
        SHMENUBARINFO mbi{};
        mbi.cbSize = sizeof mbi;
        mbi.hwndParent = form->m_hWnd;
        mbi.nToolBarId = 500;
        ASSERT_TRUE(SHCreateMenuBar(&mbi));
        QApplication::processEvents();
        std::vector<QString> shown;
        for (auto* bar : form->widget()->window()->findChildren<QWidget*>(QStringLiteral("menubar")))
            if (bar->isVisible())
                shown.push_back(bar->findChild<QPushButton*>(QStringLiteral("softkey0"))->text());
        EXPECT_EQ(std::vector<QString>{QStringLiteral("Choose")}, shown);
        dialog.EndDialog(4);
    });
    EXPECT_EQ(4, dialog.DoModal());
}

TEST_F(UiTest, NavigationBarTitleIsOneForTheProgram)
{
    CDialog dialog(400);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        EXPECT_EQ(u"Test dialog", handset::ui::navigationBarText());
        EXPECT_TRUE(SHSetNavBarText(form->m_hWnd, u"Profile: Loud"));
        auto* title = form->widget()->window()->findChild<QLabel*>(QStringLiteral("navtitle"));
        ASSERT_NE(nullptr, title);
        EXPECT_EQ(QStringLiteral("Profile: Loud"), title->text());
        EXPECT_FALSE(SHSetNavBarText(form->m_hWnd, nullptr));
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
    EXPECT_EQ(u"Profile: Loud", handset::ui::navigationBarText());
}

// ---- Sheets and pages ------------------------------------------------------------

class RecordingPage : public CPropertyPage {
public:
    explicit RecordingPage(UINT id, UINT caption = 0) : CPropertyPage(id, caption) {}
    BOOL OnInitDialog() override
    {
        ++inits;
        return CPropertyPage::OnInitDialog();
    }
    BOOL OnSetActive() override
    {
        ++activations;
        if (activations == 1) {
            SHMENUBARINFO mbi{};
            mbi.cbSize = sizeof mbi;
            mbi.hwndParent = m_hWnd;
            mbi.nToolBarId = 500;
            SHCreateMenuBar(&mbi);
            bar = mbi.hwndMB;
        }
        return TRUE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (LOWORD(static_cast<LPARAM>(wParam)) == 1102) {
            ++goes;
            return TRUE;
        }
        return CPropertyPage::OnCommand(wParam, lParam);
    }
    int inits = 0, activations = 0, goes = 0;
    HWND bar = nullptr;
};

class RecordingSheet : public CPropertySheet {
public:
    RecordingSheet() : CPropertySheet(u"Sheet", nullptr, 0)
    {
        AddPage(&first);
        AddPage(&second);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands.push_back(LOWORD(static_cast<LPARAM>(wParam)));
        return CPropertySheet::OnCommand(wParam, lParam);
    }
    void OnInitMenuPopup(CMenu*, UINT index, BOOL) override { popups.push_back(static_cast<int>(index)); }
    void OnSize(UINT type, int, int) override
    {
        if (type == SIZE_MINIMIZED)
            PressButton(PSBTN_CANCEL);
    }
    RecordingPage first{401};
    RecordingPage second{402, 300};
    std::vector<int> commands;
    std::vector<int> popups;
};

TEST_F(UiTest, SheetShowsTabsInOrderAndMakesPagesWhenFirstActive)
{
    RecordingSheet sheet;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* tabs = qobject_cast<QTabBar*>(sheet.GetTabControl()->widget());
        ASSERT_NE(nullptr, tabs);
        ASSERT_EQ(2, tabs->count());
        EXPECT_EQ(QStringLiteral("First"), tabs->tabText(0));
        EXPECT_EQ(QStringLiteral("Second page"), tabs->tabText(1));  // the caption string wins
        EXPECT_EQ(0, tabs->currentIndex());
        EXPECT_EQ(&sheet.first, sheet.GetActivePage());
        EXPECT_EQ(1, sheet.first.inits);
        EXPECT_EQ(0, sheet.second.inits);
        EXPECT_EQ(&sheet, sheet.first.GetParent());

        tabs->setCurrentIndex(1);  // as a tap on the tab does
        EXPECT_EQ(&sheet.second, sheet.GetActivePage());
        EXPECT_EQ(1, sheet.second.inits);
        EXPECT_FALSE(sheet.first.IsWindowVisible());
        tabs->setCurrentIndex(0);
        tabs->setCurrentIndex(1);
        EXPECT_EQ(1, sheet.second.inits);
        EXPECT_EQ(2, sheet.second.activations);
        // Each page has its own bar; the active page's shows.
        EXPECT_NE(sheet.first.bar, sheet.second.bar);
        EXPECT_TRUE(CWnd::FromHandle(sheet.second.bar)->IsWindowVisible());
        EXPECT_FALSE(CWnd::FromHandle(sheet.first.bar)->IsWindowVisible());
        sheet.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, sheet.DoModal());
    EXPECT_EQ(nullptr, sheet.first.m_hWnd);
}

TEST_F(UiTest, PageCommandsItDoesNotHandleReachTheSheet)
{
    RecordingSheet sheet;
    handset::ui::whenNextFormShown([&](CWnd*) {
        auto* go = control<QAbstractButton>(&sheet.first, 1102);
        ASSERT_NE(nullptr, go);
        go->click();
        EXPECT_EQ(1, sheet.first.goes);
        EXPECT_TRUE(sheet.commands.empty());
        handset::ui::chooseMenuItem(sheet.first.bar, 40010);
        EXPECT_EQ(std::vector<int>{40010}, sheet.commands);
        EXPECT_EQ(std::vector<int>{1}, sheet.popups);
        // Minimising: the sheet presses its own Cancel, which arrives after this message.
        handset::ui::tapNavBarButton(sheet.m_hWnd);  // OK is shown: this ends with IDOK
    });
    EXPECT_EQ(IDOK, sheet.DoModal());

    handset::ui::whenNextFormShown([&](CWnd*) {
        SHDoneButton(sheet.m_hWnd, SHDB_HIDE);
        handset::ui::tapNavBarButton(sheet.m_hWnd);
        EXPECT_EQ(1u, handset::ui::modalForms().size());  // still running until the posted Cancel
    });
    EXPECT_EQ(IDCANCEL, sheet.DoModal());
}

// ---- Controls ------------------------------------------------------------------------

TEST_F(UiTest, ListAndComboBoxesKeepTheirOrderAndItemData)
{
    CDialog dialog(400);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* list = static_cast<CListBox*>(form->GetDlgItem(1005));
        EXPECT_EQ(0, list->AddString(u"At 22:00 switch to Silent"));
        EXPECT_EQ(0, list->AddString(u"At 07:00 switch to Normal"));
        EXPECT_EQ(2, list->AddString(u"at 23:00 switch to Loud"));  // case does not matter
        EXPECT_EQ(0, list->SetItemData(1, 0xABCD0002));
        EXPECT_EQ(0xABCD0002u, list->GetItemData(1));
        EXPECT_EQ(static_cast<DWORD_PTR>(LB_ERR), list->GetItemData(3));
        EXPECT_EQ(LB_ERR, list->GetCurSel());
        EXPECT_EQ(1, list->SetCurSel(1));
        EXPECT_EQ(1, list->GetCurSel());
        EXPECT_EQ(2, list->DeleteString(0));
        EXPECT_EQ(LB_ERR, list->DeleteString(5));
        std::u16string text;
        EXPECT_EQ(25, list->GetText(0, text));
        EXPECT_EQ(u"At 22:00 switch to Silent", text);

        auto* combo = static_cast<CComboBox*>(form->GetDlgItem(1003));
        EXPECT_EQ(CB_ERR, combo->GetCurSel());
        EXPECT_EQ(2, combo->SetCurSel(2));
        EXPECT_EQ(CB_ERR, combo->SetCurSel(3));
        EXPECT_EQ(CB_ERR, combo->GetCurSel());
        EXPECT_EQ(3, combo->AddString(u"3"));
        // A combo box keeps its own height and takes the rest for its list.
        RECT before{};
        combo->GetWindowRect(&before);
        combo->MoveWindow(100, 14, 100, 200);
        RECT after{};
        combo->GetWindowRect(&after);
        EXPECT_EQ(before.bottom - before.top, after.bottom - after.top);

        auto* picker = static_cast<CDateTimeCtrl*>(form->GetDlgItem(1008));
        SYSTEMTIME t{};
        t.wHour = 23;
        t.wMinute = 59;
        EXPECT_TRUE(picker->SetTime(&t));
        EXPECT_TRUE(picker->SetFormat(u"HH:mm"));
        SYSTEMTIME back{};
        EXPECT_EQ(GDT_VALID, picker->GetTime(&back));
        EXPECT_EQ(23, back.wHour);
        EXPECT_EQ(59, back.wMinute);
        EXPECT_EQ(QStringLiteral("23:59"), control<QTimeEdit>(form, 1008)->text());
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

TEST_F(UiTest, BoldCopiesOfALabelFontReachTheWidget)
{
    CDialog dialog(400);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        CWnd* label = form->GetDlgItem(1002);
        LOGFONTW lf{};
        ASSERT_TRUE(label->GetFont()->GetLogFont(&lf));
        EXPECT_EQ(FW_NORMAL, lf.lfWeight);
        EXPECT_EQ(-11, lf.lfHeight);
        lf.lfWeight = FW_BOLD;
        lf.lfQuality = ANTIALIASED_QUALITY;
        CFont bold;
        ASSERT_TRUE(bold.CreateFontIndirect(&lf));
        form->GetDlgItem(1001)->SetFont(&bold);
        EXPECT_TRUE(control<QGroupBox>(form, 1001)->font().bold());
        LOGFONTW got{};
        ASSERT_TRUE(form->GetDlgItem(1001)->GetFont()->GetLogFont(&got));
        EXPECT_EQ(FW_BOLD, got.lfWeight);
        EXPECT_EQ(ANTIALIASED_QUALITY, got.lfQuality);
        EXPECT_FALSE(control<QLabel>(form, 1002)->font().bold());
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

// An owner-drawn button that copies a bitmap, and records its states.
class BlitButton : public CButton {
public:
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        states.push_back(dis->itemState);
        CDC* dc = CDC::FromHandle(dis->hDC);
        CDC memory;
        memory.CreateCompatibleDC(dc);
        HGDIOBJ old = memory.SelectObject(&bitmap);
        dc->BitBlt(0, 0, dis->rcItem.right, dis->rcItem.bottom, &memory, 0, 0, SRCCOPY);
        memory.SelectObject(old);
    }
    BOOL OnEraseBkgnd(CDC*) override
    {
        ++erases;
        return TRUE;
    }
    CBitmap bitmap;
    std::vector<UINT> states;
    int erases = 0;
};

TEST_F(UiTest, OwnerDrawnButtonGetsItsStateAndDrawsABitmapUnstretched)
{
    CDialog dialog(400);
    BlitButton button;
    ASSERT_TRUE(button.bitmap.LoadBitmap(310));
    BITMAP bm{};
    EXPECT_EQ(static_cast<int>(sizeof bm), button.bitmap.GetBitmap(&bm));
    EXPECT_EQ(8, bm.bmWidth);
    EXPECT_EQ(4, bm.bmHeight);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        ASSERT_TRUE(button.SubclassDlgItem(1007, form));
        EXPECT_EQ(&button, form->GetDlgItem(1007));
        EXPECT_FALSE(button.SubclassDlgItem(1007, form));
        button.MoveWindow(100, 200, 12, 4);  // wider than the bitmap
        button.EnableWindow(FALSE);
        const QImage shot = button.widget()->grab().toImage();
        ASSERT_FALSE(button.states.empty());
        EXPECT_EQ(static_cast<UINT>(ODS_DISABLED), button.states.back() & ODS_DISABLED);
        EXPECT_EQ(1, button.erases);
        EXPECT_EQ(qRgb(255, 0, 0), shot.pixel(1, 1));
        EXPECT_EQ(qRgb(0, 0, 255), shot.pixel(6, 1));
        EXPECT_EQ(qRgb(0, 0, 0), shot.pixel(10, 1));  // beyond the bitmap: nothing stretched into it
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
    EXPECT_EQ(nullptr, button.m_hWnd);
}

TEST_F(UiTest, BitBltRasterOperationsCombineMaskAndImage)
{
    HBITMAP image = LoadBitmap(nullptr, MAKEINTRESOURCE(310));
    HBITMAP mask = LoadBitmap(nullptr, MAKEINTRESOURCE(311));
    ASSERT_NE(nullptr, image);
    ASSERT_NE(nullptr, mask);
    EXPECT_EQ(nullptr, LoadBitmap(nullptr, MAKEINTRESOURCE(399)));
    HBITMAP target = CreateCompatibleBitmap(nullptr, 8, 4);  // white
    HDC dst = CreateCompatibleDC(nullptr);
    HDC src = CreateCompatibleDC(nullptr);
    HGDIOBJ oldDst = SelectObject(dst, target);
    HGDIOBJ oldSrc = SelectObject(src, mask);
    ASSERT_NE(nullptr, oldDst);
    // A bitmap sits in one context at a time and cannot be deleted while it does.
    EXPECT_EQ(nullptr, SelectObject(src, target));
    EXPECT_FALSE(DeleteObject(target));
    EXPECT_TRUE(BitBlt(dst, 0, 0, 8, 4, src, 0, 0, SRCAND));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(dst, 1, 1));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dst, 6, 1));
    SelectObject(src, image);
    EXPECT_TRUE(BitBlt(dst, 0, 0, 8, 4, src, 0, 0, SRCPAINT));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dst, 1, 1));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dst, 6, 1));
    EXPECT_EQ(CLR_INVALID, GetPixel(dst, 8, 0));
    EXPECT_FALSE(BitBlt(dst, 0, 0, 8, 4, src, 0, 0, 0x12345678));
    EXPECT_FALSE(BitBlt(dst, 0, 0, 8, 4, nullptr, 0, 0, SRCCOPY));
    SelectObject(src, oldSrc);
    SelectObject(dst, oldDst);
    EXPECT_TRUE(DeleteDC(src));
    EXPECT_TRUE(DeleteDC(dst));
    EXPECT_FALSE(DeleteDC(dst));
    EXPECT_TRUE(DeleteObject(target));
    EXPECT_TRUE(DeleteObject(image));
    EXPECT_TRUE(DeleteObject(mask));
}

}  // namespace

namespace {

void mouse(QWidget* widget, QEvent::Type type, QPoint at)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A picture with NOTIFY reports a tap (press and release inside it) to its
// dialog as STN_CLICKED; one without it, or a press that slides off, does
// not. It shows a bitmap section as drawn.
TEST_F(UiTest, NotifyingPictureReportsTapsAndShowsABitmapSection)
{
    RecordingDialog dialog(404);
    dialog.menuId = 501;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        QLabel* notifying = control<QLabel>(form, 1302);
        QLabel* plain = control<QLabel>(form, 1303);
        ASSERT_TRUE(notifying && plain);
        mouse(notifying, QEvent::MouseButtonPress, {5, 5});
        mouse(notifying, QEvent::MouseButtonRelease, {6, 6});
        mouse(notifying, QEvent::MouseButtonPress, {5, 5});
        mouse(notifying, QEvent::MouseButtonRelease, {80, 6});  // slid off
        mouse(plain, QEvent::MouseButtonPress, {5, 5});
        mouse(plain, QEvent::MouseButtonRelease, {5, 5});

        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(nullptr, dib);
        static_cast<BYTE*>(bits)[2] = 255;  // the bottom left pixel red
        static_cast<CStatic*>(form->GetDlgItem(1302))->SetBitmap(dib);
        const QImage shown = notifying->pixmap().toImage();
        EXPECT_EQ(QSize(4, 2), shown.size());
        EXPECT_EQ(QColor(255, 0, 0), shown.pixelColor(0, 1));
        EXPECT_EQ(QColor(0, 0, 0), shown.pixelColor(0, 0));
        dialog.EndDialog(IDOK);
        DeleteObject(dib);
    });
    dialog.DoModal();
    EXPECT_EQ(std::vector<int>{1302 | (STN_CLICKED << 16)}, dialog.commands);
}

TEST_F(UiTest, ComboFindStringMatchesPrefixesRegardlessOfCaseAndWraps)
{
    CDialog dialog(404);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* combo = static_cast<CComboBox*>(form->GetDlgItem(1301));
        combo->AddString(u"<None>");
        for (const char16_t* name : {u"Work", u"Friends", u"family", u"Fan club"})
            combo->AddString(name);
        // <None>, family, Fan club, Friends, Work
        EXPECT_EQ(1, combo->FindString(0, u"FAM"));
        EXPECT_EQ(1, combo->FindString(-1, u"f"));
        EXPECT_EQ(3, combo->FindString(2, u"f"));
        EXPECT_EQ(1, combo->FindString(3, u"f"));  // wrapped round to the top
        EXPECT_EQ(4, combo->FindString(4, u"work"));  // the start item itself, last
        EXPECT_EQ(CB_ERR, combo->FindString(0, u"Familyx"));
        EXPECT_EQ(0, combo->FindString(99, u"<"));
        EXPECT_EQ(2, combo->SendMessage(CB_FINDSTRING, 1, reinterpret_cast<LPARAM>(u"fa")));
        EXPECT_EQ(CB_ERR, combo->SendMessage(CB_FINDSTRING, 1, reinterpret_cast<LPARAM>(u"x")));
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

TEST_F(UiTest, FileReadsADevicePathInChunksAndOnlyReads)
{
    std::filesystem::create_directories(handset::deviceFileSystem() / "My Documents/My Pictures");
    std::string bytes(2500, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31);
    std::ofstream(handset::deviceFileSystem() / "My Documents/My Pictures/Sunset.jpg", std::ios::binary) << bytes;

    CFile file;
    ASSERT_TRUE(file.Open(u"\\my documents\\My Pictures\\SUNSET.JPG", CFile::modeRead));
    EXPECT_EQ(2500u, file.GetLength());
    std::string read;
    char chunk[1024];
    while (const UINT n = file.Read(chunk, sizeof chunk))
        read.append(chunk, n);
    EXPECT_EQ(bytes, read);
    EXPECT_EQ(0u, file.Read(chunk, sizeof chunk));
    file.Close();
    EXPECT_EQ(0u, file.Read(chunk, sizeof chunk));

    const struct {
        const char16_t* path;
        UINT flags;
        DWORD error;
    } refused[] = {
        {u"\\My Documents\\My Pictures\\Sunset.jpg", CFile::modeWrite, ERROR_ACCESS_DENIED},
        {u"\\My Documents\\My Pictures\\Sunset.jpg", CFile::modeRead | CFile::modeCreate, ERROR_ACCESS_DENIED},
        {u"\\My Documents\\My Pictures\\Gone.jpg", CFile::modeRead, ERROR_FILE_NOT_FOUND},
        {u"\\My Documents\\My Pictures", CFile::modeRead, ERROR_FILE_NOT_FOUND},
        {u"\\..\\..\\etc\\passwd", CFile::modeRead, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(file.Open(r.path, r.flags)) << handset::toUtf8(r.path);
        EXPECT_EQ(r.error, GetLastError()) << handset::toUtf8(r.path);
    }
}

}  // namespace
