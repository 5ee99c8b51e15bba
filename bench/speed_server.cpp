// The paced speed-measurement server as a program: for benchmarks in
// separate processes, the Wi-Fi lab (on an access point's address, with
// --listen) and for trying "ondrel --speedtest" by hand:
//   ONDREL_SPEEDTEST_URL=$(ondrel_speed_server --rate 100 | head -1) ondrel --speedtest
// With --buffer KB (and a rate) it stands for a link with that much queue in
// each direction: latency answers wait for it while transfers run.

#include "PacedSpeedServer.h"

#include <QByteArray>

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: %s [--rate MBPS [--buffer KB]] [--listen ADDRESS]\n"
                        "Serves /__down and /__up on ADDRESS (127.0.0.1 without one; paced to MBPS when\n"
                        "given, with KB of queue in each direction), prints its address and runs until\n"
                        "SIGTERM or SIGINT.\n",
                        argv[0]);
            return 0;
        }
    }
    double rate = 0;
    qint64 buffer = 0;
    QByteArray address = "127.0.0.1";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--buffer") == 0)
            buffer = qint64(std::atof(argv[i + 1]) * 1000);
        else if (std::strcmp(argv[i], "--listen") == 0)
            address = argv[i + 1];
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // the server thread inherits the mask

    ondrel::bench::PacedSpeedServer server(address);
    server.setRate(rate);
    server.setQueue(buffer);
    std::printf("%s\n", server.url().constData());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    return 0;
}
