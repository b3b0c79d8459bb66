// Scripted answers for the pickers.
#include <handset/pickers.h>

#include <cstdlib>
#include <deque>
#include <mutex>

#include <handset/log.h>
#include <handset/wstring.h>

namespace {

struct Answers {
    std::mutex mutex;
    std::deque<std::u16string> scripted;
    bool environmentRead = false;
    std::deque<std::string> fromEnvironment;
};

Answers& answers()
{
    static Answers instance;
    return instance;
}

std::string trimmed(const std::string& line)
{
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

handset::PickerAnswer interpret(const std::u16string& text, const std::string& source)
{
    if (text.empty() || handset::foldCase(text) == u"cancel")
        return {true, {}};
    if (text.front() != u'\\') {
        handset::logLine("picker", "the answer \"" + handset::toUtf8(text) + "\" from " + source +
                                       " is not a device path; taken as cancel");
        return {true, {}};
    }
    return {false, text};
}

}  // namespace

namespace handset {

void scriptPickerAnswers(std::vector<std::u16string> given)
{
    std::lock_guard lock(answers().mutex);
    answers().scripted.insert(answers().scripted.end(), given.begin(), given.end());
}

void clearPickerAnswers()
{
    std::lock_guard lock(answers().mutex);
    answers().scripted.clear();
}

std::optional<PickerAnswer> nextPickerAnswer(std::string* source)
{
    Answers& a = answers();
    std::lock_guard lock(a.mutex);
    std::string from;
    std::u16string text;
    if (!a.scripted.empty()) {
        text = a.scripted.front();
        a.scripted.pop_front();
        from = "script";
    } else {
        if (!a.environmentRead) {
            a.environmentRead = true;
            if (const char* lines = std::getenv("HANDSET_FILE_ANSWERS")) {
                std::string all = lines;
                for (std::size_t start = 0; start < all.size();) {
                    std::size_t end = all.find('\n', start);
                    if (end == std::string::npos)
                        end = all.size();
                    const std::string line = trimmed(all.substr(start, end - start));
                    if (!line.empty())
                        a.fromEnvironment.push_back(line);
                    start = end + 1;
                }
            }
        }
        if (a.fromEnvironment.empty())
            return std::nullopt;
        text = fromUtf8(a.fromEnvironment.front());
        a.fromEnvironment.pop_front();
        from = "HANDSET_FILE_ANSWERS";
    }
    if (source)
        *source = from;
    return interpret(text, from);
}

}  // namespace handset
