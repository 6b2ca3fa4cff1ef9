// GLib before any Qt header: its "signals" member clashes with Qt's keyword.
#include <glib.h>

#include "workspace/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString fromGChar(gchar* text) {
    QString result = text != nullptr ? QString::fromUtf8(text) : QString();
    g_free(text);
    return result;
}

// Field codes stand for files, URLs, the icon, the name or the entry's own
// path; the watchdog launches without any of them.
QStringList withoutFieldCodes(const QStringList& arguments) {
    QStringList result;
    for (const QString& argument : arguments) {
        if (argument.size() == 2 && argument[0] == '%' && argument[1] != '%')
            continue;
        QString cleaned;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] == '%' && i + 1 < argument.size()) {
                if (argument[i + 1] == '%')
                    cleaned += '%';
                ++i;
                continue;
            }
            cleaned += argument[i];
        }
        result << cleaned;
    }
    return result;
}

// "env [OPTION]... [NAME=VALUE]... PROGRAM ARGUMENTS" runs PROGRAM in place of
// env, so the program, not env, is what runs as the application. env's -S
// splits its string the way the Exec line itself is split.
QStringList withoutEnvPrefix(const QStringList& arguments) {
    if (arguments.isEmpty() || QFileInfo(arguments.first()).fileName() != QLatin1String("env"))
        return arguments;
    QStringList rest = arguments.mid(1);
    while (!rest.isEmpty()) {
        const QString option = rest.first();
        if (option == QLatin1String("--")) {
            rest.removeFirst();
            break;
        }
        if (option == QLatin1String("-u") || option == QLatin1String("-C")) {
            rest = rest.mid(2);
        } else if (option == QLatin1String("-S") ||
                   option.startsWith(QLatin1String("--split-string="))) {
            const QString text =
                option == QLatin1String("-S") ? rest.value(1) : option.section('=', 1);
            rest = rest.mid(option == QLatin1String("-S") ? 2 : 1);
            gint count = 0;
            gchar** parts = nullptr;
            const QByteArray bytes = text.toUtf8();
            if (g_shell_parse_argv(bytes.constData(), &count, &parts, nullptr)) {
                QStringList split;
                for (gint i = 0; i < count; ++i)
                    split << QString::fromUtf8(parts[i]);
                g_strfreev(parts);
                rest = split + rest;
            }
        } else if (option.startsWith('-') && !option.contains('=')) {
            rest.removeFirst();
        } else {
            break;
        }
    }
    while (!rest.isEmpty() && rest.first().contains('='))
        rest.removeFirst();
    return rest;
}

} // namespace

DesktopEntry DesktopEntry::fromFile(const QString& path) {
    DesktopEntry entry;
    entry.path_ = QFileInfo(path).absoluteFilePath();
    entry.identifier_ = identifierForPath(entry.path_);
    if (!entry.identifier_.endsWith(QLatin1String(".desktop"))) {
        entry.error_ = QStringLiteral("%1 is not a desktop entry (.desktop file)").arg(path);
        return entry;
    }

    GKeyFile* file = g_key_file_new();
    GError* failure = nullptr;
    const QByteArray localPath = QFile::encodeName(entry.path_);
    if (!g_key_file_load_from_file(file, localPath.constData(), G_KEY_FILE_NONE, &failure)) {
        entry.error_ = QStringLiteral("%1 cannot be read as a desktop entry: %2")
                           .arg(path, QString::fromUtf8(failure->message));
        g_error_free(failure);
        g_key_file_free(file);
        return entry;
    }
    const char* group = "Desktop Entry";
    const QString type = fromGChar(g_key_file_get_string(file, group, "Type", nullptr));
    const QString exec = fromGChar(g_key_file_get_string(file, group, "Exec", nullptr));
    entry.displayName_ =
        fromGChar(g_key_file_get_locale_string(file, group, "Name", nullptr, nullptr));
    entry.icon_ = fromGChar(g_key_file_get_locale_string(file, group, "Icon", nullptr, nullptr));
    g_key_file_free(file);

    if (type != QLatin1String("Application")) {
        entry.error_ = QStringLiteral("%1 does not describe an application").arg(path);
        return entry;
    }
    if (exec.trimmed().isEmpty()) {
        entry.error_ = QStringLiteral("%1 has no Exec command").arg(path);
        return entry;
    }
    gint count = 0;
    gchar** parts = nullptr;
    const QByteArray execBytes = exec.toUtf8();
    if (!g_shell_parse_argv(execBytes.constData(), &count, &parts, &failure)) {
        entry.error_ = QStringLiteral("%1 has an Exec command that cannot be parsed: %2")
                           .arg(path, QString::fromUtf8(failure->message));
        g_error_free(failure);
        return entry;
    }
    QStringList arguments;
    for (gint i = 0; i < count; ++i)
        arguments << QString::fromUtf8(parts[i]);
    g_strfreev(parts);
    entry.arguments_ = withoutEnvPrefix(withoutFieldCodes(arguments));
    if (entry.arguments_.isEmpty()) {
        entry.error_ = QStringLiteral("%1 has no program in its Exec command").arg(path);
        return entry;
    }
    const QString first = entry.arguments_.first();
    entry.program_ = first.contains('/')
                         ? (QFileInfo(first).isExecutable() && QFileInfo(first).isFile()
                                ? QFileInfo(first).absoluteFilePath()
                                : QString())
                         : QStandardPaths::findExecutable(first);
    if (entry.program_.isEmpty())
        entry.error_ =
            QStringLiteral("%1 runs %2, which does not exist or cannot be run").arg(path, first);
    return entry;
}

QStringList DesktopEntry::applicationFolders() {
    QStringList folders;
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString folder = QDir::cleanPath(data + QLatin1String("/applications"));
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}

QString DesktopEntry::identifierForPath(const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (const QString& folder : applicationFolders()) {
        if (absolute.startsWith(folder + '/'))
            return absolute.mid(folder.size() + 1).replace('/', '-');
    }
    return QFileInfo(absolute).fileName();
}

QString DesktopEntry::locate(const QString& identifier) {
    for (const QString& folder : applicationFolders()) {
        // An ID "a-b-c.desktop" may be "a/b-c.desktop", "a-b/c.desktop" and so on.
        // Subfolders are rare and shallow; past a few dashes only the flat name is tried.
        QStringList candidates{identifier};
        const bool fewDashes = identifier.count('-') <= 6;
        for (qsizetype i = 0; fewDashes && i < identifier.size(); ++i) {
            if (identifier[i] != '-')
                continue;
            const QStringList previous = candidates;
            for (QString candidate : previous) {
                candidate[i] = '/';
                candidates << candidate;
            }
        }
        for (const QString& candidate : candidates) {
            const QString file = folder + '/' + candidate;
            if (QFileInfo(file).isFile())
                return file;
        }
    }
    return QString();
}

QString DesktopEntry::nameForIdentifier(const QString& identifier) {
    QString name = identifier;
    if (name.endsWith(QLatin1String(".desktop")))
        name.chop(8);
    return name;
}
