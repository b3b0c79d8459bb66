// The request socket of a program with windows (handset/screen_requests.h):
// what the window layer and the UI framework share of it.
#pragma once

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <handset/window.h>

namespace handset::window::remote {

// One request from `handset screen` or `handset input`, answered once, on
// the window thread; the socket's thread waits for the answer.
class Request {
public:
    explicit Request(std::vector<std::string> words) : words_(std::move(words)) {}
    const std::vector<std::string>& words() const { return words_; }
    // The first answer counts; later ones are dropped.
    void answer(std::string bytes)
    {
        if (!answered_.exchange(true))
            promise_.set_value(std::move(bytes));
    }
    void ok(std::string_view body = {}) { answer("ok\n" + std::string(body)); }
    void fail(std::string_view reason) { answer("error " + std::string(reason) + "\n"); }
    std::future<std::string> future() { return promise_.get_future(); }

private:
    std::vector<std::string> words_;
    std::promise<std::string> promise_;
    std::atomic<bool> answered_{false};
};

// A handler of the windows a program shows beyond the window layer's own (the
// UI framework's forms). It returns false for a request it leaves to the
// window layer, true when it answers it (now or once the input is handled).
using Handler = bool (*)(const std::shared_ptr<Request>& request);
void setHandler(Handler handler);

// Starts serving requests for the calling thread's windows; the first window
// a program makes calls it. Later calls do nothing.
void startServing();

// This program has just shown a form: it is now the device's foreground program.
void noteForeground();

// The target of the requests the socket's thread posts to the window thread;
// the window layer's dispatcher hands such a message to dispatchRequest.
HWND requestTarget();
void dispatchRequest(const MSG& msg);
// Answers a request on the calling (window) thread, as a posted one is answered.
void answer(const std::shared_ptr<Request>& request);

// Text in the answers' quoting: in double quotes, with \" \\ \n \r \t.
std::string inQuotes(std::u16string_view text);
std::string inQuotes(std::string_view utf8);
// What a person may mean by a text they give `handset input`: the text as
// given, then, when it is in the answers' quoting (with or without its
// double quotes, as copied from `handset screen`), the text it stands for.
std::vector<std::string> meantTexts(const std::string& given);

// The program's file name ("Tonquil.exe") and the first line of a window's description.
std::string programFileName();
std::string windowLine(std::u16string_view title);

// The whole number a word holds, or false.
bool parseNumber(const std::string& word, long& value);

}  // namespace handset::window::remote
