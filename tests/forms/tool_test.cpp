// The dfconvert command line: exact conversions both ways, and a clear
// message with a non-zero status for what it cannot read.

#include "forms/dfengine.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace pm;

namespace {

struct TRun {
    int status;
    QByteArray out, err;
};

TRun Convert(const QStringList& args)
{
    QProcess p;
    p.start(qEnvironmentVariable("PM_BIN_DIR", ".") + "/dfconvert", args);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QByteArray ReadFile(const QString& name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(FormsTool, ConvertsBothWaysExactly)
{
    TDFEngine engine;
    engine.NewForm();
    auto* field = engine.Pages(0)->AddNew<TDFField>();
    field->SetFieldName("GrossSales");
    field->SetFormat(dfFloat);
    field->SetHint(QString::fromUtf8("Gross \xe2\x82\xac sales"));
    QTemporaryDir dir;
    const QString dfb = dir.filePath("QR.dfb"), txt = dir.filePath("QR.txt"), back = dir.filePath("back.dfb");
    engine.Form()->SaveToFile(dfb);

    ASSERT_EQ(Convert({"totext", dfb, txt}).status, 0);
    ASSERT_EQ(Convert({"tobinary", txt, back}).status, 0);
    EXPECT_EQ(ReadFile(back), ReadFile(dfb));
    TRun text = Convert({"totext", back});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, ReadFile(txt));
    EXPECT_TRUE(text.out.contains("FieldName = 'GrossSales'"));
    TRun dump = Convert({"dump", dfb});
    EXPECT_EQ(dump.status, 0);
    EXPECT_TRUE(dump.out.contains("record TDFField"));
}

TEST(FormsTool, FailsClearly)
{
    QTemporaryDir dir;
    const QString garbage = dir.filePath("garbage.dfb");
    QFile f(garbage);
    f.open(QIODevice::WriteOnly);
    f.write("TPF0\x07TDFF");
    f.close();
    struct Case {
        QStringList args;
        int status;
        const char* message;
    } cases[] = {
        {{"totext", dir.filePath("missing.dfb")}, 1, "cannot read"},
        {{"totext", garbage}, 1, "Stream read error"},
        {{"dump", garbage}, 1, "Stream read error"},
        {{"tobinary", garbage}, 1, "Line 1"},
        {{"convert", garbage}, 2, "usage"},
        {{"totext"}, 2, "usage"},
    };
    for (const Case& c : cases) {
        TRun r = Convert(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}
