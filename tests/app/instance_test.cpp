// One running copy per executable name.
#include "app/instanceguard.h"
#include "app/util/utils.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(AppInstance, OneGuardPerNameInTheSameFolder)
{
    QTemporaryDir dir;
    TInstanceGuard first("Pellmark", dir.path());
    ASSERT_TRUE(first.Acquired());
    EXPECT_TRUE(first.LockPath().endsWith("/QUARN-Pellmark"));
    TInstanceGuard second("Pellmark", dir.path());
    EXPECT_FALSE(second.Acquired());
    TInstanceGuard other("Pellmark2", dir.path());
    EXPECT_TRUE(other.Acquired());
}

TEST(AppInstance, SecondCopyOfTheProgramEndsSilently)
{
    QTemporaryDir runtime;
    const QString exe = QStringLiteral(PM_APP_BIN_DIR "/Pellmark");
    ASSERT_TRUE(QFile::exists(exe));
    // This process holds the lock the program looks for.
    TInstanceGuard running("Pellmark", runtime.path());
    ASSERT_TRUE(running.Acquired());
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(exe, {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
}

} // namespace
} // namespace pm
