// The request socket of every program with windows, and the window layer's
// own answers to it: what a program shows that is made of windows of this
// layer (the Today screen), and the pen and keys on them.
//
// The socket has a thread of its own that reads one request at a time and
// posts it to the window thread, so that the answer is made after every
// message posted before it has been handled, as the phone's window manager
// would see the screen. A request that has no answer after the time
// `handset` waits is answered with an error by the socket's thread.
#include <handset/screen_marks.h>
#include <handset/screen_requests.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>

#include <handset/host_file.h>
#include <handset/log.h>
#include <handset/wstring.h>

#include "remote_internal.h"
#include "window_internal.h"

namespace handset::window::remote {
namespace {

constexpr UINT kRequestMessage = WM_APP + 0x3A1;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT VK_F1 = 0x70;  // the left soft key, as the phone sends it
constexpr UINT VK_F2 = 0x71;  // the right soft key
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_SPACE = 0x20;

// Never a live window: requests are the only messages addressed to it.
HWND__ gTarget;

struct Server {
    std::mutex mutex;
    bool started = false;
    DWORD windowThread = 0;
    std::filesystem::path socket;
    int listener = -1;
    Handler handler = nullptr;
    std::shared_ptr<Request> current;  // the request being answered, until its answer is written
    std::condition_variable written;
};

Server& server()
{
    static auto* instance = new Server;  // used by the socket's thread until the process ends
    return *instance;
}

struct Marks {
    std::mutex mutex;
    std::map<HWND, std::pair<std::u16string, std::u16string>> softKeys;
    std::map<HWND, bool> selected;
};

Marks& marks()
{
    static auto* instance = new Marks;
    return *instance;
}



std::string errorAnswer(std::string_view reason)
{
    return "error " + std::string(reason) + "\n";
}

// Reads one request from the connection and waits for the window thread's answer.
std::string answerConnection(int fd)
{
    unsigned char header[4];
    if (!readFully(fd, header, sizeof header))
        return errorAnswer("the request could not be read");
    const std::uint32_t length = screen::frameLength(header);
    if (length > screen::kMaxRequestBytes)
        return errorAnswer("the request is longer than " + std::to_string(screen::kMaxRequestBytes) + " bytes");
    std::string body(length, '\0');
    if (!readFully(fd, body.data(), body.size()))
        return errorAnswer("the request was cut off");
    auto request = std::make_shared<Request>(screen::splitWords(body));
    std::future<std::string> answer = request->future();
    {
        std::lock_guard lock(server().mutex);
        server().current = request;
    }
    auto* carried = new std::shared_ptr<Request>(request);
    if (!postQueuedMessage(server().windowThread, &gTarget, kRequestMessage, 0, reinterpret_cast<LPARAM>(carried))) {
        delete carried;
        return errorAnswer("the program's window thread has ended");
    }
    if (answer.wait_for(std::chrono::seconds(screen::kAnswerSeconds)) != std::future_status::ready)
        return errorAnswer("the program did not answer within " + std::to_string(screen::kAnswerSeconds) + " s");
    std::string bytes = answer.get();
    if (bytes.size() > screen::kMaxAnswerBytes)
        return errorAnswer("the answer is longer than " + std::to_string(screen::kMaxAnswerBytes) + " bytes");
    return bytes;
}

void serve(int listener)
{
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;  // the listener was shut down
        }
        // A client that sends nothing, or stops reading, cannot hold the socket.
        timeval limit{screen::kAnswerSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        writeFully(fd, screen::frame(answerConnection(fd)));
        ::close(fd);
        std::lock_guard lock(server().mutex);
        server().current.reset();
        server().written.notify_all();
    }
}

void stopServing()
{
    Server& s = server();
    std::unique_lock lock(s.mutex);
    // An input that ends the program (its close button) is handled: the
    // program has nothing left to do. The answer is written before it goes.
    if (s.current) {
        const std::string& verb = s.current->words().empty() ? std::string() : s.current->words()[0];
        if (verb == "screen" || verb == "shot")
            s.current->fail("the program ended");
        else
            s.current->ok();
        s.written.wait_for(lock, std::chrono::seconds(2), [&s] { return !s.current; });
    }
    if (s.listener >= 0) {
        ::shutdown(s.listener, SHUT_RDWR);
        ::unlink(s.socket.c_str());
    }
}

int listenOn(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    // A long device path is reached through its folder's descriptor.
    const int folder = ::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return -1;
    const std::string name = "/proc/self/fd/" + std::to_string(folder) + "/" + path.filename().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string direct = path.string();
    const std::string& chosen = direct.size() < sizeof address.sun_path ? direct : name;
    int fd = -1;
    if (chosen.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, chosen.c_str(), chosen.size() + 1);
        ::unlink(path.c_str());
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0)) {
            ::close(fd);
            fd = -1;
        }
    }
    ::close(folder);
    return fd;
}

