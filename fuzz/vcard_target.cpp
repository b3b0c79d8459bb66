// vCard import: any text is parsed; what parses is imported into the
// contacts volume, where every card must read back, and is deleted again.
#include <cstdint>
#include <string_view>

#include <handset/contacts_admin.h>

#include "fuzz_support.h"

namespace contacts = handset::contacts;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::useScratchDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const contacts::VCardParseResult parsed = contacts::parseVCards(text);
    if (!parsed.ok()) {
        FUZZ_CHECK(parsed.cards.empty());
        return 0;
    }
    if (parsed.cards.size() > 20)
        return 0;

    const contacts::VCardImportResult imported = contacts::importVCards(text);
    FUZZ_CHECK(imported.ok());
    FUZZ_CHECK(imported.added.size() == parsed.cards.size());
    for (std::size_t i = 0; i < imported.added.size(); ++i) {
        const contacts::ContactResult shown = contacts::showContact(imported.added[i]);
        FUZZ_CHECK(shown.ok());
        const contacts::ContactChanges& card = parsed.cards[i];
        // What the card named is what the contact holds.
        if (card.lastName)
            FUZZ_CHECK(shown.contact.lastName == *card.lastName);
        if (card.company)
            FUZZ_CHECK(shown.contact.company == *card.company);
        FUZZ_CHECK(contacts::deleteContact(imported.added[i]) == ERROR_SUCCESS);
    }
    return 0;
}
