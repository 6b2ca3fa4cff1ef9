#include "logbook/ZuConsoleUser.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

const QString login1 = QStringLiteral("org.freedesktop.login1");
// A hung bus must not hold up the start of the duty for long.
constexpr int busTimeoutMSecs = 2000;

QVariant property(const QString& path, const QString& interface, const QString& name) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {};
    QDBusMessage call = QDBusMessage::createMethodCall(
        login1, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = bus.call(call, QDBus::Block, busTimeoutMSecs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

} // namespace

QString ZuConsoleUser::shortName() {
    const QString user = activeSessionUser();
    return user.isEmpty() ? processUserName() : user;
}

QString ZuConsoleUser::activeSessionUser() {
    const QVariant session =
        property(QStringLiteral("/org/freedesktop/login1/seat/seat0"),
                 QStringLiteral("org.freedesktop.login1.Seat"), QStringLiteral("ActiveSession"));
    if (!session.canConvert<QDBusArgument>())
        return {};
    // ActiveSession is (so): the session id and its object path.
    const QDBusArgument argument = session.value<QDBusArgument>();
    QString id;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> id >> path;
    argument.endStructure();
    if (id.isEmpty() || path.path().isEmpty() || path.path() == QLatin1String("/"))
        return {};
    return property(path.path(), QStringLiteral("org.freedesktop.login1.Session"),
                    QStringLiteral("Name"))
        .toString();
}

QString ZuConsoleUser::processUserName() {
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}
