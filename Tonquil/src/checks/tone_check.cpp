#include "tone_check.h"

#include <chrono>
#include <thread>

#include <categories/category_records.h>
#include <contacts/contact_entries.h>
#include <settings/caller.h>
#include <settings/explain.h>

namespace tonquil {

using handset::ComPtr;

namespace {

// How long a file may take to open before it is given the benefit of the
// doubt: a slow card is no broken tone.
constexpr auto kOpenTimeout = std::chrono::seconds(3);

void addIfSet(std::vector<ToneAssignment>& list, ToneAssignment where, bool sms, settings::TonePath tone)
{
    if (tone.empty())
        return;
    where.sms = sms;
    where.tone = std::move(tone);
    list.push_back(std::move(where));
}

}  // namespace

std::u16string callerClassName(settings::CallerClass callerClass)
{
    switch (callerClass) {
    case settings::KnownCaller:
        return u"Known caller";
    case settings::UnknownCaller:
        return u"Unknown caller";
    default:
        return u"No caller ID";
    }
}

TonePlayability::TonePlayability()
{
    void* player = nullptr;
    if (CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer, &player) == S_OK)
        m_player.reset(static_cast<IWMPPlayer*>(player));
}

std::optional<ToneFault> TonePlayability::fault(const settings::TonePath& tone)
{
    if (tone.empty())
        return std::nullopt;
    if (auto known = m_known.find(tone); known != m_known.end())
        return known->second;
    std::optional<ToneFault> result;
    if (settings::toneFileMissing(tone))
        result = ToneFault::Missing;
    else if (!opens(tone))
        result = ToneFault::CannotOpen;
    m_known.emplace(tone, result);
    return result;
}

bool TonePlayability::opens(const settings::TonePath& tone)
{
    // Without a player nothing can be said against the file.
    if (!m_player)
        return true;
    std::u16string url = tone;
    if (FAILED(m_player->put_URL(url.data())))
        return true;
    ComPtr<IWMPControls> controls;
    if (SUCCEEDED(m_player->get_controls(controls.out())) && controls)
        controls->pause();
    WMPPlayState state = wmppsTransitioning;
    const auto deadline = std::chrono::steady_clock::now() + kOpenTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (FAILED(m_player->get_playState(&state)) || state != wmppsTransitioning)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_player->close();
    return state != wmppsReady;
}

std::vector<ToneAssignment> listToneAssignments(IPOutlookApp2* contacts)
{
    std::vector<ToneAssignment> list;
    settings::TonePath tone;

    for (settings::CallerClass callerClass : {settings::KnownCaller, settings::UnknownCaller, settings::NoCallerId}) {
        const ToneAssignment where{ToneOwner::CallerClass, callerClass, callerClassName(callerClass), 0, false, {}};
        settings::readClassRingTone(callerClass, tone);
        addIfSet(list, where, false, tone);
        settings::readClassSmsTone(callerClass, tone);
        addIfSet(list, where, true, tone);
    }

    for (const CategoryEntry& category : readCategories()) {
        const ToneAssignment where{ToneOwner::Category, settings::KnownCaller, category.name, 0, false, {}};
        settings::readCategoryRingTone(category.name, tone);
        addIfSet(list, where, false, tone);
        settings::readCategorySmsTone(category.name, tone);
        addIfSet(list, where, true, tone);
    }

    ComPtr<IFolder> folder;
    ComPtr<IPOutlookItemCollection> items;
    int count = 0;
    if (!contacts || FAILED(contacts->GetDefaultFolder(olFolderContacts, folder.out())) ||
        FAILED(folder->get_Items(items.out())) || FAILED(items->get_Count(&count)))
        return list;
    const CEPROPID props[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_RINGTONE,
                              namedContactIds(contacts).smsTone};
    const WORD propCount = props[4] == PIMPR_INVALID_ID ? 4 : 5;
    std::vector<BYTE> buffer(kPropBufferBytes);
    for (int i = 1; i <= count; ++i) {
        const FolderContact found = contactAt(contacts, items.get(), i);
        if (!found.item)
            continue;
        const CEPROPVAL* values = settings::readContactProps(found.item.get(), props, propCount, buffer);
        if (!values)
            continue;
        const std::u16string ring = propString(values[3]);
        const std::u16string sms = propCount == 5 ? propString(values[4]) : std::u16string();
        if (ring.empty() && sms.empty())
            continue;
        ToneAssignment where{ToneOwner::Contact, settings::KnownCaller,
                             contactHeading(propString(values[1]), propString(values[0]), propString(values[2])),
                             found.oid, false, {}};
        if (where.name.empty())
            where.name = u"(no name)";
        addIfSet(list, where, false, ring);
        addIfSet(list, where, true, sms);
    }
    return list;
}

std::vector<ToneProblem> checkTones(IPOutlookApp2* contacts, TonePlayability& playability)
{
    std::vector<ToneProblem> problems;
    for (ToneAssignment& where : listToneAssignments(contacts))
        if (const std::optional<ToneFault> fault = playability.fault(where.tone))
            problems.push_back({std::move(where), *fault});
    return problems;
}

std::u16string problemText(const ToneProblem& problem)
{
    // A row shows its first forty-odd characters: the file and its fault
    // come first, where it is assigned next, its folder last.
    const ToneAssignment& where = problem.where;
    const std::size_t slash = where.tone.find_last_of(u"\\/");
    const std::u16string file = slash == std::u16string::npos ? where.tone : where.tone.substr(slash + 1);
    std::u16string text = file + (problem.fault == ToneFault::Missing ? u" (file missing): " : u" (cannot be played): ");
    switch (where.owner) {
    case ToneOwner::Category:
        text += u"category \"" + where.name + u"\"";
        break;
    case ToneOwner::Contact:
        text += u"contact \"" + where.name + u"\"";
        break;
    default:
        text += where.name;
        break;
    }
    text += where.sms ? u", SMS tone" : u", ring tone";
    if (slash != std::u16string::npos && slash > 0)
        text += u", in " + where.tone.substr(0, slash);
    return text;
}

}  // namespace tonquil
