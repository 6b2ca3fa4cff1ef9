#pragma once

#include <QString>

// Where the recorder's folders and shipped files are on this system.
class ZuPaths {
public:
    // "~" and "~/..." become the home folder; the desktop-platform folders
    // "~/Documents" and "~/Desktop" ("~/DeskTop") follow the XDG user folders.
    static QString expandTilde(const QString& path);
    // The folder of the marker sounds shipped with the program, or the one
    // set for this run (a test bringing its own sounds; empty restores it).
    static QString systemSoundFolder();
    static void setSystemSoundFolder(const QString& folder);
    // The sound file the compression trial uses.
    static QString sampleSoundName();
    // The folder of the privileged helper program.
    static QString helperFolder();
};
