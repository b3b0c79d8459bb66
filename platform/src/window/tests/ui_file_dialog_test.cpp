// The file-open and save-as dialogs: scripted answers in their order, and
// the person's picker over the device's file system through its real widgets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <handset/device.h>
#include <handset/pickers.h>
#include <handset/ui.h>

#include "test_device.h"

namespace {

namespace fs = std::filesystem;

constexpr const char16_t* kAudioFilter = u"Audio files |*.wav;*.mp3;*.wma;*.mid;*.midi||";

QStringList rowsOf(QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

void tapRow(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(1, found.size()) << text.toStdString();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
}

class FileDialogTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        handset::ui::ensureApplication();
        handset::clearPickerAnswers();
    }
    void TearDown() override
    {
        ::unsetenv("HANDSET_FILE_ANSWERS");
        ::unsetenv("HANDSET_MSGBOX_ANSWERS");
    }
};

TEST_F(FileDialogTest, ScriptedAnswersComeFirstThenTheEnvironmentsInOrder)
{
    ::setenv("HANDSET_FILE_ANSWERS", "\\Windows\\Ring.wav\n  cancel \nRing.wav\n", 1);
    handset::scriptPickerAnswers({u"\\My Documents\\Song.mp3"});
    struct Expected {
        INT_PTR result;
        std::u16string path;
    };
    for (const Expected& e : {Expected{IDOK, u"\\My Documents\\Song.mp3"}, Expected{IDOK, u"\\Windows\\Ring.wav"},
                              Expected{IDCANCEL, u""}, Expected{IDCANCEL, u""}}) {
        CFileDialog picker(TRUE, nullptr, nullptr, 0, kAudioFilter);
        EXPECT_EQ(e.result, picker.DoModal());
        EXPECT_EQ(e.path, picker.GetPathName());
    }
    // With the answers used up, the picker shows itself; its Cancel gives up.
    CFileDialog picker(TRUE, nullptr, nullptr, 0, kAudioFilter);
    bool shown = false;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        shown = true;
        handset::ui::pressSoftKey(handset::ui::menuBarOf(form->m_hWnd), 1);
    });
    EXPECT_EQ(IDCANCEL, picker.DoModal());
    EXPECT_TRUE(shown);
}

TEST_F(FileDialogTest, PersonBrowsesDeviceFoldersAndPicksAMatchingFile)
{
    const fs::path tones = handset::deviceFileSystem() / "My Documents" / "My Ringtones";
    fs::create_directories(tones / "Old");
    for (const fs::path& file : {tones / "Chimes.mp3", tones / "notes.txt", tones / "Old" / "Bell.WAV"})
        std::ofstream(file) << "x";

    CFileDialog picker(TRUE, nullptr, nullptr, 0, kAudioFilter);
    // The picker starts where this process's last pick was, which an
    // earlier test may have left in a folder this device also has.
    picker.m_ofn.lpstrInitialDir = u"\\My Documents\\My Ringtones";
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* list = form->widget()->findChild<QListWidget*>(QStringLiteral("1120"));
        auto* folder = form->widget()->findChild<QLabel*>(QStringLiteral("1088"));
        ASSERT_NE(nullptr, list);
        ASSERT_NE(nullptr, folder);
        EXPECT_EQ(QStringLiteral("\\My Documents\\My Ringtones"), folder->text());
        EXPECT_EQ((QStringList{"..", "Old\\", "Chimes.mp3"}), rowsOf(list));  // no text file
        tapRow(list, QStringLiteral("Old\\"));
        EXPECT_EQ((QStringList{"..", "Bell.WAV"}), rowsOf(list));
        tapRow(list, QStringLiteral(".."));
        tapRow(list, QStringLiteral(".."));
        tapRow(list, QStringLiteral(".."));
        // The top of the device's file system has no way further up.
        EXPECT_EQ(QStringLiteral("\\"), folder->text());
        EXPECT_FALSE(rowsOf(list).contains(QStringLiteral("..")));
        tapRow(list, QStringLiteral("My Documents\\"));
        tapRow(list, QStringLiteral("My Ringtones\\"));
        tapRow(list, QStringLiteral("Chimes.mp3"));
        handset::ui::pressSoftKey(handset::ui::menuBarOf(form->m_hWnd), 0);
    });
    EXPECT_EQ(IDOK, picker.DoModal());
    EXPECT_EQ(u"\\My Documents\\My Ringtones\\Chimes.mp3", picker.GetPathName());
    EXPECT_EQ(u"Chimes.mp3", picker.GetFileName());
    EXPECT_EQ(u"\\My Documents\\My Ringtones\\Chimes.mp3", std::u16string(picker.m_ofn.lpstrFile));
}

