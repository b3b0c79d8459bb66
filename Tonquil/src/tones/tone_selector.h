// The tone selector shared by the settings dialogs: two tone slots (ring
// tone and SMS tone), each a path with its tone button and its Play and
// Stop buttons, and the preview player that plays one slot at a time.
//
// A settings dialog derives from CToneDialog, names its slots' controls, and
// fills the slots' paths when it opens (setSlotPath); what it stores when
// the user confirms is slot(...).path. Nothing here writes settings.
#pragma once

#include <string>

#include <handset/ui.h>
#include <handset/wmp.h>

#include <about/bitmap_button.h>

namespace tonquil {

// The text of a tone button without a tone, and the application's name (the
// caption of the selector's message boxes).
inline constexpr const char16_t* kSelectTone = u"<Select tone>";
inline constexpr const char16_t* kApplicationName = u"Tonquil";

// The longest path a slot holds: the system's path buffers hold 255
// characters and the terminator.
constexpr std::size_t kMaxTonePath = 255;

// The notice shown instead of a preview of a MIDI tone when the platform
// has no MIDI file type.
inline constexpr const char16_t* kMidiNotice =
    u"You have selected MIDI ring tone. MIDI ring tones are fully supported by Tonquil, but on some devices "
    u"their preview is not available. However, when you receive a phone call or text message selected ring "
    u"tone will be played correctly.";

// The message that refuses a file whose path is too long to be stored.
inline constexpr const char16_t* kPathTooLong =
    u"The path of this file is longer than 255 characters, so it cannot be stored. Choose a file from a folder "
    u"with a shorter path.";

// The plain button text: the placeholder for an empty path, else the part
// after the last backslash (all of it without one), never shortened.
std::u16string toneTitle(const std::u16string& path);

// The fitted button text: the path trimmed of white space at both ends
// (the path itself stays as it is); the placeholder when nothing is left;
// else the part after the last backslash, cut from its end one character
// at a time until its width in `button`'s font is less than the button's
// client width minus 3 pixels. No ellipsis.
std::u16string toneTitle(const std::u16string& path, CWnd& button, const std::u16string& placeholder);


// The control ids of one slot.
struct ToneSlotIds {
    int toneButton;
    int play;
    int stop;
};

struct ToneSlot {
    std::u16string path;           // empty: no tone
    ToneSlotIds ids{};
    CWnd* toneButton = nullptr;    // the dialog's own control
    CBitmapButton play;
    CBitmapButton stop;
};

class CToneDialog : public CDialog {
public:
    enum SlotIndex { RingSlot = 0, SmsSlot = 1 };
    enum class TitleForm { Plain, Fitted };

    // `lastPlayState` is the dialog class's own (one per class, for the
    // life of the process). The preview player is created here.
    CToneDialog(UINT nIDTemplate, CWnd* pParentWnd, ToneSlotIds ring, ToneSlotIds sms, TitleForm form,
                std::u16string placeholder, int& lastPlayState);
    // Releases the player, which ends any preview still playing.
    ~CToneDialog() override;

    ToneSlot& slot(SlotIndex index) { return m_slots[index]; }
    // The preview player; null when it could not be created.
    IWMPPlayer* player() const { return m_player; }

    // Ties the slots to their controls and loads the Play and Stop bitmaps
    // (the dialog's initialisation calls it first).
    void initToneSlots();
    // Sets a slot's path and its button's text.
    void setSlotPath(SlotIndex index, const std::u16string& path);
    // The button text for a path, in this dialog's form.
    std::u16string titleFor(SlotIndex index, const std::u16string& path);

    void chooseTone(SlotIndex index);
    void startPreview(SlotIndex index);
    void stopPreview();
    void previewTick();
    void removeTone(SlotIndex index);

    // The slots' buttons (choose, Play, Stop) and the menu's Remove Ring
    // Tone and Remove SMS Tone.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Cancel stops the preview and closes; the dialog stores nothing.
    void OnCancel() override;
    // Every timer message runs the preview tick.
    void OnTimer(UINT_PTR nIDEvent) override;

    // The preview timer.
    static constexpr UINT_PTR kPreviewTimer = 1;
    static constexpr UINT kPreviewPeriod = 500;

    // The colour of the heading the settings dialogs paint above their
    // controls.
    static constexpr COLORREF kHeadingColour = 0x009C0000;

protected:
    // Makes the dialog's menu bar from `menuId`; null when it cannot be made.
    virtual HWND makeMenuBar(UINT menuId);
    // The dialog showed the stored values (so OK may store what it shows).
    void valuesShown() { m_valuesShown = true; }
    // OK of a dialog that never showed the stored values: its controls hold
    // nothing of the user's, so it stores nothing and ends as a Cancel.
    // True when it did so.
    bool refuseUnshownOk();

    // Paints the dialog's heading: `text` in a bold copy of the paint
    // context's font, dark blue, on one line vertically centred between
    // x = 8, y = 0 and the screen's width, y = `height`, over a black line
    // at y = `height` across the screen.
    void paintHeading(const std::u16string& text, int height);

private:
    void showIdle();

    ToneSlot m_slots[2];
    TitleForm m_form;
    std::u16string m_placeholder;
    int& m_lastPlayState;
    IWMPPlayer* m_player = nullptr;
    bool m_valuesShown = false;
};

}  // namespace tonquil
