// A resident program for the lifecycle tests. What it does depends on the
// name it is started as ($HANDSET_RESIDENT):
//   ready...     announces itself, stops on SIGTERM
//   stubborn...  announces itself, ignores SIGTERM
//   never-ready  never announces itself
//   early-exit   exits with status 3 at once
//   probed...    as ready, and answers one-line requests on run/<name>.sock
//                with an error, except while run/<name>.hang exists
// Every program that announces itself and waits exits with status 7 on
// SIGUSR1, as a program that gives up would.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include <handset/device.h>

#include <handset/lifecycle.h>
#include <handset/log.h>

namespace {

// Answers like a window thread that does not know the request, unless the
// test made it hang.
void answerRequests(const std::string& name)
{
    const std::filesystem::path run = handset::deviceRoot() / "run";
    const std::string path = (run / (name + ".sock")).string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::unlink(path.c_str());
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0)
        return;
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        char c = 0;
        while (::read(fd, &c, 1) == 1 && c != '\n') {
        }
        while (std::filesystem::exists(run / (name + ".hang")))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        static constexpr char kReply[] = "error unknown request\n";
        (void)!::write(fd, kReply, sizeof kReply - 1);
        ::close(fd);
    }
}

}  // namespace

int main()
{
    const char* resident = std::getenv("HANDSET_RESIDENT");
    const std::string name = resident ? resident : "unnamed";
    handset::setProgramName(name);

    if (name == "early-exit")
        return 3;
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    if (name.starts_with("stubborn")) {
        std::signal(SIGTERM, SIG_IGN);
        handset::lifecycle::announceReady(name);
        for (;;)
            pause();
    }
    if (name == "never-ready") {
        for (;;)
            pause();
    }
    sigaddset(&stop, SIGUSR1);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    if (name.starts_with("probed"))
        std::thread(answerRequests, name).detach();
    handset::lifecycle::announceReady(name);
    int signal = 0;
    sigwait(&stop, &signal);
    if (signal == SIGUSR1)
        std::_Exit(7);
    handset::logLine("test", "stopping");
    handset::lifecycle::withdraw(name);
    return 0;
}