// ---- The window layer's own windows ------------------------------------------------

HWND foregroundWindow()
{
    HWND shown = nullptr;
    for (HWND top : topLevelWindows())
        if (top->visible)
            shown = top;
    return shown;
}

RECT screenRect(HWND hwnd)
{
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    return rc;
}

void describeChildren(HWND parent, std::string& out)
{
    const std::vector<HWND> children = parent->children;
    for (HWND child : children) {
        if (!isLive(child) || !child->visible)
            continue;
        const RECT rc = screenRect(child);
        bool selected = false;
        {
            std::lock_guard lock(marks().mutex);
            const auto it = marks().selected.find(child);
            selected = it != marks().selected.end() && it->second;
        }
        out += "- label " + std::to_string(rc.left) + "," + std::to_string(rc.top) + "," +
               std::to_string(rc.right - rc.left) + "," + std::to_string(rc.bottom - rc.top) + " " +
               (selected ? "selected" : "-") + " " + inQuotes(paintedText(child)) + "\n";
        describeChildren(child, out);
    }
}

std::string describe(HWND top)
{
    std::string out = windowLine(top->title);
    describeChildren(top, out);
    std::lock_guard lock(marks().mutex);
    if (const auto it = marks().softKeys.find(top); it != marks().softKeys.end())
        out += "softkeys " + inQuotes(it->second.first) + " " + inQuotes(it->second.second) + "\n";
    return out;
}

// The deepest visible window at a point of the top-level window.
HWND windowAt(HWND top, int x, int y)
{
    for (HWND child : top->children) {
        if (!isLive(child) || !child->visible)
            continue;
        const RECT rc = screenRect(child);
        if (x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom)
            return windowAt(child, x, y);
    }
    return top;
}

HWND windowShowing(HWND parent, std::u16string_view text)
{
    for (HWND child : parent->children) {
        if (!isLive(child) || !child->visible)
            continue;
        if (paintedText(child) == text)
            return child;
        if (HWND inner = windowShowing(child, text))
            return inner;
    }
    return nullptr;
}

void tapAt(HWND top, int x, int y)
{
    HWND target = windowAt(top, x, y);
    const RECT rc = screenRect(target);
    const LPARAM point = MAKELPARAM(x - rc.left, y - rc.top);
    // The pen goes down, the program reacts, then the pen comes up.
    PostMessage(target, WM_LBUTTONDOWN, 1, point);
    pumpMessages();
    PostMessage(target, WM_LBUTTONUP, 0, point);
    pumpMessages();
}

UINT virtualKey(const std::string& name)
{
    static const std::pair<const char*, UINT> keys[] = {
        {"left", VK_LEFT},         {"right", VK_RIGHT},  {"up", VK_UP},       {"down", VK_DOWN},
        {"action", VK_RETURN},     {"softkey1", VK_F1},  {"softkey2", VK_F2}, {"backspace", VK_BACK},
        {"enter", VK_RETURN},      {"space", VK_SPACE}};
    for (const auto& [word, key] : keys)
        if (name == word)
            return key;
    return 0;
}

std::string pictureOf(HWND top)
{
    std::vector<std::uint32_t> pixels;
    int width = 0, height = 0;
    if (!copyWindowSurface(top, pixels, width, height))
        return {};
    const QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4, QImage::Format_RGB32);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return png.toStdString();
}

void answerForWindows(Request& request)
{
    const std::vector<std::string>& w = request.words();
    HWND top = foregroundWindow();
    if (!top)
        return request.fail("the program shows no window");
    pumpMessages();
    const std::string& verb = w[0];
    if (verb == "screen" && w.size() == 1) {
        UpdateWindow(top);
        return request.ok(describe(top));
    }
    if (verb == "shot" && w.size() == 1) {
        UpdateWindow(top);
        const std::string png = pictureOf(top);
        return png.empty() ? request.fail("the window could not be drawn into a picture") : request.ok(png);
    }
    long x = 0, y = 0;
    if (verb == "tap" && w.size() == 3 && parseNumber(w[1], x) && parseNumber(w[2], y)) {
        const RECT rc = screenRect(top);
        if (x < 0 || y < 0 || x >= rc.right - rc.left || y >= rc.bottom - rc.top)
            return request.fail("the point " + w[1] + "," + w[2] + " is outside the window");
        tapAt(top, static_cast<int>(x), static_cast<int>(y));
        return request.ok();
    }
    if (verb == "tap-text" && w.size() == 2) {
        HWND target = nullptr;
        for (const std::string& text : meantTexts(w[1]))
            if (!target)
                target = windowShowing(top, fromUtf8(text));
        if (!target)
            return request.fail("nothing on the screen shows " + inQuotes(w[1]));
        const RECT rc = screenRect(target);
        tapAt(top, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        return request.ok();
    }
    if (verb == "tap-id" && w.size() == 2)
        return request.fail("there is no control " + w[1] + " on the screen");
    if (verb == "key" && w.size() == 2) {
        const UINT key = virtualKey(w[1]);
        if (!key)
            return request.fail("unknown key " + inQuotes(w[1]));
        PostMessage(top, WM_KEYDOWN, key, 0);
        pumpMessages();
        PostMessage(top, WM_KEYUP, key, 0);
        pumpMessages();
        return request.ok();
    }
    if (verb == "text" && w.size() == 2) {
        for (char16_t c : fromUtf8(w[1])) {
            PostMessage(top, WM_CHAR, c, 0);
            pumpMessages();
        }
        return request.ok();
    }
    if (verb == "replace-text" && w.size() == 2)
        return request.fail("no control has the focus");
    if ((verb == "choose" && w.size() == 3) || (verb == "menu" && w.size() == 2))
        return request.fail(verb == "menu" ? "the window has no menu" : "there is no control " + w[1] + " on the screen");
    request.fail("unknown request " + inQuotes(verb));
}

}  // namespace

