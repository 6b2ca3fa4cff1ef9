// GIO before any Qt header: its "signals" member clashes with Qt's keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "workspace/DesktopLauncher.h"

#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace {

void detachSession(gpointer) {
    setsid();
}

void collectPid(GDesktopAppInfo*, GPid pid, gpointer data) {
    static_cast<QList<pid_t>*>(data)->append(pid);
}

// GIO asks the session bus to register each launch. Without a bus address
// and without a bus socket that request could try to start a bus of its own;
// the launch needs no bus, so such a lookup is ruled out beforehand.
void ruleOutSessionBusStart() {
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QLatin1String("/bus")))
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zughoulizer-no-session-bus");
}

} // namespace

DesktopLauncher::Result DesktopLauncher::launch(const QString& desktopFile) {
    Result result;
    const QByteArray path = QFile::encodeName(desktopFile);
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.constData());
    if (info == nullptr) {
        result.error = QStringLiteral("%1 is missing, unreadable or runs no existing program")
                           .arg(desktopFile);
        return result;
    }
    ruleOutSessionBusStart();
    GAppLaunchContext* context = g_app_launch_context_new();
    // The launched program should not inherit the watchdog's stand-in address.
    if (qgetenv("DBUS_SESSION_BUS_ADDRESS").startsWith("unix:path=/nonexistent/zughoulizer"))
        g_app_launch_context_unsetenv(context, "DBUS_SESSION_BUS_ADDRESS");
    GError* failure = nullptr;
    result.launched = g_desktop_app_info_launch_uris_as_manager(
                          info, nullptr, context, G_SPAWN_SEARCH_PATH, detachSession, nullptr,
                          collectPid, &result.pids, &failure) != FALSE;
    if (!result.launched && failure != nullptr)
        result.error = QString::fromUtf8(failure->message);
    if (failure != nullptr)
        g_error_free(failure);
    g_object_unref(context);
    g_object_unref(info);
    return result;
}
