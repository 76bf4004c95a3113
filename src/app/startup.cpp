#include "app/startup.h"

#include "app/appinfo.h"
#include "app/instanceguard.h"
#include "app/mainform.h"
#include "app/shell.h"
#include "app/splash.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QPointer>

#include <cstdio>
#include <cstdlib>

namespace pm {

namespace {

QString ExecutableFileName(const char* argv0)
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!self.isEmpty())
        return QFileInfo(self).fileName();
    return QFileInfo(QString::fromLocal8Bit(argv0 ? argv0 : "Pellmark")).fileName();
}

} // namespace

void SetUpApplication(QApplication& app)
{
    // Liberation Sans stands in for Arial, metric for metric.
    app.setFont(QFont("Liberation Sans", 9));
    app.setApplicationName(kApplicationTitle);
    app.setApplicationDisplayName(kApplicationTitle);
    app.setApplicationVersion(FileVersionString());
}

int RunApplication(int argc, char* argv[])
{
    // Before any window: one copy per executable name.
    TInstanceGuard guard(ExecutableFileName(argc > 0 ? argv[0] : nullptr));
    if (!guard.Acquired())
        return 0;

    QApplication app(argc, argv);
    app.setFont(QFont("Liberation Sans", 9));
    QPointer<TSplashScr> splash = new TSplashScr;
    splash->show();
    app.processEvents();

    SetUpApplication(app);

    TShell shell;
    if (!shell.Create()) {
        delete splash.data();
        return 1;
    }
    shell.MainForm->show();
    // Start-up measurements end here.
    if (std::getenv("PM_EXIT_WHEN_SHOWN")) {
        // For the start-up benchmark: say so once the window is painted, and end.
        app.processEvents();
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        delete splash.data();
        return 0;
    }
    const int rc = app.exec();
    delete splash.data();
    return rc;
}

} // namespace pm
