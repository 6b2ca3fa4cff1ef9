#pragma once

#include <QString>

// The user at the console: the user of logind's active session on seat0, else
// the login name of the process's effective user.
class ZuConsoleUser {
public:
    static QString shortName();
    // The active seat0 session's user; empty without logind or such a session.
    static QString activeSessionUser();
    // The passwd name of the effective uid, or the uid as a number.
    static QString processUserName();
};
