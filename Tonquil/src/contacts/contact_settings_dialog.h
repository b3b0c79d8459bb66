// CContactSettingsDialog: one contact's ring tone, SMS tone, priority,
// category and picture, with the contact's name painted as the heading.
// It reads the contact when it opens and writes it once, at OK; Cancel
// writes nothing. A contact that cannot be read ends the dialog with -1
// after saying so.
#pragma once

#include <cstdint>
#include <string>

#include <handset/com_ptr.h>
#include <handset/imaging.h>
#include <handset/pimstore.h>
#include <tones/tone_selector.h>

namespace tonquil {

inline constexpr const char16_t* kCannotLoadContact = u"Cannot load contact from database.";
// The message that refuses a category whose name is too long to be stored.
inline constexpr const char16_t* kCategoryTooLong =
    u"The name of this category is longer than 63 characters, so it cannot be stored with the contact.";
// What the category list shows for no category; always its first entry.
inline constexpr const char16_t* kNoCategory = u"<None>";

// The longest category name stored with a contact.
constexpr std::size_t kMaxCategoryName = 63;

// The size of a contact's thumbnail: 55 pixels high, as wide as the
// picture's proportions give (in single precision, truncated).
struct ThumbnailSize {
    UINT width;
    UINT height;
};
ThumbnailSize thumbnailSize(UINT pictureWidth, UINT pictureHeight);
// A thumbnail wider than `room` shrunk to that width, the picture's
// proportions kept (its height truncated, at least 1); one that fits as it is.
ThumbnailSize fitThumbnail(ThumbnailSize size, UINT pictureWidth, UINT pictureHeight, UINT room);

class CContactSettingsDialog : public CToneDialog {
public:
    // `contacts`: the logged-on contacts application (the application's slot by default).
    CContactSettingsDialog(ULONG oid, CWnd* pParentWnd = nullptr, IPOutlookApp2* contacts = nullptr);
    ~CContactSettingsDialog() override;

    // The priority OK stored (the contacts page reads it after OK).
    std::uint16_t priority() const { return m_priority; }
    const std::u16string& heading() const { return m_heading; }
    const std::u16string& picturePath() const { return m_picturePath; }

    // The Play and Stop bitmaps, the menu bar (147), then the contact: its
    // tones, priority, heading, categories and picture.
    BOOL OnInitDialog() override;
    // Remove Ring Tone, Remove SMS Tone, Remove Picture, a tap on the
    // picture, a chosen category; then the tone selector's commands.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    // Closes without saving; unlike the other tone dialogs it leaves a
    // preview playing.
    void OnCancel() override;
    void OnPaint() override;

    // The band of the heading and the line under it.
    static constexpr int kHeadingHeight = 20;
    // A thumbnail's right edge and top; the no-picture bitmap's bottom right corner.
    static constexpr int kThumbnailRight = 238;
    static constexpr int kThumbnailTop = 123;
    static constexpr POINT kNoPictureCorner{235, 180};

private:
    bool openContact();
    void fillCategories();
    void categoryChosen();
    void choosePicture();
    void removePicture();
    // Shows the image's 55-pixel-high thumbnail in the picture control;
    // false (the control unchanged) when any step fails.
    bool showThumbnail(IImage* image);
    // The widest thumbnail that leaves the drop-down boxes uncovered.
    UINT thumbnailRoom();
    void savePicture();
    void saveProperties();

    ULONG m_oid;
    IPOutlookApp2* m_contacts;
    handset::ComPtr<IItem> m_item;
    std::u16string m_firstName, m_lastName, m_company, m_heading;
    std::uint16_t m_priority = 0;
    std::u16string m_category;       // the contact's first category as read
    int m_categoryIndex = 0;         // the category entry last accepted
    std::u16string m_picturePath;
    bool m_pictureChanged = false;
    HBITMAP m_thumbnail = nullptr;   // the bitmap shown, when it is ours
};

}  // namespace tonquil
