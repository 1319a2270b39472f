#include "ScreenReaderSession.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace testsupport {

namespace {

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString readerConnection = QStringLiteral("orvex-screen-reader");
const QString sessionConnection = QStringLiteral("orvex-screen-reader-session");

QString firstLine(QProcess& process, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!process.canReadLine() && !deadline.hasExpired() && process.state() != QProcess::NotRunning)
        process.waitForReadyRead(100);
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

QDBusMessage callOn(const QString& connection, const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection(connection).call(message, QDBus::Block, 5000);
}

}  // namespace

ScreenReaderSession::ScreenReaderSession()
{
    const QString launcher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() || !QFile::exists(launcher)) {
        m_unavailable = QStringLiteral("needs Xvfb, dbus-daemon and at-spi2-core (scripts/install-deps.sh installs them)");
        return;
    }
    // -displayfd picks a free display and writes its number once the server takes connections.
    if (!startProcess(m_display, QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")}, "Xvfb"))
        return;
    m_displayName = QLatin1Char(':') + firstLine(m_display, 10000);
    if (!startProcess(m_sessionBus, QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")},
                      "the session bus"))
        return;
    m_sessionAddress = firstLine(m_sessionBus, 10000);
    if (m_displayName.size() < 2 || m_sessionAddress.isEmpty()) {
        m_unavailable = QStringLiteral("Xvfb or dbus-daemon did not say where it listens");
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    m_launcher.setProcessEnvironment(environment);
    if (!startProcess(m_launcher, launcher, {QStringLiteral("--launch-immediately")}, "the accessibility bus"))
        return;
    QDBusConnection::connectToBus(m_sessionAddress, sessionConnection);
    QDeadlineTimer deadline(10000);
    while (m_accessibilityAddress.isEmpty() && !deadline.hasExpired()) {
        const QDBusMessage reply = callOn(sessionConnection, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                          QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            m_accessibilityAddress = reply.arguments().constFirst().toString();
        else
            QThread::msleep(100);
    }
    if (m_accessibilityAddress.isEmpty() || !QDBusConnection::connectToBus(m_accessibilityAddress, readerConnection).isConnected())
        m_unavailable = QStringLiteral("the accessibility bus did not come up");
}

ScreenReaderSession::~ScreenReaderSession()
{
    QDBusConnection::disconnectFromBus(readerConnection);
    QDBusConnection::disconnectFromBus(sessionConnection);
    for (QProcess* process : {&m_launcher, &m_sessionBus, &m_display}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
    }
}

bool ScreenReaderSession::startProcess(QProcess& process, const QString& program, const QStringList& arguments,
                                       const char* what)
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (process.waitForStarted(10000))
        return true;
    m_unavailable = QStringLiteral("%1 did not start: %2").arg(QLatin1String(what), process.errorString());
    return false;
}

QProcessEnvironment ScreenReaderSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    return environment;
}

std::vector<ScreenReaderSession::Accessible> ScreenReaderSession::applications() const
{
    return children({QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")});
}

std::vector<ScreenReaderSession::Accessible> ScreenReaderSession::children(const Accessible& parent) const
{
    std::vector<Accessible> found;
    const QDBusMessage reply
        = callOn(readerConnection, parent.service, parent.path, accessibleInterface, QStringLiteral("GetChildren"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return found;
    const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Accessible child;
        QDBusObjectPath path;
        list.beginStructure();
        list >> child.service >> path;
        list.endStructure();
        child.path = path.path();
        found.push_back(child);
    }
    list.endArray();
    return found;
}

QString ScreenReaderSession::property(const Accessible& object, const char* name) const
{
    const QDBusMessage reply = callOn(readerConnection, object.service, object.path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                      QStringLiteral("Get"), {accessibleInterface, QString::fromLatin1(name)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toString();
}

QString ScreenReaderSession::name(const Accessible& object) const { return property(object, "Name"); }

QString ScreenReaderSession::description(const Accessible& object) const { return property(object, "Description"); }

bool ScreenReaderSession::act(const Accessible& object) const
{
    const QDBusMessage reply = callOn(readerConnection, object.service, object.path, QStringLiteral("org.a11y.atspi.Action"),
                                      QStringLiteral("DoAction"), {0});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() && reply.arguments().constFirst().toBool();
}

std::optional<ScreenReaderSession::Accessible> ScreenReaderSession::find(
    const Accessible& root, const std::function<bool(const Accessible&)>& wanted) const
{
    if (wanted(root))
        return root;
    for (const Accessible& child : children(root))
        if (auto found = find(child, wanted))
            return found;
    return std::nullopt;
}

}  // namespace testsupport