TEST_F(FileDialogTest, SaveAsOffersTheNameAddsTheExtensionAndAsksBeforeReplacingAFile)
{
    const fs::path documents = handset::deviceFileSystem() / "My Documents";
    fs::create_directories(documents);
    for (const fs::path& file : {documents / "Tonquil Backup.tqb", documents / "notes.txt"})
        std::ofstream(file) << "x";
    // The picker's own boxes: No to replacing the file, OK to the bad name.
    ::setenv("HANDSET_MSGBOX_ANSWERS", "no,ok", 1);

    CFileDialog picker(FALSE, u"tqb", u"\\My Documents\\Tonquil Backup", OFN_OVERWRITEPROMPT,
                       u"Tonquil backups (*.tqb)|*.tqb||");
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* list = form->widget()->findChild<QListWidget*>(QStringLiteral("1120"));
        auto* folder = form->widget()->findChild<QLabel*>(QStringLiteral("1088"));
        auto* name = form->widget()->findChild<QLineEdit*>(QStringLiteral("1152"));
        ASSERT_NE(nullptr, list);
        ASSERT_NE(nullptr, folder);
        ASSERT_NE(nullptr, name);
        // The offered path says where to start and what to call the file.
        EXPECT_EQ(QStringLiteral("\\My Documents"), folder->text());
        EXPECT_EQ(QStringLiteral("Tonquil Backup"), name->text());
        EXPECT_EQ((QStringList{"..", "Tonquil Backup.tqb"}), rowsOf(list));
        const HWND menuBar = handset::ui::menuBarOf(form->m_hWnd);
        handset::ui::pressSoftKey(menuBar, 0);  // the file exists: No keeps the picker open
        for (const char* typed : {"bad:name", "Week"}) {
            name->clear();
            QTest::keyClicks(name, QString::fromLatin1(typed));
            handset::ui::pressSoftKey(menuBar, 0);
        }
    });
    EXPECT_EQ(IDOK, picker.DoModal());
    EXPECT_EQ(u"\\My Documents\\Week.tqb", picker.GetPathName());

    // A scripted answer gets the default extension as a typed name does.
    handset::scriptPickerAnswers({u"\\My Documents\\Other"});
    CFileDialog scripted(FALSE, u"tqb", nullptr, OFN_OVERWRITEPROMPT, nullptr);
    EXPECT_EQ(IDOK, scripted.DoModal());
    EXPECT_EQ(u"\\My Documents\\Other.tqb", scripted.GetPathName());
}

TEST_F(FileDialogTest, PicturePickerShowsThumbnailsOfMyPicturesAndATapChoosesOne)
{
    const fs::path pictures = handset::deviceFileSystem() / "My Documents" / "My Pictures";
    fs::create_directories(pictures / "Trips");
    std::ofstream(pictures / "broken.png") << "not a picture";
    std::ofstream(pictures / "notes.txt") << "x";
    QImage wide(400, 300, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    ASSERT_TRUE(wide.save(QString::fromStdString((pictures / "Sunset.jpg").string()), "JPG"));
    ASSERT_TRUE(wide.save(QString::fromStdString((pictures / "Daisy.png").string()), "PNG"));

    WCHAR file[MAX_PATH] = {};
    OPENFILENAMEEX ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.ExFlags = OFN_EXFLAG_THUMBNAILVIEW;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* list = form->widget()->findChild<QListWidget*>(QStringLiteral("1120"));
        ASSERT_NE(nullptr, list);
        EXPECT_EQ(QListView::IconMode, list->viewMode());
        // Folders first, then the pictures the imaging factory reads; an
        // undecodable one still shows (with an empty thumbnail) so it can be seen.
        EXPECT_EQ((QStringList{"..", "Trips\\", "broken.png", "Daisy.png", "Sunset.jpg"}),
                  rowsOf(list));
        ASSERT_EQ(5, list->count());
        EXPECT_EQ(QSize(55, 55), list->item(4)->icon().actualSize(QSize(100, 100)));
        tapRow(list, QStringLiteral("Sunset.jpg"));
    });
    ASSERT_EQ(TRUE, GetOpenFileNameEx(&ofn));
    EXPECT_EQ(u"\\My Documents\\My Pictures\\Sunset.jpg", std::u16string(file));
    EXPECT_EQ(26, ofn.nFileOffset);

    // The same scripted answers as the file picker; cancel answers FALSE.
    handset::scriptPickerAnswers({u"\\My Documents\\My Pictures\\Daisy.png", u"cancel"});
    EXPECT_EQ(TRUE, GetOpenFileNameEx(&ofn));
    EXPECT_EQ(u"\\My Documents\\My Pictures\\Daisy.png", std::u16string(file));
    EXPECT_EQ(FALSE, GetOpenFileNameEx(&ofn));
}

}  // namespace
