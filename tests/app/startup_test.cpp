// The main window comes up with the program's caption.
#include "app/startup.h"

#include <QDir>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

TEST(AppStartup, MainWindowShowsWithItsCaption)
{
    auto window = pm::CreateMainWindow();
    window->show();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "QUELM Pellmark Client");
    // A picture of it for a person to look at.
    const QPixmap picture = window->grab();
    EXPECT_FALSE(picture.isNull());
    QDir().mkpath("screenshots");
    picture.save("screenshots/main-window.png");
}

} // namespace
