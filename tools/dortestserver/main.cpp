// dortestserver: the department's side of the protocol on a loopback port.
//   dortestserver --config FILE [--port N] [--output DIR] [--once]
// Prints "listening on 127.0.0.1:PORT" when ready; logs to standard error.

#include "testserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("dortestserver");
    QCommandLineParser parser;
    parser.setApplicationDescription("Department test server (loopback only).");
    parser.addHelpOption();
    const QCommandLineOption configOpt("config", "Configuration file (JSON).", "file", "dortestserver.json");
    const QCommandLineOption portOpt("port", "Port to listen on (0: any free port).", "port");
    const QCommandLineOption outputOpt("output", "Folder for received reports.", "folder");
    const QCommandLineOption onceOpt("once", "Exit after the first session has ended.");
    parser.addOptions({configOpt, portOpt, outputOpt, onceOpt});
    parser.process(app);

    pm::TTestServerConfig config;
    QString error;
    if (!pm::TTestServerConfig::Load(parser.value(configOpt), config, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(portOpt)) {
        bool ok = false;
        const uint port = parser.value(portOpt).toUInt(&ok);
        if (!ok || port > 65535) {
            std::fprintf(stderr, "invalid port %s\n", qPrintable(parser.value(portOpt)));
            return 2;
        }
        config.port = quint16(port);
    }
    if (parser.isSet(outputOpt))
        config.outputFolder = parser.value(outputOpt);

    pm::TDorTestServer server(config);
    QObject::connect(&server, &pm::TDorTestServer::logLine, [](const QString& line) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
    });
    if (parser.isSet(onceOpt))
        QObject::connect(&server, &pm::TDorTestServer::sessionEnded, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    if (!server.Listen(config.port, error)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.Port()));
    std::fflush(stdout);
    return app.exec();
}
