// The tone selector in the caller dialog, through its real widgets and a
// real player (the sound captured): the button texts, the preview's Play
// and Stop states, the MIDI notice, the file picker and Remove.
#include <fstream>

#include <QFontMetrics>
#include <QTest>

#include <handset/pickers.h>
#include <handset/wstring.h>
#include <handset/registry.h>
#include <system/system_ids.h>
#include <tones/tone_selector.h>

#include "profiles_message_capture.h"
#include "tones_dialog.h"

using namespace tonquil;
using namespace tones_test;

namespace {

constexpr int kRingTone = ids::kCallerRingSlot.toneButton;
constexpr int kRingPlay = ids::kCallerRingSlot.play;
constexpr int kRingStop = ids::kCallerRingSlot.stop;
constexpr int kSmsPlay = ids::kCallerSmsSlot.play;
constexpr int kSmsStop = ids::kCallerSmsSlot.stop;

bool playing(CToneDialog& dialog)
{
    return playState(dialog) == wmppsPlaying;
}

class ToneSelectorTest : public ToneDialogTest {};

TEST_F(ToneSelectorTest, ButtonTextsInBothForms)
{
    CSetCaller dialog(nullptr, settings::KnownCaller, u"Known caller");
    runCaller(dialog, [](CSetCaller& d) {
        CWnd& button = *d.GetDlgItem(kRingTone);
        const std::u16string longName(80, u'w');
        struct Row {
            std::u16string path, fitted, plain;
        };
        for (const Row& row : {
                 Row{u"", u"<Select tone>", u"<Select tone>"},
                 Row{u" \t ", u"<Select tone>", u" \t "},  // only the fitted form trims
                 Row{u"\\My Documents\\My Ringtones\\Bell.wav", u"Bell.wav", u"Bell.wav"},
                 Row{u"Bell.wav", u"Bell.wav", u"Bell.wav"},
                 Row{u"  \\Windows\\Bell.wav \t", u"Bell.wav", u"Bell.wav \t"},
             }) {
            SCOPED_TRACE(handset::toUtf8(row.path));
            EXPECT_EQ(row.fitted, toneTitle(row.path, button, kSelectTone));
            EXPECT_EQ(row.plain, toneTitle(row.path));
        }
        EXPECT_EQ(u"<select tone>", toneTitle(u"", button, u"<select tone>"));

        // A long name loses characters from its end until it is narrower than
        // the button's client width less 3 pixels; the plain form keeps it whole.
        const std::u16string fitted = toneTitle(u"\\A\\" + longName, button, kSelectTone);
        const QFontMetrics metrics(button.widget()->font());
        const int room = button.widget()->width() - 3;
        ASSERT_LT(fitted.size(), longName.size());
        EXPECT_EQ(longName.substr(0, fitted.size()), fitted);
        EXPECT_LT(metrics.horizontalAdvance(QString::fromStdU16String(fitted)), room);
        EXPECT_GE(metrics.horizontalAdvance(QString::fromStdU16String(fitted + u"w")), room);
        EXPECT_EQ(longName, toneTitle(u"\\A\\" + longName));
    });

}

TEST_F(ToneSelectorTest, PreviewShowsStopUntilTheTickSeesPlayingEnd)
{
    settings::writeClassRingTone(settings::KnownCaller, kShortTone);
    CSetCaller dialog(nullptr, settings::KnownCaller, u"Known caller");
    runCaller(dialog, [&](CSetCaller& d) {
        // An empty slot has nothing to play.
        click(&d, kSmsPlay);
        EXPECT_TRUE(shown(&d, kSmsPlay));
        EXPECT_FALSE(shown(&d, kSmsStop));

        click(&d, kRingPlay);
        EXPECT_FALSE(shown(&d, kRingPlay));
        EXPECT_TRUE(shown(&d, kRingStop));
        EXPECT_EQ(d.GetDlgItem(kRingStop)->widget(), d.widget()->window()->focusWidget());
        EXPECT_TRUE(waitUntil([&] { return !wmp_test::filesIn(capture()).empty(); }));
        EXPECT_TRUE(waitUntil([&] { return shown(&d, kRingPlay); }));
        EXPECT_FALSE(shown(&d, kRingStop));
    });
}

TEST_F(ToneSelectorTest, FileThePlayerCannotPlayKeepsStopShown)
{
    std::ofstream(handset::deviceFileSystem() / "My Documents" / "Broken.wav") << "not a sound";
    settings::writeClassRingTone(settings::KnownCaller, u"\\My Documents\\Broken.wav");
    CSetCaller dialog(nullptr, settings::KnownCaller, u"Known caller");
    runCaller(dialog, [&](CSetCaller& d) {
        click(&d, kRingPlay);
        ASSERT_TRUE(waitUntil([&] { return playState(d) == wmppsReady; }));
        QTest::qWait(1200);  // at least two ticks of the preview timer
        EXPECT_TRUE(shown(&d, kRingStop));
        EXPECT_FALSE(shown(&d, kRingPlay));
        click(&d, kRingStop);
        EXPECT_TRUE(shown(&d, kRingPlay));
        EXPECT_EQ(d.GetDlgItem(kRingPlay)->widget(), d.widget()->window()->focusWidget());
    });
}

TEST_F(ToneSelectorTest, OneSlotPreviewsAtATimeAndChoosingOrRemovingActsOnIt)
{
    settings::writeClassRingTone(settings::UnknownCaller, kLongTone);
    settings::writeClassSmsTone(settings::UnknownCaller, kLongTone);
    CSetCaller dialog(nullptr, settings::UnknownCaller, u"Unknown caller");
    runCaller(dialog, [&](CSetCaller& d) {
        click(&d, kRingPlay);
        EXPECT_TRUE(waitUntil([&] { return playing(d); }));
        click(&d, kSmsPlay);
        EXPECT_TRUE(shown(&d, kRingPlay));
        EXPECT_FALSE(shown(&d, kRingStop));
        EXPECT_TRUE(shown(&d, kSmsStop));

        // Remove leaves the preview playing.
        EXPECT_TRUE(waitUntil([&] { return playing(d); }));
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(d.m_hWnd), res::ID_REMOVE_SMS_TONE);
        EXPECT_EQ(u"<Select tone>", textOf(&d, ids::kCallerSmsSlot.toneButton));
        EXPECT_TRUE(d.slot(CToneDialog::SmsSlot).path.empty());
        EXPECT_TRUE(playing(d));
        EXPECT_TRUE(shown(&d, kSmsStop));

        // Choosing stops the preview first, even when the picker is cancelled.
        handset::scriptPickerAnswers({u"cancel"});
        click(&d, kRingTone);
        EXPECT_EQ(wmppsStopped, playState(d));
        EXPECT_TRUE(shown(&d, kSmsPlay));
        EXPECT_FALSE(shown(&d, kSmsStop));
        EXPECT_EQ(kLongTone, d.slot(CToneDialog::RingSlot).path);
        EXPECT_EQ(u"Long.wav", textOf(&d, kRingTone));

        click(&d, kRingPlay);
        EXPECT_TRUE(waitUntil([&] { return playing(d); }));
        d.SendMessage(WM_COMMAND, IDOK);  // OK stops it too
        EXPECT_EQ(wmppsStopped, playState(d));
    });
}

