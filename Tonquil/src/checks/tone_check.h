// The tone check: every tone assignment (caller class, category, contact;
// ring and SMS) whose file the device lacks or the media player cannot open.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <handset/com_ptr.h>
#include <handset/pimstore.h>
#include <handset/wmp.h>
#include <settings/settings.h>

namespace tonquil {

enum class ToneOwner { CallerClass, Category, Contact };
enum class ToneFault { Missing, CannotOpen };

// Where a tone is assigned, and the tone.
struct ToneAssignment {
    ToneOwner owner = ToneOwner::CallerClass;
    settings::CallerClass callerClass = settings::KnownCaller;  // for a caller class
    std::u16string name;  // the class's row text, the category's or the contact's name
    ULONG oid = 0;        // for a contact
    bool sms = false;     // the SMS tone, else the ring tone
    settings::TonePath tone;
};

struct ToneProblem {
    ToneAssignment where;
    ToneFault fault = ToneFault::Missing;
};

// Whether the media player can open a tone file, asked once per path. A
// file the device lacks is decided without the player; one the device has
// is opened paused, so nothing sounds, and closed again.
class TonePlayability {
public:
    TonePlayability();

    // Missing, CannotOpen, or nothing for a file that opens (and for an
    // empty path, which is no tone rather than a broken one).
    std::optional<ToneFault> fault(const settings::TonePath& tone);

private:
    bool opens(const settings::TonePath& tone);

    handset::ComPtr<IWMPPlayer> m_player;
    std::map<settings::TonePath, std::optional<ToneFault>> m_known;
};

// Every tone set anywhere: the three caller classes, the categories of the
// contacts database, then the contacts in the folder's order; ring before
// SMS for each.
std::vector<ToneAssignment> listToneAssignments(IPOutlookApp2* contacts);

// The assignments whose tone cannot play, in the same order.
std::vector<ToneProblem> checkTones(IPOutlookApp2* contacts, TonePlayability& playability);

// The row that shows a problem: the file, its fault, where it is assigned
// and its folder ("Anna.wav (file missing): contact "Berg, Anna", ring
// tone, in \My Documents\My Ringtones").
std::u16string problemText(const ToneProblem& problem);

// The caller classes as the System page names them.
std::u16string callerClassName(settings::CallerClass callerClass);

}  // namespace tonquil
