// tonquil_screenshots FOLDER: pictures of the configuration application as
// the user sees it, on a fresh temporary device and the offscreen platform:
// the sheet on each tab, the profile settings dialog, the schedule
// dialog, the About box, the timed profile and repeated calls dialogs, the
// "Profile" menu open, the caller settings dialog
// while it previews a tone, the file picker and the category settings
// dialog. One PNG per view; their
// paths are printed.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QTimer>

#include <QAbstractButton>

#include <handset/cedb.h>
#include <handset/device.h>
#include <handset/factory.h>
#include <handset/files.h>
#include <handset/ui.h>
#include <settings/settings.h>

#include <app/main_sheet.h>
#include <categories/categories_ids.h>
#include <resource.h>
#include <system/system_ids.h>

namespace {

namespace fs = std::filesystem;

fs::path gFolder;
int gFailures = 0;

void save(CWnd* form, const std::string& name)
{
    QApplication::processEvents();
    const fs::path file = gFolder / (name + ".png");
    if (handset::ui::grabForm(form, file.string())) {
        std::printf("%s\n", file.c_str());
    } else {
        std::fprintf(stderr, "tonquil_screenshots: could not save %s\n", file.c_str());
        ++gFailures;
    }
}

// Sends a page the tap on row `row` of its list `listId`.
void tapRow(CWnd* page, int listId, int row)
{
    auto* list = static_cast<CListCtrl*>(page->GetDlgItem(listId));
    list->SetSelectionMark(row);
    NMITEMACTIVATE tap{};
    tap.hdr = {list->m_hWnd, static_cast<UINT_PTR>(listId), NM_CLICK};
    SendMessage(page->m_hWnd, WM_NOTIFY, static_cast<WPARAM>(listId), reinterpret_cast<LPARAM>(&tap));
}

// Opens a dialog by a command of a page and saves it, then closes it.
void shootDialog(CWnd* page, UINT command, const std::string& name, std::function<void(CWnd*)> prepare = {})
{
    handset::ui::whenNextFormShown([name, prepare](CWnd* dialog) {
        if (prepare)
            prepare(dialog);
        save(dialog, name);
        SendMessage(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    });
    SendMessage(page->m_hWnd, WM_COMMAND, command, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tonquil_screenshots FOLDER\n");
        return 2;
    }
    gFolder = fs::absolute(argv[1]);
    fs::create_directories(gFolder);
    const fs::path device = fs::temp_directory_path() / ("tonquil-screenshots-" + std::to_string(::getpid()));
    // A factory-made device has the stock sounds; the ring tone folder gets
    // copies, as the installer makes them.
    ::setenv("HANDSET_AUDIO", "none", 1);
    if (!handset::createDevice(device, handset::ReplaceExisting::Yes).ok()) {
        std::fprintf(stderr, "tonquil_screenshots: could not make a device in %s\n", device.c_str());
        return 1;
    }
    CreateDirectory(u"\\My Documents\\My Ringtones", nullptr);
    for (const char16_t* name : {u"Ring.wav", u"Alert.wav", u"Chimes.mp3", u"Melody.mid"})
        CopyFile((std::u16string(u"\\Windows\\") + name).c_str(),
                 (std::u16string(u"\\My Documents\\My Ringtones\\") + name).c_str(), TRUE);
    // Known callers have both tones (both marks on their row), unknown callers only an SMS tone.
    settings::writeClassRingTone(settings::KnownCaller, u"\\My Documents\\My Ringtones\\Ring.wav");
    settings::writeClassSmsTone(settings::KnownCaller, u"\\My Documents\\My Ringtones\\Alert.wav");
    settings::writeClassSmsTone(settings::UnknownCaller, u"\\My Documents\\My Ringtones\\Chimes.mp3");
    // Categories: Family is VIP with a ring tone (bold, the note), Work is
    // Mute with an SMS tone (grey, the envelope), the others plain.
    for (const char16_t* name : {u"Work", u"Family", u"Business", u"Friends"})
        (void)handset::addCategory(name);
    settings::writeCategoryRingTone(u"Family", u"\\My Documents\\My Ringtones\\Chimes.mp3");
    settings::writeCategorySmsTone(u"Family", u"");
    settings::writeCategoryPriority(u"Family", settings::PriorityVip);
    settings::writeCategoryRingTone(u"Work", u"");
    settings::writeCategorySmsTone(u"Work", u"\\My Documents\\My Ringtones\\Alert.wav");
    settings::writeCategoryPriority(u"Work", settings::PriorityMute);
    handset::ui::ensureApplication();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    settings::resetProfiles();
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    const settings::ScheduleEntry entries[] = {{7 * 60, 0}, {12 * 60 + 30, 1}, {22 * 60, 2}};
    settings::writeSchedule(entries, 3);

    tonquil::CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        const char* names[] = {"sheet-contacts", "sheet-categories", "sheet-system", "sheet-profiles"};
        for (int i = 0; i < 4; ++i) {
            sheet.SetActivePage(i);
            save(form, names[i]);
        }
        CWnd* profiles = sheet.GetPage(3);
        shootDialog(profiles, 1056, "profile-dialog");
        SHSetNavBarText(sheet.m_hWnd, u"Tonquil");
        shootDialog(profiles, 1057, "schedule-dialog");
        SHSetNavBarText(sheet.m_hWnd, u"Tonquil");
        handset::ui::whenNextFormShown([](CWnd* about) {
            save(about, "about-box");
            handset::ui::tapNavBarButton(about->m_hWnd);
        });
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(profiles->m_hWnd), tonquil::res::ID_ABOUT);
        // The quiet-hours dialogs of the two popups.
        for (const auto& [command, name] : {std::pair{tonquil::res::ID_TIMED_PROFILE, "timed-profile-dialog"},
                                            std::pair{tonquil::res::ID_REPEATED_CALLS, "repeated-calls-dialog"}}) {
            handset::ui::whenNextFormShown([name](CWnd* dialog) {
                save(dialog, name);
                SendMessage(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
            });
            handset::ui::chooseMenuItem(handset::ui::menuBarOf(profiles->m_hWnd), command);
        }
        // The "Profile" popup open over the sheet.
        handset::ui::pressSoftKey(handset::ui::menuBarOf(profiles->m_hWnd), 0);
        QApplication::processEvents();
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            QImage shot = form->widget()->window()->grab().toImage();
            QPainter painter(&shot);
            const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - form->widget()->window()->mapToGlobal(QPoint(0, 0));
            painter.drawPixmap(at, popup->grab());
            painter.end();
            const fs::path file = gFolder / "sheet-profile-menu.png";
            if (shot.save(QString::fromStdString(file.string())))
                std::printf("%s\n", file.c_str());
            popup->close();
        }
        // The caller dialog of the first row while it previews its ring tone,
        // then the file picker its tone button opens.
        sheet.SetActivePage(2);
        handset::ui::whenNextFormShown([](CWnd* dialog) {
            if (auto* play = qobject_cast<QAbstractButton*>(
                    dialog->GetDlgItem(tonquil::ids::kCallerRingSlot.play)->widget()))
                play->click();
            save(dialog, "caller-dialog-preview");
            handset::ui::whenNextFormShown([](CWnd* picker) {
                save(picker, "file-picker");
                SendMessage(picker->m_hWnd, WM_COMMAND, IDCANCEL, 0);
            });
            if (auto* tone = qobject_cast<QAbstractButton*>(
                    dialog->GetDlgItem(tonquil::ids::kCallerRingSlot.toneButton)->widget()))
                tone->click();
            SendMessage(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        tapRow(sheet.GetPage(2), tonquil::ids::IDC_SYSTEM_LIST, 0);
        // The dialog of the VIP category (the second row: Business, Family, ...).
        sheet.SetActivePage(1);
        handset::ui::whenNextFormShown([](CWnd* dialog) {
            save(dialog, "category-dialog");
            SendMessage(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        tapRow(sheet.GetPage(1), tonquil::ids::IDC_CATEGORY_LIST, 1);
        sheet.EndDialog(IDCANCEL);
    });
    sheet.DoModal();
    CoUninitialize();
    std::error_code ec;
    if (!std::getenv("TONQUIL_SCREENSHOTS_KEEP_DEVICE"))
        fs::remove_all(device, ec);
    else
        std::fprintf(stderr, "device kept in %s\n", device.c_str());
    return gFailures == 0 ? 0 : 1;
}
