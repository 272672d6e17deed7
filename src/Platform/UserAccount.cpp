#include "Platform/UserAccount.h"

#include <pwd.h>
#include <unistd.h>

QString currentUserShortName()
{
    // The password database knows the account even when the environment was cleared.
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    for (const char* variable : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QString();
}
