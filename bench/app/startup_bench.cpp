// Start-up time on a database of 50 organizations and 2,000 quarterly
// reports: from starting the program's process to its main window shown
// (offscreen), and the same work inside one process (windows and data module
// made, main window shown).
#include "app/mainform.h"
#include "app/shell.h"
#include "app/startup.h"
#include "app/util/utils.h"
#include "data/dataset.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString SchemaText()
{
    QFile f(QStringLiteral(PM_APP_SCHEMA_FILE));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A program folder: the executable, and a database of 50 organizations with
// 40 reports each.
struct ProgramFolder {
    QTemporaryDir dir;
    QTemporaryDir runtime;
    bool ok = false;
    ProgramFolder()
    {
        QString error;
        if (!pm::CreateDatabaseFile(dir.filePath("Pellmark.db"), SchemaText(), error))
            return;
        pm::TConnection c;
        c.Open(dir.filePath("Pellmark.db"));
        c.ExecRaw("BEGIN");
        for (int org = 0; org < 50; ++org) {
            const QString number = QString("%1").arg(100000 + org);
            c.ExecRaw(QString("INSERT INTO Organizations (FileNumber, FullName, MailingCity, Sun, Mon, Tue, Wed, Thr, Fri, Sat, AllowEFW) "
                              "VALUES ('%1', 'Bingo Club %2', 'Harbor Falls', 1, 0, 1, 0, 0, 1, 0, 1)")
                          .arg(number)
                          .arg(org, 2, 10, QChar('0')));
            for (int r = 0; r < 40; ++r)
                c.ExecRaw(QString("INSERT INTO QuarterlyReports (OrgID, Period, GrossSales, NetProceeds, eFiled) "
                                  "VALUES ('%1', %2, %3, %4, %5)")
                              .arg(number)
                              .arg(36250 + r * 91)
                              .arg(qint64(1234567) * (r + 1))
                              .arg(qint64(-45000) * r)
                              .arg(r % 2));
        }
        c.ExecRaw("COMMIT");
        c.Close();
        ok = QFile::copy(QStringLiteral(PM_APP_BIN_DIR "/Pellmark"), dir.filePath("Pellmark"))
            && QFile::setPermissions(dir.filePath("Pellmark"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

void BM_ProcessStartToMainWindowShown(benchmark::State& state)
{
    ProgramFolder folder;
    if (!folder.ok) {
        state.SkipWithError("cannot make the program folder");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", folder.runtime.path());
    env.insert("PM_EXIT_WHEN_SHOWN", "1");
    for (auto _ : state) {
        QProcess program;
        program.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        program.start(folder.dir.filePath("Pellmark"), {});
        // The program says "shown" once its main window has been shown and painted.
        bool shown = false;
        while (!shown && program.waitForReadyRead(10000))
            shown = program.readAllStandardOutput().contains("shown");
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        program.waitForFinished(10000);
        if (!shown) {
            state.SkipWithError("the program did not show its window");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_ProcessStartToMainWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ShellCreateAndShow(benchmark::State& state)
{
    ProgramFolder folder;
    if (!folder.ok) {
        state.SkipWithError("cannot make the program folder");
        return;
    }
    pm::SetExePathForTesting(folder.dir.filePath("Pellmark"));
    for (auto _ : state) {
        pm::TShell shell;
        if (!shell.Create()) {
            state.SkipWithError("the shell could not be made");
            return;
        }
        shell.MainForm->show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        shell.MainForm->hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShellCreateAndShow)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pm::SetUpApplication(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
