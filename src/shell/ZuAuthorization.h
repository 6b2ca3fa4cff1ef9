#pragma once

#include <QStringList>
#include <cstdint>
#include <functional>

// Asks for the administrator right: 0 when it was granted, -1 when it was
// refused or could not be asked for. The right is obtained through polkit,
// which runs the helper "nightwarden-authtool" and hands it the command record
// on its standard input; only the helper's exit 0, given once it has read the
// whole record, grants. Every refusal says why on the console. Blocks the main
// thread while the dialog is up.
int32_t ZuAuthorization();

// How ZuAuthorization reaches the system; replaced in tests.
class ZuAuthorizationSetup {
public:
    // The program that runs the helper with the right ({"pkexec"} by default).
    static void setLauncher(const QStringList& launcher);
    static QStringList launcher();
    // Answers every check without asking the system (none: ask the system).
    static void setAnswer(std::function<int32_t()> answer);
    // How many checks were made since the last reset.
    static int checks();
    static void resetChecks();
};
