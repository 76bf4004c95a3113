#include "app/appinfo.h"

namespace pm {

QString FileVersionString()
{
    return QStringLiteral("%1.%2.%3.%4").arg(PM_VERSION_MAJOR).arg(PM_VERSION_MINOR).arg(PM_VERSION_RELEASE).arg(PM_VERSION_BUILD);
}

QString SplashVersionText()
{
    return QStringLiteral("v %1.%2.%3").arg(PM_VERSION_MAJOR).arg(PM_VERSION_MINOR).arg(PM_VERSION_BUILD);
}

} // namespace pm
