#pragma once

#include <QString>
#include <QStringList>

// One desktop entry (.desktop file) as the watchdog sees an application: its
// desktop-file ID, the name derived from it, the command line of its Exec key
// with the field codes taken out, and the program that command line runs
// (after an "env" prefix).
class DesktopEntry {
public:
    // Reads and checks the file. An entry that does not parse, is not of type
    // Application, has no Exec or names a program that cannot be found is
    // invalid, and error() says why.
    static DesktopEntry fromFile(const QString& path);

    // The folders "applications" under XDG_DATA_HOME and XDG_DATA_DIRS, most
    // important first.
    static QStringList applicationFolders();
    // The desktop-file ID of a file: its path relative to the applications
    // folder holding it with "/" turned into "-", or its file name when it lies
    // outside those folders.
    static QString identifierForPath(const QString& path);
    // The file an ID stands for in the applications folders, or "".
    static QString locate(const QString& identifier);
    // The application name for an ID: the ID without ".desktop".
    static QString nameForIdentifier(const QString& identifier);

    bool isValid() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    QString path() const { return path_; }
    QString identifier() const { return identifier_; }
    QString name() const { return nameForIdentifier(identifier_); }
    QString displayName() const { return displayName_; }
    QString icon() const { return icon_; }
    // Exec split into arguments, field codes and a leading "env" with its
    // options and variables removed.
    QStringList arguments() const { return arguments_; }
    // The first argument found in PATH, as an absolute path.
    QString program() const { return program_; }

private:
    QString path_;
    QString identifier_;
    QString displayName_;
    QString icon_;
    QStringList arguments_;
    QString program_;
    QString error_;
};
