// ondrel_lab_power on|off: switches the radio through Ondrel's Wi-Fi engine
// and the system backend, as the main window's "Turn On" does, for the
// Wi-Fi lab. Prints "ok" or the failure; exit status 0 on success.

#include "wifi/WiFiEngine.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 || (std::strcmp(argv[1], "on") != 0 && std::strcmp(argv[1], "off") != 0)) {
        std::fprintf(stderr, "usage: ondrel_lab_power on|off\n");
        return 2;
    }
    int status = 1;
    ondrel::WiFiEngine::shared().setPower(
        std::strcmp(argv[1], "on") == 0, [&](std::optional<ondrel::SystemError> error) {
            if (error)
                std::printf("failed: %s (%lld)\n", error->description().toUtf8().constData(),
                            static_cast<long long>(error->code()));
            else
                std::printf("ok\n");
            status = error ? 1 : 0;
            app.quit();
        });
    QTimer::singleShot(60000, &app, [&] {
        std::printf("no answer in 60 s\n");
        app.quit();
    });
    app.exec();
    return status;
}
