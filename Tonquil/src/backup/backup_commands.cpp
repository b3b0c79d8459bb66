#include "backup_commands.h"

#include <handset/msgbox.h>
#include <handset/wstring.h>

#include <app/tonquil_app.h>

#include "backup.h"
#include "restore.h"

namespace tonquil {
namespace {

constexpr char16_t kBackupCaption[] = u"Back Up Settings";
constexpr char16_t kRestoreCaption[] = u"Restore Settings";
constexpr char16_t kFilter[] = u"Tonquil backups (*.tqb)|*.tqb|All files (*.*)|*.*||";

int ask(CWnd* owner, const std::u16string& text, const char16_t* caption, UINT type)
{
    return MessageBox(owner ? owner->m_hWnd : nullptr, text.c_str(), caption, type);
}

std::u16string lines(const std::vector<std::u16string>& items)
{
    std::u16string text;
    constexpr std::size_t kShown = 8;
    for (std::size_t i = 0; i < items.size() && i < kShown; ++i)
        text += u"\n" + items[i];
    if (items.size() > kShown)
        text += u"\nand " + handset::fromUtf8(std::to_string(items.size() - kShown)) + u" more";
    return text;
}

}  // namespace

void backUpSettingsCommand(CWnd* owner, IPOutlookApp2* contacts)
{
    if (!contacts)
        contacts = contactsApplication();
    CFileDialog picker(FALSE, backup::kBackupExtension, backup::kDefaultBackupPath, OFN_OVERWRITEPROMPT, kFilter,
                       owner);
    picker.m_ofn.lpstrTitle = kBackupCaption;
    if (picker.DoModal() != IDOK)
        return;
    const int include = ask(owner,
                            u"Include tone files?\n\nYes copies each tone file the settings use into the backup, "
                            u"so that a new phone gets them too.",
                            kBackupCaption, MB_YESNOCANCEL | MB_ICONQUESTION);
    if (include == IDCANCEL)
        return;

    backup::BackupReport report;
    {
        CWaitCursor wait;
        report = backup::backUpSettings(contacts, picker.GetPathName(),
                                        include == IDYES ? backup::ToneFiles::Include : backup::ToneFiles::Leave);
    }
    if (!report.ok) {
        ask(owner, u"The backup could not be made: " + handset::fromUtf8(report.error) + u".\n\n" +
                       picker.GetPathName() + u" was not changed.",
            kBackupCaption, MB_OK | MB_ICONERROR);
        return;
    }
    auto number = [](std::size_t n) { return handset::fromUtf8(std::to_string(n)); };
    std::u16string text = u"Backed up to " + picker.GetPathName() + u":\n" + number(report.contacts) +
                          u" contacts' settings, " + number(report.keys) + u" settings keys, " +
                          number(report.toneFiles) + u" tone files.";
    if (!report.missingTones.empty())
        text += u"\n\nTone files the settings name but this phone does not have (" +
                number(report.missingTones.size()) + u"):" + lines(report.missingTones);
    ask(owner, text, kBackupCaption, MB_OK | MB_ICONINFORMATION);
}

void restoreSettingsCommand(CWnd* owner, IPOutlookApp2* contacts)
{
    if (!contacts)
        contacts = contactsApplication();
    CFileDialog picker(TRUE, backup::kBackupExtension, nullptr, OFN_FILEMUSTEXIST, kFilter, owner);
    picker.m_ofn.lpstrTitle = kRestoreCaption;
    picker.m_ofn.lpstrInitialDir = u"\\My Documents";
    if (picker.DoModal() != IDOK)
        return;

    backup::PlanResult planned;
    {
        CWaitCursor wait;
        backup::ReadBackupResult read = backup::readBackupFile(picker.GetPathName());
        if (!read.ok()) {
            planned.error = read.error;
        } else {
            planned = backup::planRestore(contacts, std::move(*read.contents));
        }
    }
    if (!planned.ok()) {
        ask(owner, picker.GetPathName() + u" cannot be restored: " + handset::fromUtf8(planned.error) +
                       u".\n\nNothing was changed.",
            kRestoreCaption, MB_OK | MB_ICONERROR);
        return;
    }
    if (ask(owner, backup::restoreSummary(*planned.plan), kRestoreCaption, MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;

    backup::RestoreResult result;
    {
        CWaitCursor wait;
        result = backup::applyRestore(contacts, *planned.plan);
    }
    if (result.ok) {
        ask(owner, u"The settings were restored.", kRestoreCaption, MB_OK | MB_ICONINFORMATION);
    } else if (result.undone) {
        ask(owner, u"The settings could not be restored: " + handset::fromUtf8(result.error) +
                       u".\n\nThe phone was left as it was.",
            kRestoreCaption, MB_OK | MB_ICONERROR);
    } else {
        ask(owner, u"The settings could not be restored: " + handset::fromUtf8(result.error) +
                       u".\n\nTonquil's settings in the registry could not be put back either; restore the "
                       u"backup again.",
            kRestoreCaption, MB_OK | MB_ICONERROR);
    }
}

}  // namespace tonquil
