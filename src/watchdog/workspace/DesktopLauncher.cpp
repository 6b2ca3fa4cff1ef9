// GIO before any Qt header: its "signals" member clashes with Qt's keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "workspace/DesktopLauncher.h"

#include "workspace/DesktopEntry.h"
#include "workspace/ProcessTable.h"

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

bool usesStandInBus() {
    return qgetenv("DBUS_SESSION_BUS_ADDRESS").startsWith("unix:path=/nonexistent/zughoulizer");
}

// Asks the systemd user manager to put the launched process into a transient
// scope "app-zughoulizer-NAME-PID.scope", as desktop launchers do: whatever it
// starts then stays in that scope, even past a new session. False when no
// user manager answers.
bool moveIntoScope(const QString& desktopFile, pid_t pid, QString* scope) {
    if (usesStandInBus())
        return false;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr)
        return false;
    const QString name = QStringLiteral("app-zughoulizer-%1-%2.scope")
                             .arg(ProcessTable::escapedUnitPart(DesktopEntry::nameForIdentifier(
                                      DesktopEntry::identifierForPath(desktopFile))),
                                  QString::number(pid));
    GVariantBuilder pids;
    g_variant_builder_init(&pids, G_VARIANT_TYPE("au"));
    g_variant_builder_add(&pids, "u", static_cast<guint32>(pid));
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a(sv)"));
    g_variant_builder_add(&properties, "(sv)", "PIDs", g_variant_builder_end(&pids));
    g_variant_builder_add(&properties, "(sv)", "CollectMode",
                          g_variant_new_string("inactive-or-failed"));
    GVariantBuilder auxiliary;
    g_variant_builder_init(&auxiliary, G_VARIANT_TYPE("a(sa(sv))"));
    const QByteArray unit = name.toUtf8();
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
        "org.freedesktop.systemd1.Manager", "StartTransientUnit",
        g_variant_new("(ssa(sv)a(sa(sv)))", unit.constData(), "fail", &properties, &auxiliary),
        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, nullptr);
    g_object_unref(bus);
    if (reply == nullptr)
        return false;
    g_variant_unref(reply);
    *scope = name;
    return true;
}

} // namespace

DesktopLauncher::Result DesktopLauncher::launch(const QString& desktopFile, bool asChildren) {
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
    if (usesStandInBus())
        g_app_launch_context_unsetenv(context, "DBUS_SESSION_BUS_ADDRESS");
    GError* failure = nullptr;
    const GSpawnFlags flags =
        asChildren ? static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD)
                   : G_SPAWN_SEARCH_PATH;
    result.launched = g_desktop_app_info_launch_uris_as_manager(info, nullptr, context, flags,
                                                                detachSession, nullptr, collectPid,
                                                                &result.pids, &failure) != FALSE;
    result.children = result.launched && asChildren;
    for (const pid_t pid : std::as_const(result.pids)) {
        QString scope;
        if (moveIntoScope(desktopFile, pid, &scope))
            result.scopes << scope;
    }
    if (!result.launched && failure != nullptr)
        result.error = QString::fromUtf8(failure->message);
    if (failure != nullptr)
        g_error_free(failure);
    g_object_unref(context);
    g_object_unref(info);
    return result;
}
