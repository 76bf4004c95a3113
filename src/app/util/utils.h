#pragma once
// Shared routines that need no window: the executable's folder and the file
// names derived from it, program launching and shell opening, the busy cursor
// and screen-lock counters, colour shading and gradient fills.
//
// Paths are this platform's paths; where the Windows program used a
// backslash as the folder separator we use "/" (ExeFolder ends with one).

#include <QColor>
#include <QRect>
#include <QString>
#include <QStringList>

class QPainter;
class QWidget;

namespace pm {

QString ExePath();                       // full path of the running executable
QString ExeFolder();                     // its folder, ending with "/"
QString AppFile(const QString& name);    // ExeFolder + the file-name part of name
QString IniFileName();                   // ExePath with ".ini" for its extension
QString UpdateFileName();                // "<exe name without extension>.upd", lower case
// Tests (and the command-line front end) may put the program's folder elsewhere.
void SetExePathForTesting(const QString& path);

// Attribute set of ListFiles.
enum TFileAttr { faReadOnly = 0x01, faHidden = 0x02, faDirectory = 0x10, faArchive = 0x20,
                 faNormal = 0x80, faAnyFile = 0xFF };
// Fills list with the full paths of the entries of the folder of pathOrMask that
// match its file-name part ("*" and "?" wildcards; every entry when the path
// names a folder) and have one of the attributes. Emptied on any error.
void ListFiles(const QString& pathOrMask, int attributes, QStringList& list);
// Deletes (or moves to the trash) every plain file matching mask that does not
// also match keepMask. Returns how many files went.
int DeleteFiles(const QString& mask, const QString& keepMask = QString(), bool recycle = false);

// Starts the command line as a new process. When it cannot be started, shows
// "Unable to run " + command line and returns 0. With wait, waits for it and
// returns its exit code; else returns 0 at once.
int RunProgram(const QString& commandLine, bool wait);
// Opens a document or web address with the desktop's program; silent on failure.
void ShellOpen(const QString& document, const QString& parameters = QString());
QString WindowsUserName();               // at most 50 characters, or "Unknown"

// Busy cursor and screen lock.
void BeginBusy();
void BeginDbBusy();
void EndBusy();
int BusyCount();
void SetImmediateRestore(bool on);
bool ImmediateRestore();
bool BusyCursorShown();                  // whether the wait cursor is up now
void BeginScreenLock();
void EndScreenLock();
int ScreenLockCount();
// The window whose painting the screen lock freezes (the main window).
void SetScreenLockWindow(QWidget* window);

// Colours.
QColor LightenColor(const QColor& color);
QColor DarkenColor(const QColor& color);
void GradientFillRect(QPainter& painter, const QRect& rect, const QColor& start,
                      const QColor& end, bool horizontal);

} // namespace pm
