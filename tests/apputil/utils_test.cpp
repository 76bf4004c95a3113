// Paths, programs, busy cursor, colours, message boxes.
#include "app/util/msgbox.h"
#include "app/util/utils.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

using namespace pm;

namespace {

// Records every message box and answers with a fixed button.
struct BoxRecorder {
    QList<TMessageBoxCall> calls;
    explicit BoxRecorder(int answer)
    {
        SetMessageBoxAnswerer([this, answer](const TMessageBoxCall& c) { calls << c; return answer; });
    }
    ~BoxRecorder() { SetMessageBoxAnswerer({}); }
};

void Touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

TEST(AppUtilPaths, DerivedFromTheExecutable)
{
    SetExePathForTesting("/opt/pellmark/Pellmark");
    EXPECT_EQ(ExeFolder(), "/opt/pellmark/");
    EXPECT_EQ(AppFile("Pellmark.db"), "/opt/pellmark/Pellmark.db");
    // A path from anywhere else is moved next to the executable.
    EXPECT_EQ(AppFile("/home/user/other/QR.dfb"), "/opt/pellmark/QR.dfb");
    EXPECT_EQ(AppFile("C:\\Program Files\\Old\\RunOnce.ini"), "/opt/pellmark/RunOnce.ini");
    EXPECT_EQ(IniFileName(), "/opt/pellmark/Pellmark.ini");
    EXPECT_EQ(UpdateFileName(), "pellmark.upd");
    SetExePathForTesting("/opt/pellmark/Pellmark.exe");
    EXPECT_EQ(IniFileName(), "/opt/pellmark/Pellmark.ini");
    SetExePathForTesting(QString());
    EXPECT_TRUE(ExePath().endsWith("apputil_tests"));
    EXPECT_FALSE(WindowsUserName().isEmpty());
    EXPECT_LE(WindowsUserName().size(), 50);
}

TEST(AppUtilFiles, ListAndDeleteByMask)
{
    QTemporaryDir dir;
    const QString p = dir.path();
    Touch(p + "/TEMP1.ADT");
    Touch(p + "/TEMP2.ADT");
    Touch(p + "/Orginfo.ADT");
    Touch(p + "/notes.txt");
    QDir(p).mkdir("Update");

    QStringList list{"stale"};
    ListFiles(p + "/*.ADT", faArchive, list);
    EXPECT_EQ(list, QStringList({p + "/Orginfo.ADT", p + "/TEMP1.ADT", p + "/TEMP2.ADT"}));
    ListFiles(p, faDirectory, list);
    EXPECT_EQ(list, QStringList({p + "/Update"}));
    ListFiles(p + "/missing/*.*", faAnyFile, list);
    EXPECT_TRUE(list.isEmpty());

    EXPECT_EQ(DeleteFiles(p + "/*.ADT", "Orginfo.ADT"), 2);
    ListFiles(p + "/*.*", faArchive, list);
    EXPECT_EQ(list, QStringList({p + "/notes.txt", p + "/Orginfo.ADT"}));
    EXPECT_TRUE(QDir(p + "/Update").exists());
}

TEST(AppUtilPrograms, RunWaitsForTheExitCodeOrSaysItCannot)
{
    BoxRecorder boxes(mbOK);
    EXPECT_EQ(RunProgram("sh -c \"exit 3\"", true), 3);
    EXPECT_EQ(RunProgram("true", false), 0);
    EXPECT_TRUE(boxes.calls.isEmpty());
    EXPECT_EQ(RunProgram("/nonexistent/program --flag", true), 0);
    EXPECT_EQ(RunProgram("/nonexistent/program", false), 0);
    ASSERT_EQ(boxes.calls.size(), 2);
    EXPECT_EQ(boxes.calls[0].text, "Unable to run /nonexistent/program --flag");
    ShellOpen(QString());   // nothing to open, nothing happens
}

TEST(AppUtilBusy, CountsAndImmediateRestore)
{
    EndBusy();   // more ends than begins stay at 0
    EXPECT_EQ(BusyCount(), 0);
    EXPECT_FALSE(BusyCursorShown());
    BeginBusy();
    BeginDbBusy();
    EXPECT_EQ(BusyCount(), 2);
    EXPECT_TRUE(BusyCursorShown());
    EndBusy();
    EXPECT_TRUE(BusyCursorShown());
    EndBusy();
    EXPECT_FALSE(BusyCursorShown());
    EndBusy();
    EXPECT_EQ(BusyCount(), 0);

    SetImmediateRestore(true);
    BeginBusy();
    BeginBusy();
    EndBusy();
    EXPECT_FALSE(BusyCursorShown());   // restored although one level is still open
    EXPECT_EQ(BusyCount(), 1);
    EndBusy();
    SetImmediateRestore(false);
}

TEST(AppUtilBusy, ScreenLockFreezesOnceAndReleasesAtZero)
{
    QWidget window;
    SetScreenLockWindow(&window);
    BeginScreenLock();
    BeginScreenLock();
    EXPECT_FALSE(window.updatesEnabled());
    EndScreenLock();
    EXPECT_FALSE(window.updatesEnabled());
    EndScreenLock();
    EXPECT_TRUE(window.updatesEnabled());
    EndScreenLock();
    EXPECT_EQ(ScreenLockCount(), 0);
    SetScreenLockWindow(nullptr);
}

TEST(AppUtilColours, ShadingAndGradient)
{
    EXPECT_EQ(LightenColor(Qt::white), QColor(Qt::white));
    EXPECT_EQ(LightenColor(QColor(238, 239, 0)), QColor(254, 255, 16));
    EXPECT_EQ(DarkenColor(QColor(10, 16, 17)), QColor(0, 0, 1));
    EXPECT_EQ(DarkenColor(QColor(200, 100, 50)), QColor(184, 84, 34));

    QImage image(100, 10, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        GradientFillRect(painter, QRect(0, 0, 100, 10), Qt::white, Qt::blue, true);
    }
    EXPECT_GT(QColor(image.pixel(0, 5)).red(), 240);
    EXPECT_LT(QColor(image.pixel(99, 5)).red(), 15);
    EXPECT_EQ(image.pixel(50, 0), image.pixel(50, 9));   // horizontal: constant down a column
}

TEST(AppUtilMessageBoxes, TextsButtonsAndResults)
{
    BoxRecorder yes(mbYes);
    EXPECT_TRUE(ConfirmYesNo("Proceed?"));
    EXPECT_EQ(AskSaveChanges("Report"), mbYes);
    EXPECT_FALSE(ConfirmOkCancel("x"));   // Yes is not OK
    ShowWarning("careful");
    ShowError("broken");
    ASSERT_EQ(yes.calls.size(), 5);
    EXPECT_EQ(yes.calls[1].text, "Save changes to Report? ");
    EXPECT_EQ(yes.calls[1].buttons, mbYesNoCancel);
    EXPECT_EQ(yes.calls[3].kind, TMsgKind::Warning);
    EXPECT_EQ(yes.calls[4].kind, TMsgKind::Error);
    EXPECT_EQ(yes.calls[4].buttons, mbOKOnly);

    BoxRecorder ok(mbOK);
    EXPECT_TRUE(ConfirmDelete());
    EXPECT_EQ(ok.calls[0].text, "OK to delete?");
    EXPECT_EQ(ok.calls[0].buttons, mbOKCancel);
}

} // namespace
