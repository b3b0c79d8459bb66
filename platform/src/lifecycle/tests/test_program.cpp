// A resident program for the lifecycle tests. What it does depends on the
// name it is started as ($HANDSET_RESIDENT):
//   ready...     announces itself, stops on SIGTERM
//   stubborn...  announces itself, ignores SIGTERM
//   never-ready  never announces itself
//   early-exit   exits with status 3 at once
#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <handset/lifecycle.h>
#include <handset/log.h>

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
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    handset::lifecycle::announceReady(name);
    int signal = 0;
    sigwait(&stop, &signal);
    handset::logLine("test", "stopping");
    handset::lifecycle::withdraw(name);
    return 0;
}
