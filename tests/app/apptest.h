#pragma once
// The shell's test fixture: a program folder of its own (settings file,
// database), the message boxes and dialogs answered by the test, and the
// shell's windows made on it as at start-up.

#include "app/configform.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/shell.h"
#include "app/util/msgbox.h"
#include "app/util/utils.h"
#include "data/datamodule.h"
#include "data/dataset.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <memory>
#include <vector>

namespace pm::test {

inline QString SchemaText()
{
    QFile f(QStringLiteral(PM_APP_SCHEMA_FILE));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Where the pictures of the windows go, for a person to look at.
inline void SavePicture(QWidget* widget, const QString& name)
{
    const QString folder = QStringLiteral(PM_APP_BIN_DIR "/screenshots");
    QDir().mkpath(folder);
    widget->grab().save(folder + "/" + name + ".png");
}

// Runs the event loop until `done` holds or the time is up.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class AppFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::vector<TMessageBoxCall> boxes;
    // Answers dialogs in turn; without one a dialog is cancelled.
    std::vector<std::function<bool(QDialog&)>> dialogAnswers;
    std::vector<QString> dialogsShown;
    std::unique_ptr<TShell> shell;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetExePathForTesting(dir.filePath("Pellmark"));
        QString error;
        ASSERT_TRUE(CreateDatabaseFile(dir.filePath("Pellmark.db"), SchemaText(), error)) << error.toStdString();
        SetMessageBoxAnswerer([this](const TMessageBoxCall& call) {
            boxes.push_back(call);
            return call.buttons == mbYesNo ? int(mbYes) : int(mbOK);
        });
        SetDialogAnswerer([this](QDialog& dialog) {
            dialogsShown.push_back(dialog.windowTitle());
            if (dialogAnswers.empty())
                return false;
            auto answer = std::move(dialogAnswers.front());
            dialogAnswers.erase(dialogAnswers.begin());
            return answer(dialog);
        });
    }

    void TearDown() override
    {
        shell.reset();
        SetMessageBoxAnswerer({});
        SetDialogAnswerer({});
    }

    QString Ini() const { return dir.filePath("Pellmark.ini"); }

    // Rows written straight into the database before the shell opens it.
    void AddOrganization(const QString& fileNumber, const QString& name, bool allowEFW = false)
    {
        TConnection c;
        c.Open(dir.filePath("Pellmark.db"));
        c.ExecRaw(QString("INSERT INTO Organizations (FileNumber, FullName, Sun, Mon, Tue, Wed, Thr, Fri, Sat, AllowEFW) "
                          "VALUES ('%1', '%2', 1, 0, 0, 0, 0, 1, 0, %3)")
                      .arg(fileNumber, name)
                      .arg(allowEFW ? 1 : 0));
    }
    void AddVoucher(const QString& status, int number)
    {
        TConnection c;
        c.Open(dir.filePath("Pellmark.db"));
        c.ExecRaw(QString("INSERT INTO Vouchers (DORVoucherID, VoucherNumber, VoucherStatus, VoucherTotal, TaxAmount) "
                          "VALUES (%1, %1, '%2', 1000000, 35000)")
                      .arg(number)
                      .arg(status));
    }

    // The windows and the data module as at start-up; the main window shown.
    TShell& Start(bool show = true)
    {
        shell = std::make_unique<TShell>();
        if (!shell->Create())
            throw std::runtime_error("the shell could not be made");
        if (show && shell->MainForm)
            shell->MainForm->show();
        return *shell;
    }

    TMainForm& Main() { return *shell->MainForm; }
    TData& Data() { return *shell->Data; }

    std::vector<QString> BoxTexts() const
    {
        std::vector<QString> texts;
        for (const auto& b : boxes)
            texts.push_back(b.text);
        return texts;
    }
};

} // namespace pm::test
