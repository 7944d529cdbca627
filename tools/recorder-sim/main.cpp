// telvane-recorder-sim: a four-channel recorder simulator for the Telvane client,
// serving the recorder's packet protocol on a loopback address. See
// docs/recorder-sim.md or --help for the options.

#include "simoptions.h"
#include "simserver.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Pictures are drawn into images only; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvane-recorder-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    sim::SimOptions options;
    QString error;
    if (!sim::ParseOptions(app.arguments(), &options, &error)) {
        std::fprintf(stderr, "telvane-recorder-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (!options.versionText.contains("DVR PACKET"))
        std::fprintf(stderr, "telvane-recorder-sim: warning: the version text has no "
                             "\"DVR PACKET\"; the client will not see any reply\n");
    if (std::int64_t(options.width) * options.height > 220000)
        std::fprintf(stderr,
                     "telvane-recorder-sim: warning: %dx%d pictures exceed the "
                     "client's 220000-pixel limit and will be refused\n",
                     options.width, options.height);

    sim::SimServer server(options);
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "telvane-recorder-sim: cannot listen: %s\n", qPrintable(error));
        return 1;
    }
    if (options.stats)
        server.EnableStats();
    std::printf("LISTENING %u\n", unsigned(server.Port()));
    std::fflush(stdout);
    return app.exec();
}
