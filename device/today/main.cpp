// today: the device's Today screen, a resident program. It shows its
// window when there is a display (offscreen otherwise), loads the Today
// items and answers `handset today ...` on run/today.sock. It stops on
// SIGTERM, destroying the item windows (which stops Tolvane's call monitor)
// and unloading their libraries.
#include <atomic>
#include <csignal>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QThread>

#include <handset/lifecycle.h>
#include <handset/log.h>
#include <handset/qt_host.h>

#include "today_protocol.h"
#include "today_screen.h"

namespace {

constexpr char kName[] = "today";

struct Request {
    std::string line;
    std::promise<std::string> reply;
};

HWND gScreen = nullptr;
DWORD gWindowThread = 0;

// The window thread takes the request off its queue, answers it, and
// hands the answer back to the socket thread.
LRESULT CALLBACK requestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
WNDPROC gScreenProc = nullptr;

LRESULT CALLBACK requestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == today::WM_TODAY_REQUEST) {
        std::unique_ptr<std::shared_ptr<Request>> request(reinterpret_cast<std::shared_ptr<Request>*>(lParam));
        (*request)->reply.set_value(today::answer((*request)->line));
        return 0;
    }
    return CallWindowProc(gScreenProc, hwnd, message, wParam, lParam);
}

bool readLine(int fd, std::string& line)
{
    char c;
    while (line.size() < 4096) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            return !line.empty();
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}

std::atomic<bool> gServing{true};

void serve(int listener)
{
    struct Done {
        ~Done() { gServing = false; }
    } done;
    for (;;) {
        // Close-on-exec: a program started while the request is answered
        // (a tap opens the application) must not hold the connection open.
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;  // the listener was shut down
        }
        std::string line;
        std::string reply = "error the request could not be read\n";
        if (readLine(fd, line)) {
            auto request = std::make_shared<Request>();
            request->line = line;
            std::future<std::string> answer = request->reply.get_future();
            auto* carried = new std::shared_ptr<Request>(request);
            if (PostMessage(gScreen, today::WM_TODAY_REQUEST, 0, reinterpret_cast<LPARAM>(carried))) {
                if (answer.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
                    reply = answer.get();
                else
                    reply = "error the Today screen did not answer\n";
            } else {
                delete carried;
                reply = "error the Today screen is stopping\n";
            }
        }
        const char* data = reply.data();
        std::size_t left = reply.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, data, left);
            if (n <= 0)
                break;
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
}

// The Today screen on a display: the window's surface, the pen and the keys.
class Viewer : public QRasterWindow {
public:
    Viewer()
    {
        setTitle(QStringLiteral("Today"));
        resize(240, 320);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        std::vector<std::uint32_t> pixels;
        int width = 0, height = 0;
        if (!handset::copyWindowSurface(gScreen, pixels, width, height))
            return;
        const QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4,
                           QImage::Format_RGB32);
        QPainter painter(this);
        painter.drawImage(0, 0, image);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        today::tapAt(event->position().toPoint().x(), event->position().toPoint().y());
        update();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        const char* key = event->key() == Qt::Key_Left    ? "left"
                          : event->key() == Qt::Key_Right ? "right"
                          : event->key() == Qt::Key_Up    ? "up"
                          : event->key() == Qt::Key_Down  ? "down"
                          : (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) ? "action"
                                                                                               : nullptr;
        if (key)
            today::answer(std::string("key ") + key);
        update();
    }
};

// The message loop with a display: the device's messages and the display's
// events in turn.
void runShown()
{
    Viewer viewer;
    viewer.show();
    for (;;) {
        MSG msg;
        bool dispatched = false;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return;
            DispatchMessage(&msg);
            dispatched = true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (dispatched)
            viewer.update();
        QThread::msleep(15);
    }
}

int listenOn(const std::filesystem::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (name.size() >= sizeof address.sun_path) {
        handset::logLine("today", "the socket path is too long: " + name);
        return -1;
    }
    std::strcpy(address.sun_path, name.c_str());
    std::filesystem::create_directories(path.parent_path());
    ::unlink(name.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        handset::logLine("today", "cannot listen on " + name + ": " + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv)
{
    handset::setProgramName(kName);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    handset::prepareQt();
    QGuiApplication application(argc, argv);

    handset::ensureMessageQueue();
    gWindowThread = GetCurrentThreadId();
    gScreen = today::createTodayScreen();
    if (!gScreen) {
        handset::logLine("today", "cannot make the Today screen's window");
        return 1;
    }
    gScreenProc = reinterpret_cast<WNDPROC>(SetWindowLong(gScreen, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&requestProc)));

    const std::filesystem::path socket = today::socketPath();
    const int listener = listenOn(socket);
    if (listener < 0) {
        today::closeTodayScreen();
        return 1;
    }
    std::thread server(serve, listener);
    std::thread signalWaiter([&] {
        int signal = 0;
        while (sigwait(&stop, &signal) != 0) {
        }
        PostThreadMessage(gWindowThread, WM_QUIT, 0, 0);
    });
    handset::lifecycle::announceReady(kName);
    handset::logLine("today", "the Today screen is shown");

    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0)
            DispatchMessage(&msg);
    } else {
        runShown();
    }

    // No new requests; the one being answered, if any, still gets its answer.
    ::shutdown(listener, SHUT_RDWR);
    while (gServing) {
        handset::pumpMessages();
        QThread::msleep(5);
    }
    server.join();
    ::close(listener);
    ::unlink(socket.c_str());
    today::closeTodayScreen();
    handset::lifecycle::withdraw(kName);
    handset::logLine("today", "the Today screen is closed");
    signalWaiter.detach();
    return 0;
}