void setHandler(Handler handler)
{
    std::lock_guard lock(server().mutex);
    server().handler = handler;
}

void startServing()
{
    Server& s = server();
    std::lock_guard lock(s.mutex);
    if (s.started)
        return;
    s.started = true;
    s.windowThread = GetCurrentThreadId();
    s.socket = screen::socketFolder() / screen::socketName(programFileName(), ::getpid());
    s.listener = listenOn(s.socket);
    if (s.listener < 0) {
        logLine("window", "cannot serve screen requests on " + s.socket.string() + ": " + std::strerror(errno));
        return;
    }
    std::thread(serve, s.listener).detach();
    std::atexit(&stopServing);
}

void noteForeground()
{
    Server& s = server();
    std::lock_guard lock(s.mutex);
    if (s.listener >= 0)
        ::utimensat(AT_FDCWD, s.socket.c_str(), nullptr, 0);
}

HWND requestTarget()
{
    return &gTarget;
}

void dispatchRequest(const MSG& msg)
{
    if (msg.message != kRequestMessage)
        return;
    std::unique_ptr<std::shared_ptr<Request>> carried(reinterpret_cast<std::shared_ptr<Request>*>(msg.lParam));
    answer(*carried);
}

void answer(const std::shared_ptr<Request>& request)
{
    if (request->words().empty() || request->words()[0].empty())
        return request->fail("an empty request");
    Handler handler = nullptr;
    {
        std::lock_guard lock(server().mutex);
        handler = server().handler;
    }
    if (handler && handler(request))
        return;
    answerForWindows(*request);
}

std::string inQuotes(std::u16string_view text)
{
    return inQuotes(std::string_view(toUtf8(text)));
}

std::string inQuotes(std::string_view utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

namespace {

// The text that `printed` stands for in the answers' quoting, its double
// quotes optional; none when it is not in that quoting (a lone backslash
// before any other character, a bare double quote inside).
std::optional<std::string> fromQuoted(std::string_view printed)
{
    if (printed.size() >= 2 && printed.front() == '"' && printed.back() == '"')
        printed = printed.substr(1, printed.size() - 2);
    std::string text;
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const char c = printed[i];
        if (c == '"')
            return std::nullopt;
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i == printed.size())
            return std::nullopt;
        switch (printed[i]) {
        case '"': text += '"'; break;
        case '\\': text += '\\'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 't': text += '\t'; break;
        default: return std::nullopt;
        }
    }
    return text;
}

}  // namespace

std::vector<std::string> meantTexts(const std::string& given)
{
    std::vector<std::string> texts{given};
    if (std::optional<std::string> unquoted = fromQuoted(given); unquoted && *unquoted != given)
        texts.push_back(std::move(*unquoted));
    return texts;
}

std::string programFileName()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(program_invocation_short_name) : exe.filename().string();
}

std::string windowLine(std::u16string_view title)
{
    return "window " + inQuotes(title) + " " + programFileName() + " pid=" + std::to_string(::getpid()) + "\n";
}

bool parseNumber(const std::string& word, long& value)
{
    if (word.empty() || word.size() > 9)
        return false;
    std::size_t at = word[0] == '-' ? 1 : 0;
    if (at == word.size())
        return false;
    for (std::size_t i = at; i < word.size(); ++i)
        if (word[i] < '0' || word[i] > '9')
            return false;
    value = std::stol(word);
    return true;
}

}  // namespace handset::window::remote

namespace handset {

void setDrawnSoftKeys(HWND topLevel, std::u16string left, std::u16string right)
{
    auto& m = window::remote::marks();
    std::lock_guard lock(m.mutex);
    m.softKeys[topLevel] = {std::move(left), std::move(right)};
}

void setDrawnSelection(HWND window, bool selected)
{
    auto& m = window::remote::marks();
    std::lock_guard lock(m.mutex);
    m.selected[window] = selected;
}

}  // namespace handset
