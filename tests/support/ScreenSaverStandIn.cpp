// A desktop's screen saver on a session bus, for the tests of what the player asks of it: owns
// org.freedesktop.ScreenSaver at /ScreenSaver and /org/freedesktop/ScreenSaver, answers
// Inhibit with a new cookie and UnInhibit as a desktop does, and writes each call as a line:
//   ready                          (the name is owned)
//   inhibit COOKIE APPLICATION
//   uninhibit COOKIE
//   unknown COOKIE                 (an UnInhibit of a cookie not held: a desktop ignores it)
// Usage: kestrune-test-screensaver BUS-ADDRESS

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <cstdio>
#include <set>

namespace {

constexpr auto kInterface = "org.freedesktop.ScreenSaver";

class ScreenSaver final : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String(kInterface)) return false;
        const QList<QVariant> arguments = message.arguments();
        if (message.member() == QLatin1String("Inhibit") && arguments.size() == 2) {
            const uint cookie = next_++;
            held_.insert(cookie);
            std::printf("inhibit %u %s\n", cookie, qPrintable(arguments[0].toString()));
            std::fflush(stdout);
            connection.send(message.createReply(QVariant::fromValue(cookie)));
            return true;
        }
        if (message.member() == QLatin1String("UnInhibit") && arguments.size() == 1) {
            const uint cookie = arguments[0].toUInt();
            std::printf("%s %u\n", held_.erase(cookie) == 1 ? "uninhibit" : "unknown", cookie);
            std::fflush(stdout);
            connection.send(message.createReply());
            return true;
        }
        return false;
    }

    QString introspect(const QString& /*path*/) const override {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.ScreenSaver\">"
            "<method name=\"Inhibit\"><arg name=\"application_name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"reason_for_inhibit\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"cookie\" type=\"u\" direction=\"out\"/></method>"
            "<method name=\"UnInhibit\"><arg name=\"cookie\" type=\"u\" direction=\"in\"/>"
            "</method></interface>");
    }

private:
    uint next_ = 1001;
    std::set<uint> held_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: kestrune-test-screensaver BUS-ADDRESS\n", stderr);
        return 2;
    }
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), QStringLiteral("desktop"));
    ScreenSaver saver;
    if (!bus.isConnected() || !bus.registerVirtualObject(QStringLiteral("/ScreenSaver"), &saver) ||
        !bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver) ||
        !bus.registerService(QLatin1String(kInterface))) {
        std::fprintf(stderr, "kestrune-test-screensaver: cannot serve on %s\n", argv[1]);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
