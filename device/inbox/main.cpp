// inbox: the device's messaging host, a resident program. It loads the rule
// clients enrolled for text messages, takes arriving messages from
// `handset sms` on run/inbox.sock and handles each on its one thread (the
// thread that initialised COM and runs the message loop), one at a time. It
// stops on SIGTERM, releasing the rule clients and unloading their
// libraries.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <handset/com.h>
#include <handset/host_file.h>
#include <handset/lifecycle.h>
#include <handset/log.h>
#include <handset/msgqueue.h>
#include <handset/wstring.h>

#include "inbox_protocol.h"
#include "messaging_host.h"

namespace {

using handset::readFully;

constexpr char kName[] = "inbox";

// Posted to the host's thread: lParam carries a Request.
constexpr UINT WM_INBOX_DELIVER = WM_APP + 1;

struct Request {
    std::u16string sender;
    std::u16string text;
    std::promise<std::string> reply;
};


// Reads "deliver N M\n" and the two fields; nothing when the request is not
// one (the reason in `why`).
std::optional<std::pair<std::string, std::string>> readRequest(int fd, std::string& why)
{
    std::string line;
    char c = 0;
    while (line.size() < 64) {
        if (!readFully(fd, &c, 1)) {
            why = "the request could not be read";
            return std::nullopt;
        }
        if (c == '\n')
            break;
        line += c;
    }
    unsigned long long senderBytes = 0, textBytes = 0;
    char tail = 0;
    if (c != '\n' || std::sscanf(line.c_str(), "deliver %llu %llu%c", &senderBytes, &textBytes, &tail) != 2) {
        why = "the request is not a message";
        return std::nullopt;
    }
    if (senderBytes > inbox::kMaxFieldBytes || textBytes > inbox::kMaxFieldBytes) {
        why = "the message is longer than " + std::to_string(inbox::kMaxFieldBytes) + " bytes";
        return std::nullopt;
    }
    std::string sender(senderBytes, '\0'), text(textBytes, '\0');
    if (!readFully(fd, sender.data(), sender.size()) || !readFully(fd, text.data(), text.size())) {
        why = "the message was cut short";
        return std::nullopt;
    }
    return std::make_pair(std::move(sender), std::move(text));
}

void writeAll(int fd, const std::string& reply)
{
    const char* data = reply.data();
    std::size_t left = reply.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

std::string answer(inbox::MessagingHost& host, const Request& request)
{
    const inbox::Delivery delivery = host.deliver(request.sender, request.text);
    if (!delivery.ok())
        return "error the message could not be stored; see `handset log`\n";
    const inbox::Notification& n = delivery.notification;
    auto onOff = [](bool on) { return on ? "on" : "off"; };
    return std::string("ok\n") + "sound=" + onOff(n.sound) + "\nwave=" + handset::toUtf8(n.wave) +
           "\nvibrate=" + onOff(n.vibrate) + "\ndisplay=" + onOff(n.display) + "\n";
}

std::atomic<bool> gServing{true};

// The socket's thread: it reads each request and waits while the host's
// thread handles it.
void serve(int listener, DWORD hostThread)
{
    struct Done {
        ~Done() { gServing = false; }
    } done;
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;  // the listener was shut down
        }
        std::string why;
        std::string reply;
        if (auto fields = readRequest(fd, why)) {
            auto request = std::make_unique<Request>();
            request->sender = handset::fromUtf8(fields->first);
            request->text = handset::fromUtf8(fields->second);
            std::future<std::string> answered = request->reply.get_future();
            Request* carried = request.release();
            if (PostThreadMessage(hostThread, WM_INBOX_DELIVER, 0, reinterpret_cast<LPARAM>(carried))) {
                // A rule client may take its time; the host answers every
                // request it took, if only to say that it is stopping.
                reply = answered.get();
            } else {
                delete carried;
                reply = "error the messaging host is stopping\n";
            }
        } else {
            reply = "error " + why + "\n";
        }
        writeAll(fd, reply);
        ::close(fd);
    }
}

int listenOn(const std::filesystem::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (name.size() >= sizeof address.sun_path) {
        handset::logLine(kName, "the socket path is too long: " + name);
        return -1;
    }
    std::strcpy(address.sun_path, name.c_str());
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    ::unlink(name.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        handset::logLine(kName, "cannot listen on " + name + ": " + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// Takes a Request off a posted message and gives it its answer.
void handle(const MSG& msg, inbox::MessagingHost* host)
{
    std::unique_ptr<Request> request(reinterpret_cast<Request*>(msg.lParam));
    request->reply.set_value(host ? answer(*host, *request) : "error the messaging host is stopping\n");
}

}  // namespace

int main()
{
    handset::setProgramName(kName);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        handset::logLine(kName, "cannot initialise COM");
        return 1;
    }
    handset::ensureMessageQueue();
    const DWORD hostThread = GetCurrentThreadId();
    std::unique_ptr<inbox::MessagingHost> host = inbox::MessagingHost::start();
    if (!host) {
        CoUninitialize();
        return 1;
    }
    const std::filesystem::path socket = inbox::socketPath();
    const int listener = listenOn(socket);
    if (listener < 0) {
        host.reset();
        CoUninitialize();
        return 1;
    }
    std::thread server(serve, listener, hostThread);
    std::thread signalWaiter([&] {
        int signal = 0;
        while (sigwait(&stop, &signal) != 0) {
        }
        PostThreadMessage(hostThread, WM_QUIT, 0, 0);
    });
    handset::lifecycle::announceReady(kName);
    handset::logLine(kName, "the messaging host is ready with " + std::to_string(host->ruleClients().size()) +
                                " rule client(s)");

    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_INBOX_DELIVER)
            handle(msg, host.get());
        else
            DispatchMessage(&msg);  // the media player's progress messages
    }

    // No new requests; one already taken still gets its answer.
    ::shutdown(listener, SHUT_RDWR);
    while (gServing) {
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == WM_INBOX_DELIVER)
                handle(msg, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    server.join();
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_INBOX_DELIVER)
            handle(msg, nullptr);
    ::close(listener);
    ::unlink(socket.c_str());
    handset::logLine(kName, "stopping");
    host.reset();
    CoUninitialize();
    handset::lifecycle::withdraw(kName);
    signalWaiter.detach();
    return 0;
}
