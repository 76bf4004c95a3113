#pragma once
// What the program knows about itself: its title, its four-part version and
// the fixed addresses of a fresh installation.

#include <QString>

namespace pm {

inline const QString kApplicationTitle = QStringLiteral("Pellmark Module");
inline const QString kMainCaption = QStringLiteral("QUELM Pellmark Client");
inline const QString kHelpFileName = QStringLiteral("PELLMARK.HLP");

// Defaults of a fresh installation. The server default is this machine, where
// the department test server runs for trials; an installer sets the real
// address through "RunOnce.ini".
inline const QString kDefaultDORServer = QStringLiteral("127.0.0.1");
inline const QString kDefaultUpdateURL = QStringLiteral("https://www.quarn.example/pellmark/update/");
inline const QString kDefaultHelpCommand1 = QStringLiteral("https://www.quelm.example/bingo/");
inline const QString kQuarnHomePage = QStringLiteral("https://www.quarn.example/");

// "1.0.0.22"
QString FileVersionString();
// "v 1.0.22": major, minor and build.
QString SplashVersionText();

} // namespace pm
