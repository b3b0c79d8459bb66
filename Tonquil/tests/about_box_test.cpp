// The About box through its real widgets, offscreen: its texts and bold
// fonts, the logo and the link as their picture files show them, a layout
// in which nothing is cut off or overlaps, and the two ways out (the link,
// which opens the vendor's site, and OK, which opens nothing).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <about/about_box.h>
#include <about/about_ids.h>
#include <handset/log.h>
#include <handset/ui.h>
#include <handset/wstring.h>

#include <run_program.h>
#include <test_device.h>

#include "about_pictures.h"

using namespace tonquil::about;
using about_test::bitmapFile;

namespace {

::testing::AssertionResult samePixels(const QImage& expected, const QImage& shown)
{
    if (expected.isNull() || shown.isNull())
        return ::testing::AssertionFailure() << "a picture is missing";
    if (expected.size() != shown.size())
        return ::testing::AssertionFailure() << "size " << shown.width() << " x " << shown.height() << ", expected "
                                             << expected.width() << " x " << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (expected.pixel(x, y) != shown.pixel(x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs";
    return ::testing::AssertionSuccess();
}

QImage grabbed(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

LOGFONTW fontOf(CWnd* form, unsigned id)
{
    LOGFONTW font;
    std::memset(&font, 0xBD, sizeof(font));
    CWnd* control = form->GetDlgItem(static_cast<int>(id));
    EXPECT_NE(nullptr, control) << id;
    if (control && control->GetFont()) {
        EXPECT_EQ(TRUE, control->GetFont()->GetLogFont(&font)) << id;
    }
    return font;
}

// The logo: the template's one picture, which has no id.
QWidget* pictureOf(CWnd* form)
{
    for (QLabel* label : form->widget()->findChildren<QLabel*>())
        if (!label->pixmap().isNull() && label->size() == QSize(55, 55))
            return label;
    return nullptr;
}

std::u16string textOf(CWnd* form, unsigned id)
{
    CWnd* control = form->GetDlgItem(static_cast<int>(id));
    return control ? control->GetWindowText() : u"<no control>";
}

class AboutBoxTest : public handset::testing::DeviceTest {
protected:
    static void SetUpTestSuite() { handset::ui::ensureApplication(); }

    std::string log() { return handset::testing::slurp(handset::deviceLogPath()); }
};

// What the box shows once it is open: the four lines, the two bold fonts
// made from the name's own font, the logo and the link.
void inspectContent(CWnd* form)
{
    EXPECT_EQ(u"Tonquil", textOf(form, IDC_ABOUT_PRODUCT));
    EXPECT_EQ(u"For Windows Mobile 5 Pocket PC", textOf(form, IDC_ABOUT_PLATFORM));
    EXPECT_EQ(u"Version 4.0", textOf(form, IDC_ABOUT_VERSION));
    const std::u16string vendor = textOf(form, IDC_ABOUT_VENDOR);
    EXPECT_NE(std::u16string::npos, vendor.find(u"2006")) << handset::toUtf8(vendor);
    EXPECT_NE(std::u16string::npos, vendor.find(u"Quorrel")) << handset::toUtf8(vendor);

    // Both headings are copies of the name label's template font that
    // differ only in height, weight and quality; the version line keeps
    // that template font.
    const LOGFONTW plain = fontOf(form, IDC_ABOUT_VERSION);
    const struct {
        unsigned id;
        LONG height;
    } headings[] = {{IDC_ABOUT_PRODUCT, -18}, {IDC_ABOUT_PLATFORM, -12}};
    for (const auto& h : headings) {
        SCOPED_TRACE(h.id);
        LOGFONTW font = fontOf(form, h.id);
        EXPECT_EQ(h.height, font.lfHeight);
        EXPECT_EQ(700, font.lfWeight);
        EXPECT_EQ(4, font.lfQuality);
        font.lfHeight = plain.lfHeight;
        font.lfWeight = plain.lfWeight;
        font.lfQuality = plain.lfQuality;
        EXPECT_EQ(0, std::memcmp(&plain, &font, sizeof(font))) << "all else equal";
        auto* label = qobject_cast<QLabel*>(form->GetDlgItem(static_cast<int>(h.id))->widget());
        ASSERT_NE(nullptr, label);
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(-h.height, label->font().pixelSize());
    }
    EXPECT_NE(700, plain.lfWeight);

    CWnd* link = form->GetDlgItem(IDC_ABOUT_LINK);
    ASSERT_NE(nullptr, link);
    EXPECT_TRUE(samePixels(bitmapFile("link.png"), grabbed(link->widget()))) << "the link";
    // The link has one picture for all four states, so it looks the
    // same focused, pressed and disabled.
    auto* linkButton = qobject_cast<QAbstractButton*>(link->widget());
    ASSERT_NE(nullptr, linkButton);
    link->SetFocus();
    EXPECT_TRUE(samePixels(bitmapFile("link.png"), grabbed(link->widget()))) << "focused";
    linkButton->setDown(true);
    EXPECT_TRUE(samePixels(bitmapFile("link.png"), grabbed(link->widget()))) << "pressed";
    linkButton->setDown(false);
    link->EnableWindow(FALSE);
    EXPECT_TRUE(samePixels(bitmapFile("link.png"), grabbed(link->widget()))) << "disabled";
    link->EnableWindow(TRUE);
    QWidget* logo = pictureOf(form);
    ASSERT_NE(nullptr, logo) << "a 55 x 55 picture";
    EXPECT_TRUE(samePixels(bitmapFile("logo.png"), grabbed(logo))) << "the logo";
}

// Looks at the box once it is open and then closes it with OK, whatever
// the look found (a failed check must not leave the box open).
void inspectOpenBox(void (*inspect)(CWnd*))
{
    CAboutBox box;
    bool inspected = false;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        inspected = true;
        inspect(form);
        form->SendMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, box.DoModal());
    EXPECT_TRUE(inspected);
}

TEST_F(AboutBoxTest, ShowsNameVersionVendorLogoAndLink)
{
    inspectOpenBox(inspectContent);
}

// Every control lies inside the screen below the navigation bar, none
// overlaps another, and every text fits its control at its font.
void inspectLayout(CWnd* form)
{
    std::vector<QWidget*> controls;
    for (const unsigned id : {IDC_ABOUT_PRODUCT, IDC_ABOUT_PLATFORM, IDC_ABOUT_VERSION, IDC_ABOUT_VENDOR,
                              IDC_ABOUT_LINK}) {
        CWnd* control = form->GetDlgItem(static_cast<int>(id));
        ASSERT_NE(nullptr, control) << id;
        controls.push_back(control->widget());
    }
    if (QWidget* logo = pictureOf(form))
        controls.push_back(logo);
    ASSERT_EQ(6u, controls.size());

    for (std::size_t i = 0; i < controls.size(); ++i) {
        QWidget* a = controls[i];
        SCOPED_TRACE(a->objectName().toStdString());
        RECT r{};
        form->GetClientRect(&r);
        const QRect client(0, 0, r.right - r.left, r.bottom - r.top);
        EXPECT_TRUE(client.contains(a->geometry())) << "inside the client area";
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(a->geometry().intersects(controls[j]->geometry()))
                << "overlaps " << controls[j]->objectName().toStdString();
        if (auto* label = qobject_cast<QLabel*>(a)) {
            const QFontMetrics metrics(label->font());
            const int flags = int(label->alignment()) | Qt::TextWordWrap;
            const QRect needed = metrics.boundingRect(label->contentsRect(), flags, label->text());
            EXPECT_LE(needed.height(), label->contentsRect().height()) << label->text().toStdString();
            EXPECT_LE(needed.width(), label->contentsRect().width()) << label->text().toStdString();
        }
    }
}

TEST_F(AboutBoxTest, NothingIsCutOffOrOverlaps)
{
    inspectOpenBox(inspectLayout);
}

// The link opens the vendor's site and closes the box with 0; OK closes it
// with IDOK and opens nothing.
TEST_F(AboutBoxTest, TheLinkOpensTheSiteAndClosesTheBox)
{
    const std::string site = handset::toUtf8(kVendorSiteUrl);
    {
        CAboutBox box;
        handset::ui::whenNextFormShown([](CWnd* form) { ASSERT_TRUE(handset::ui::tapNavBarButton(form->m_hWnd)); });
        EXPECT_EQ(IDOK, box.DoModal());
        EXPECT_EQ(std::string::npos, log().find(site)) << log();
    }
    {
        CAboutBox box;
        handset::ui::whenNextFormShown([](CWnd* form) {
            CWnd* control = form->GetDlgItem(IDC_ABOUT_LINK);
            auto* link = control ? qobject_cast<QAbstractButton*>(control->widget()) : nullptr;
            if (!link) {
                ADD_FAILURE() << "the link is not a button";
                form->SendMessage(WM_COMMAND, IDCANCEL, 0);
                return;
            }
            link->click();
        });
        EXPECT_EQ(0, box.DoModal());
        EXPECT_NE(std::string::npos, log().find(site)) << log();
    }
}

}  // namespace
