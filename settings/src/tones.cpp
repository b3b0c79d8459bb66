// Tone assignments of the three caller classes and of contact categories.
#include <settings/settings.h>

#include <algorithm>

#include "store.h"

namespace settings {

using namespace detail;

namespace {

constexpr const WCHAR* kRingToneValue = u"Ring Tone";
constexpr const WCHAR* kSmsToneValue = u"Sms Tone";
constexpr const WCHAR* kPriorityValue = u"Priority";

// "%s\%s" of the "System" key and the class's name; nothing for a value that
// is no caller class, so that such a class reads and writes nothing.
std::optional<std::u16string> classKey(CallerClass callerClass)
{
    static const std::u16string systemKey = subKeyPath(kProductKey, u"System");
    switch (callerClass) {
    case KnownCaller:
        return subKeyPath(systemKey, u"KnownCaller");
    case UnknownCaller:
        return subKeyPath(systemKey, u"UnknownCaller");
    case NoCallerId:
        return subKeyPath(systemKey, u"NoCallerId");
    }
    return std::nullopt;
}

// "%s\%s" of the "Categories" key and the category's name as the contacts
// database spells it. A contact without a category has an empty name; it
// must not reach the "Categories" key itself.
std::optional<std::u16string> categoryKey(const std::u16string& category)
{
    static const std::u16string categoriesKey = subKeyPath(kProductKey, u"Categories");
    if (category.empty())
        return std::nullopt;
    return subKeyPath(categoriesKey, category);
}

// The tone stays empty unless the key and the value both read.
void readTone(const std::optional<std::u16string>& keyPath, const WCHAR* valueName, TonePath& path)
{
    path.clear();
    if (!keyPath)
        return;
    const Key key = openKey(HKEY_CURRENT_USER, *keyPath);
    if (std::optional<std::u16string> tone = readString(key, valueName))
        path = std::move(*tone);
}

void writeTone(const std::optional<std::u16string>& keyPath, const WCHAR* valueName, const TonePath& path)
{
    if (!keyPath)
        return;
    const Key key = createKey(HKEY_CURRENT_USER, *keyPath);
    writeString(key, valueName, path);
}

}  // namespace

void readClassRingTone(CallerClass callerClass, TonePath& path)
{
    readTone(classKey(callerClass), kRingToneValue, path);
}

void readClassSmsTone(CallerClass callerClass, TonePath& path)
{
    readTone(classKey(callerClass), kSmsToneValue, path);
}

void writeClassRingTone(CallerClass callerClass, const TonePath& path)
{
    writeTone(classKey(callerClass), kRingToneValue, path);
}

void writeClassSmsTone(CallerClass callerClass, const TonePath& path)
{
    writeTone(classKey(callerClass), kSmsToneValue, path);
}

void readCategoryRingTone(const std::u16string& category, TonePath& path)
{
    readTone(categoryKey(category), kRingToneValue, path);
}

void readCategorySmsTone(const std::u16string& category, TonePath& path)
{
    readTone(categoryKey(category), kSmsToneValue, path);
}

void writeCategoryRingTone(const std::u16string& category, const TonePath& path)
{
    writeTone(categoryKey(category), kRingToneValue, path);
}

void writeCategorySmsTone(const std::u16string& category, const TonePath& path)
{
    writeTone(categoryKey(category), kSmsToneValue, path);
}

std::uint16_t readCategoryPriority(const std::u16string& category)
{
    const std::optional<std::u16string> keyPath = categoryKey(category);
    if (!keyPath)
        return PriorityNormal;
    const Key key = openKey(HKEY_CURRENT_USER, *keyPath);
    const std::optional<DWORD> priority = readDword(key, kPriorityValue);
    // Stored as a 32-bit number, used as the contacts' 16-bit priority.
    return priority ? static_cast<std::uint16_t>(*priority) : std::uint16_t{PriorityNormal};
}

void writeCategoryPriority(const std::u16string& category, std::uint16_t priority)
{
    const std::optional<std::u16string> keyPath = categoryKey(category);
    if (!keyPath)
        return;
    // The key is not created here: a category gets its key from its tones,
    // which the category dialog writes first.
    const Key key = openKey(HKEY_CURRENT_USER, *keyPath);
    writeDword(key, kPriorityValue, priority);
}

bool ensureCategoryKey(const std::u16string& category)
{
    const std::optional<std::u16string> keyPath = categoryKey(category);
    if (!keyPath)
        return false;
    // Created or merely opened is the registry's own answer, given under its
    // own rule for names; comparing the names here could only disagree with it.
    bool created = false;
    const Key key = createKey(HKEY_CURRENT_USER, *keyPath, &created);
    if (!key)
        return false;
    if (created) {
        writeString(key, kRingToneValue, u"");
        writeString(key, kSmsToneValue, u"");
        writeDword(key, kPriorityValue, PriorityNormal);
    }
    return true;
}

bool isMidiPath(std::u16string_view path)
{
    const auto endsWith = [path](std::u16string_view ending) {
        if (path.size() < ending.size())
            return false;
        const std::u16string_view tail = path.substr(path.size() - ending.size());
        return std::equal(tail.begin(), tail.end(), ending.begin(), [](char16_t a, char16_t b) {
            return (a >= u'A' && a <= u'Z' ? static_cast<char16_t>(a - u'A' + u'a') : a) == b;
        });
    };
    return endsWith(u".mid") || endsWith(u".midi");
}

}  // namespace settings
