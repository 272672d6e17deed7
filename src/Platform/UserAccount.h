#pragma once

#include <QString>

// The short (login) name of the account running the program.
QString currentUserShortName();
