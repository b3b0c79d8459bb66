// Tonquil's resource, control and command ids: the program's resource
// design. The .res files in resources/ use the same numbers, and tests find
// controls by them. The pages and dialogs keep the ids only they use in
// their own headers (src/profiles/profiles_ids.h, src/about/about_ids.h).
#pragma once

namespace tonquil::res {

// Dialog templates.
constexpr unsigned IDD_CONTACTS_PAGE = 103;
constexpr unsigned IDD_PROFILES_PAGE = 104;
constexpr unsigned IDD_PROFILE_SETTINGS = 105;
constexpr unsigned IDD_SCHEDULE_SETTINGS = 106;
constexpr unsigned IDD_CATEGORIES_PAGE = 107;
constexpr unsigned IDD_SYSTEM_PAGE = 111;
constexpr unsigned IDD_CALLER_SETTINGS = 112;
constexpr unsigned IDD_CATEGORY_SETTINGS = 136;
constexpr unsigned IDD_CONTACT_SETTINGS = 137;
constexpr unsigned IDD_ABOUT = 138;
constexpr unsigned IDD_TEST_CALL = 180;
constexpr unsigned IDD_CHECK_TONES = 181;
constexpr unsigned IDD_TIMED_PROFILE = 183;
constexpr unsigned IDD_REPEATED_CALLS = 184;

// Menu bars.
constexpr unsigned IDR_MENU_OKCANCEL = 135;
constexpr unsigned IDR_MENU_MAIN = 144;
constexpr unsigned IDR_MENU_CONTACT = 147;
constexpr unsigned IDR_MENU_SETTINGS = 148;
constexpr unsigned IDR_MENU_DONE = 182;  // the check dialogs: Done alone

// Bitmaps and the icon.
constexpr unsigned IDI_TONQUIL = 102;
constexpr unsigned IDB_NOTE = 138;
constexpr unsigned IDB_ENVELOPE = 139;
constexpr unsigned IDB_NO_PICTURE = 143;
constexpr unsigned IDB_LOGO = 150;
constexpr unsigned IDB_LINK = 151;
constexpr unsigned IDB_PLAY = 154;
constexpr unsigned IDB_PLAY_FOCUS = 155;
constexpr unsigned IDB_PLAY_PRESSED = 156;
constexpr unsigned IDB_NOTE_MASK = 165;
constexpr unsigned IDB_ENVELOPE_MASK = 166;
constexpr unsigned IDB_STOP = 171;
constexpr unsigned IDB_STOP_FOCUS = 172;
constexpr unsigned IDB_STOP_PRESSED = 173;

// The pages' bold titles.
constexpr int IDC_CONTACTS_TITLE = 1062;
constexpr int IDC_CATEGORIES_TITLE = 1063;
constexpr int IDC_SYSTEM_TITLE = 1064;

// The commands of menu 144, the menu bar of every page.
constexpr unsigned ID_PROFILE_NORMAL = 32790;
constexpr unsigned ID_PROFILE_DISCREET = 32791;
constexpr unsigned ID_PROFILE_SILENT = 32792;
constexpr unsigned ID_PROFILE_LOUD = 32793;
constexpr unsigned ID_PROFILE_CUSTOM = 32794;
constexpr unsigned ID_PROFILE_SCHEDULE = 32795;
constexpr unsigned ID_VIP_SETTINGS = 32775;
constexpr unsigned ID_GET_RING_TONES = 32814;
constexpr unsigned ID_TEST_A_CALL = 32815;
constexpr unsigned ID_CHECK_TONES = 32816;
constexpr unsigned ID_TIMED_PROFILE = 32817;
constexpr unsigned ID_REPEATED_CALLS = 32818;
constexpr unsigned ID_BACKUP_SETTINGS = 32819;
constexpr unsigned ID_RESTORE_SETTINGS = 32820;
constexpr unsigned ID_CHECK_FOR_UPDATE = 32812;
constexpr unsigned ID_ABOUT = 32784;

// Commands of the settings dialogs' menus.
constexpr unsigned ID_REMOVE_RING_TONE = 32779;
constexpr unsigned ID_REMOVE_SMS_TONE = 32780;
constexpr unsigned ID_REMOVE_PICTURE = 32781;

}  // namespace tonquil::res