TEST_F(ToneSelectorTest, MidiWithoutItsTypeShowsTheNoticeEveryTimeAndNeverPlays)
{
    const std::u16string tune = u"\\My Documents\\My Ringtones\\Tune.mid";
    wmp_test::writeMidi(handset::deviceFileSystem() / "My Documents" / "My Ringtones" / "Tune.mid", 2);
    settings::writeClassRingTone(settings::KnownCaller, tune);
    profiles_test::MessageCapture boxes;
    CSetCaller dialog(nullptr, settings::KnownCaller, u"Known caller");
    runCaller(dialog, [&](CSetCaller& d) {
        click(&d, kRingPlay);
        click(&d, kRingPlay);
        EXPECT_EQ((std::vector<std::u16string>{kMidiNotice, kMidiNotice}), boxes.texts());
        EXPECT_TRUE(shown(&d, kRingPlay));
        EXPECT_FALSE(shown(&d, kRingStop));
        EXPECT_EQ(wmppsUndefined, playState(d));  // it was never given the file

        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CLASSES_ROOT, u"Media Type\\Extensions\\.mid", 0, nullptr, 0,
                                                0, nullptr, &key, nullptr));
        RegCloseKey(key);
        click(&d, kRingPlay);
        EXPECT_EQ(2u, boxes.texts().size());
        EXPECT_TRUE(shown(&d, kRingStop));
        EXPECT_NE(wmppsUndefined, playState(d));
    });
}

TEST_F(ToneSelectorTest, PathTooLongForTheBuffersIsRefusedAndTheSlotKeepsItsTone)
{
    settings::writeClassRingTone(settings::KnownCaller, kShortTone);
    const std::u16string tooLong = u"\\My Documents\\" + std::u16string(250, u'x') + u".wav";
    const std::u16string longest = u"\\" + std::u16string(250, u'y') + u".wav";  // 255 characters
    ASSERT_EQ(255u, longest.size());
    handset::scriptPickerAnswers({tooLong, longest});
    profiles_test::MessageCapture boxes;
    CSetCaller dialog(nullptr, settings::KnownCaller, u"Known caller");
    runCaller(dialog, [&](CSetCaller& d) {
        click(&d, kRingTone);
        EXPECT_EQ(std::vector<std::u16string>{kPathTooLong}, boxes.texts());
        EXPECT_EQ(kShortTone, d.slot(CToneDialog::RingSlot).path);
        EXPECT_EQ(u"Short.wav", textOf(&d, kRingTone));
        click(&d, kRingTone);
        EXPECT_EQ(longest, d.slot(CToneDialog::RingSlot).path);
        EXPECT_EQ(1u, boxes.texts().size());
    });
}

}  // namespace
