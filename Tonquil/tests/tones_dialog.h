// What the tone selector, System and Categories page tests share: a
// settings dialog run modally with a test's steps, clicks on its controls,
// and tone files made on the device.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/ui.h>
#include <system/set_caller.h>

#include <test_device.h>
#include <test_media.h>

#include "form_steps.h"

namespace tones_test {

inline const std::u16string kShortTone = u"\\My Documents\\My Ringtones\\Short.wav";
inline const std::u16string kLongTone = u"\\My Documents\\My Ringtones\\Long.wav";

inline const std::u16string kBell = u"\\My Documents\\My Ringtones\\Bell.wav";

using form_steps::click;

// Taps row `row` of a list view as a person would.
inline void tapRow(CWnd* list, int row)
{
    auto* view = qobject_cast<QAbstractItemView*>(list->widget());
    ASSERT_NE(nullptr, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, 0)).center());
}

// A settings dialog as it is when its menu bar cannot be made.
template <class Dialog>
class WithoutMenuBar : public Dialog {
public:
    using Dialog::Dialog;

protected:
    HWND makeMenuBar(UINT) override { return nullptr; }
};

inline QColor colourOf(COLORREF c)
{
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Whether anything but `background` shows in the rectangle.
inline bool marked(const QImage& image, QRect area, QColor background)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) != background)
                return true;
    return false;
}

inline bool shown(CWnd* dialog, int id)
{
    CWnd* control = dialog->GetDlgItem(id);
    return control && control->IsWindowVisible();
}

inline std::u16string textOf(CWnd* dialog, int id)
{
    CWnd* control = dialog->GetDlgItem(id);
    return control ? control->GetWindowText() : u"(none)";
}

// Lets the dialog's loop run until `done` holds; false when it still does
// not after `milliseconds`.
template <class Condition>
bool waitUntil(Condition done, int milliseconds = 8000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QTest::qWait(20);
    }
    return true;
}

inline WMPPlayState playState(tonquil::CToneDialog& dialog)
{
    WMPPlayState state = wmppsUndefined;
    if (dialog.player())
        dialog.player()->get_playState(&state);
    return state;
}

// A device with COM started, the tones the tests play, and each player's
// sound captured in capture() (HANDSET_AUDIO=capture:DIR).
class ToneDialogTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        handset::ui::ensureApplication();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const std::filesystem::path tones = handset::deviceFileSystem() / "My Documents" / "My Ringtones";
        std::filesystem::create_directories(tones);
        wmp_test::writeToneWav(tones / "Short.wav", 1.5);
        wmp_test::writeToneWav(tones / "Long.wav", 20.0);
        ::setenv("HANDSET_AUDIO", ("capture:" + capture().string()).c_str(), 1);
    }
    void TearDown() override
    {
        ::setenv("HANDSET_AUDIO", "none", 1);
        CoUninitialize();
    }
    std::filesystem::path capture() const { return device_.root() / "captures"; }

    // Runs `dialog` modally with `drive` once it shows; the dialog is
    // cancelled afterwards unless `drive` closed it.
    template <class Dialog>
    void runDialog(Dialog& dialog, const std::function<void(Dialog&)>& drive)
    {
        handset::ui::whenNextFormShown([&](CWnd*) {
            drive(dialog);
            const auto forms = handset::ui::modalForms();
            if (std::find(forms.begin(), forms.end(), &dialog) != forms.end())
                dialog.EndDialog(IDCANCEL);
        });
        dialog.DoModal();
    }
    // Shows `Page` as the only tab of a sheet and runs `drive` on it.
    template <class Page>
    void runPage(const std::function<void(Page&)>& drive)
    {
        Page page;
        CPropertySheet sheet(u"Tonquil");
        sheet.AddPage(&page);
        handset::ui::whenNextFormShown([&](CWnd*) {
            drive(page);
            sheet.PressButton(PSBTN_CANCEL);
        });
        sheet.DoModal();
    }
    void runCaller(tonquil::CSetCaller& dialog, const std::function<void(tonquil::CSetCaller&)>& drive)
    {
        runDialog(dialog, drive);
    }
};

// The same with the contacts application created and logged on in app_.
class ContactsAppTest : public ToneDialogTest {
protected:
    void SetUp() override
    {
        ToneDialogTest::SetUp();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                         reinterpret_cast<void**>(&app_)));
        ASSERT_EQ(S_OK, app_->Logon(0));
    }
    void TearDown() override
    {
        app_->Logoff();
        app_->Release();
        ToneDialogTest::TearDown();
    }

    // Adds a contact to the contacts volume; its object id.
    CEOID add(const handset::contacts::ContactChanges& fields)
    {
        CEOID oid = 0;
        EXPECT_EQ(ERROR_SUCCESS, handset::contacts::addContact(fields, &oid));
        return oid;
    }

    IPOutlookApp2* app_ = nullptr;
};

}  // namespace tones_test
