#pragma once

#include <QString>

class QTextStream;
class Secretary;

// The command-line edits of the watched list, with the same rules and the
// same saving as the list panel. Each returns the exit status.
class GhoulCommands {
public:
    GhoulCommands(Secretary& secretary, QTextStream& out, QTextStream& err);

    int add(const QString& desktopFile);
    int remove(const QString& name);
    // One line per entry: name, generation text, birthday text, path, tab-separated.
    int list();

private:
    Secretary& secretary;
    QTextStream& out_;
    QTextStream& err_;
};
