// The settings file.
#include "app/util/inifile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pm;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(AppUtilIniFile, ReadsWithDefaultsAndWritesInPlace)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Pellmark.ini";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("; kept\r\n[Settings]\r\nDORServer = bingo.example \r\nDORPort=588\r\nName=Caf\xe9\r\n\r\n"
                "[MainForm]\r\nLeft=10\r\n");
    }
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("settings", "dorserver", "x"), "bingo.example");
    EXPECT_EQ(ini.ReadInteger("SETTINGS", "DORPort", 0), 588);
    EXPECT_EQ(ini.ReadString("Settings", "Name", ""), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(ini.ReadString("Settings", "Missing", "fallback"), "fallback");
    EXPECT_EQ(ini.ReadInteger("Settings", "DORServer", 7), 7);   // not a number
    EXPECT_EQ(ini.ReadString("Nowhere", "Key", "d"), "d");
    EXPECT_TRUE(ini.ReadBool("Missing", "Flag", true));

    ASSERT_TRUE(ini.WriteString("SETTINGS", "dorport", "589"));   // same key, other case
    ASSERT_TRUE(ini.WriteBool("Settings", "ShowPollProgress", true));
    ASSERT_TRUE(ini.WriteString("New", "Key", "two\nlines"));
    EXPECT_EQ(ini.ReadSection("Settings"), QStringList({"DORServer", "DORPort", "Name", "ShowPollProgress"}));
    EXPECT_EQ(ini.ReadSections(), QStringList({"Settings", "MainForm", "New"}));
    EXPECT_EQ(ini.ReadInteger("Settings", "DORPort", 0), 589);
    EXPECT_TRUE(ini.ReadBool("Settings", "ShowPollProgress", false));
    EXPECT_EQ(ini.ReadString("New", "Key", ""), "two lines");

    const QByteArray bytes = ReadAll(path);
    EXPECT_TRUE(bytes.startsWith("; kept\r\n[Settings]\r\nDORServer=bingo.example\r\ndorport=589\r\n") ||
                bytes.startsWith("; kept\r\n[Settings]\r\nDORServer=bingo.example\r\nDORPort=589\r\n"))
        << bytes.constData();
    EXPECT_TRUE(bytes.contains("Name=Caf\xe9\r\n"));
    EXPECT_FALSE(bytes.contains("\n\n"));

    ASSERT_TRUE(ini.EraseSection("mainform"));
    EXPECT_FALSE(ini.SectionExists("MainForm"));
    ASSERT_TRUE(ini.DeleteKey("Settings", "NAME"));
    EXPECT_FALSE(ini.ValueExists("Settings", "Name"));
    EXPECT_TRUE(ini.ValueExists("Settings", "DORServer"));
}

TEST(AppUtilIniFile, MissingFileReadsEmptyAndUnwritableFails)
{
    QTemporaryDir dir;
    TIniFile missing(dir.path() + "/none.ini");
    EXPECT_EQ(missing.ReadString("A", "B", "c"), "c");
    EXPECT_TRUE(missing.ReadSections().isEmpty());
    EXPECT_TRUE(missing.WriteInteger("A", "B", 5));
    EXPECT_EQ(missing.ReadInteger("A", "B", 0), 5);

    TIniFile nowhere(dir.path() + "/no/such/folder/x.ini");
    EXPECT_FALSE(nowhere.WriteString("A", "B", "c"));
}

} // namespace
