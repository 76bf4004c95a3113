#include "app/util/utils.h"

#include "app/util/msgbox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

namespace pm {

namespace {

QString& ExePathOverride()
{
    static QString path;
    return path;
}

// The part after the last folder separator (or drive colon).
QString FileNamePart(const QString& name)
{
    qsizetype cut = -1;
    for (qsizetype i = 0; i < name.size(); ++i)
        if (name[i] == '/' || name[i] == '\\' || name[i] == ':')
            cut = i;
    return name.mid(cut + 1);
}

struct BusyState {
    int busyCount = 0;
    bool immediateRestore = false;
    bool cursorShown = false;
    int lockCount = 0;
    QPointer<QWidget> lockWindow;
};

BusyState& Busy()
{
    static BusyState state;
    return state;
}

void ShowCursor(Qt::CursorShape shape)
{
    auto& b = Busy();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (b.cursorShown)
            QGuiApplication::changeOverrideCursor(QCursor(shape));
        else
            QGuiApplication::setOverrideCursor(QCursor(shape));
    }
    b.cursorShown = true;
}

void RestoreCursor()
{
    auto& b = Busy();
    if (b.cursorShown && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::restoreOverrideCursor();
    b.cursorShown = false;
}

bool MatchesMask(const QString& fileName, const QString& mask)
{
    if (mask.isEmpty())
        return false;
    if (mask == "*.*" || mask == "*")
        return true;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(mask),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(fileName).hasMatch();
}

} // namespace

void SetExePathForTesting(const QString& path)
{
    ExePathOverride() = path;
}

QString ExePath()
{
    if (!ExePathOverride().isEmpty())
        return ExePathOverride();
    static const QString path = [] {
        QString p = QFile::symLinkTarget("/proc/self/exe");
        if (p.isEmpty() && QCoreApplication::instance())
            p = QCoreApplication::applicationFilePath();
        return p;
    }();
    return path;
}

QString ExeFolder()
{
    QString folder = QFileInfo(ExePath()).absolutePath();
    if (!folder.endsWith('/'))
        folder += '/';
    return folder;
}

QString AppFile(const QString& name)
{
    return ExeFolder() + FileNamePart(name);
}

QString IniFileName()
{
    const QFileInfo info(ExePath());
    return info.absolutePath() + '/' + info.completeBaseName() + ".ini";
}

QString UpdateFileName()
{
    return (QFileInfo(ExePath()).completeBaseName() + ".upd").toLower();
}

void ListFiles(const QString& pathOrMask, int attributes, QStringList& list)
{
    list.clear();
    const QFileInfo info(pathOrMask);
    QString folder, mask;
    if (info.isDir()) {
        folder = info.absoluteFilePath();
        mask = "*.*";
    } else {
        folder = info.absolutePath();
        mask = info.fileName();
    }
    QDir dir(folder);
    if (!dir.exists())
        return;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& e : entries) {
        if (!MatchesMask(e.fileName(), mask))
            continue;
        const bool hidden = e.fileName().startsWith('.');
        bool take;
        if (e.isDir())
            take = attributes & faDirectory;
        else
            take = (attributes & (faArchive | faNormal)) || (!e.isWritable() && (attributes & faReadOnly));
        if (hidden && !(attributes & faHidden))
            take = false;
        if (take)
            list << folder + '/' + e.fileName();
    }
}

int DeleteFiles(const QString& mask, const QString& keepMask, bool recycle)
{
    QStringList files;
    ListFiles(mask, faArchive | faNormal | faReadOnly, files);
    int count = 0;
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        if (!keepMask.isEmpty() && MatchesMask(name, FileNamePart(keepMask)))
            continue;
        if (!QFileInfo::exists(file))
            continue;
        const bool gone = recycle ? QFile::moveToTrash(file) : QFile::remove(file);
        if (gone)
            ++count;
    }
    return count;
}

int RunProgram(const QString& commandLine, bool wait)
{
    QStringList parts = QProcess::splitCommand(commandLine);
    if (parts.isEmpty()) {
        ShowMessage("Unable to run " + commandLine);
        return 0;
    }
    const QString program = parts.takeFirst();
    if (!wait) {
        if (!QProcess::startDetached(program, parts))
            ShowMessage("Unable to run " + commandLine);
        return 0;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setChildProcessModifier([] { setpgid(0, 0); });
    process.start(program, parts);
    if (!process.waitForStarted(-1)) {
        ShowMessage("Unable to run " + commandLine);
        return 0;
    }
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 0;
}

void ShellOpen(const QString& document, const QString& parameters)
{
    Q_UNUSED(parameters);
    if (document.isEmpty())
        return;
    const QUrl url = document.contains("://") || document.startsWith("mailto:")
                         ? QUrl(document)
                         : QUrl::fromLocalFile(QFileInfo(document).absoluteFilePath());
    QDesktopServices::openUrl(url);
}

QString WindowsUserName()
{
    QString name;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name)
        name = QString::fromLocal8Bit(pw->pw_name);
    if (name.isEmpty())
        name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        return "Unknown";
    return name.left(50);
}

void BeginBusy()
{
    ShowCursor(Qt::WaitCursor);
    ++Busy().busyCount;
}

void BeginDbBusy()
{
    ShowCursor(Qt::BusyCursor);
    ++Busy().busyCount;
}

void EndBusy()
{
    auto& b = Busy();
    if (b.busyCount > 0)
        --b.busyCount;
    if (b.busyCount == 0 || b.immediateRestore)
        RestoreCursor();
}

int BusyCount() { return Busy().busyCount; }
void SetImmediateRestore(bool on) { Busy().immediateRestore = on; }
bool ImmediateRestore() { return Busy().immediateRestore; }
bool BusyCursorShown() { return Busy().cursorShown; }

void BeginScreenLock()
{
    auto& b = Busy();
    if (++b.lockCount == 1 && b.lockWindow)
        b.lockWindow->setUpdatesEnabled(false);
}

void EndScreenLock()
{
    auto& b = Busy();
    if (b.lockCount > 0)
        --b.lockCount;
    if (b.lockCount == 0 && b.lockWindow)
        b.lockWindow->setUpdatesEnabled(true);
}

int ScreenLockCount() { return Busy().lockCount; }
void SetScreenLockWindow(QWidget* window) { Busy().lockWindow = window; }

QColor LightenColor(const QColor& color)
{
    auto up = [](int c) { return c > 238 ? 255 : c + 16; };
    return QColor(up(color.red()), up(color.green()), up(color.blue()));
}

QColor DarkenColor(const QColor& color)
{
    auto down = [](int c) { return c <= 16 ? 0 : c - 16; };
    return QColor(down(color.red()), down(color.green()), down(color.blue()));
}

void GradientFillRect(QPainter& painter, const QRect& rect, const QColor& start, const QColor& end,
                      bool horizontal)
{
    if (rect.isEmpty())
        return;
    QLinearGradient gradient(rect.topLeft(), horizontal ? QPointF(rect.right() + 1, rect.top())
                                                        : QPointF(rect.left(), rect.bottom() + 1));
    gradient.setColorAt(0, start);
    gradient.setColorAt(1, end);
    painter.fillRect(rect, gradient);
}

} // namespace pm
