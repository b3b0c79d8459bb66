// tonquil_screenshots FOLDER: pictures of the configuration application as
// the user sees it, on a fresh temporary device and the offscreen platform:
// the sheet on each tab, the profile settings dialog, the schedule
// dialog, the About box and the "Profile" menu open. One PNG per view; their
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

#include <handset/device.h>
#include <handset/ui.h>
#include <settings/settings.h>

#include <app/main_sheet.h>
#include <resource.h>

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
    for (const char* sub : {"fs/Windows", "fs/My Documents", "fs/Program Files", "log", "run"})
        fs::create_directories(device / sub);
    handset::setDeviceRoot(device);
    handset::ui::ensureApplication();
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
        sheet.EndDialog(IDCANCEL);
    });
    sheet.DoModal();
    std::error_code ec;
    if (!std::getenv("TONQUIL_SCREENSHOTS_KEEP_DEVICE"))
        fs::remove_all(device, ec);
    else
        std::fprintf(stderr, "device kept in %s\n", device.c_str());
    return gFailures == 0 ? 0 : 1;
}
