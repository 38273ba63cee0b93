#include "KeyringDaemon.h"

#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>

namespace {

const char *const secretsBusName = "org.freedesktop.secrets";

bool nameHasOwner(const char *name)
{
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return false;
    GVariant *reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

// Stored under a schema name of its own: lookups match the two attributes only.
const SecretSchema itemSchema = {"com.torvane.tests.LegacyUnlock",
                                 SECRET_SCHEMA_NONE,
                                 {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}}};

// A connection of its own, so that nothing is cached across daemons.
SecretService *openService(GError **error)
{
    return secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, nullptr, error);
}

QString takeMessage(GError *error)
{
    const QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    if (error)
        g_error_free(error);
    return message;
}

} // namespace

KeyringDaemon::KeyringDaemon() = default;

KeyringDaemon::~KeyringDaemon()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    resume();
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool KeyringDaemon::onPrivateBus()
{
    return qEnvironmentVariable("TVN_PRIVATE_SESSION_BUS") == QLatin1String("1") && !nameHasOwner(secretsBusName);
}

bool KeyringDaemon::start()
{
    const QString runtime = m_home.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("gnome-keyring-daemon did not start: ") + m_process.errorString();
        return false;
    }
    // The login keyring's password; end of input ends it.
    m_process.write("keyring-test-password");
    m_process.waitForBytesWritten(5000);
    m_process.closeWriteChannel();
    QElapsedTimer waited;
    waited.start();
    while (!nameHasOwner(secretsBusName)) {
        if (waited.hasExpired(10000) || m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("gnome-keyring-daemon never served %1: %2")
                          .arg(QLatin1String(secretsBusName), QString::fromUtf8(m_process.readAllStandardError()));
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

bool KeyringDaemon::store(const QString &service, const QString &account, const QByteArray &secret)
{
    GError *error = nullptr;
    SecretService *connection = openService(&error);
    if (!connection) {
        m_error = takeMessage(error);
        return false;
    }
    const QByteArray serviceValue = service.toUtf8();
    const QByteArray accountValue = account.toUtf8();
    GHashTable *attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char *>("service"), const_cast<char *>(serviceValue.constData()));
    g_hash_table_insert(attributes, const_cast<char *>("account"), const_cast<char *>(accountValue.constData()));
    SecretValue *value = secret_value_new(secret.constData(), secret.size(), "application/octet-stream");
    const bool stored = secret_service_store_sync(connection, &itemSchema, attributes, SECRET_COLLECTION_DEFAULT,
                                                  "Torvane test item", value, nullptr, &error);
    secret_value_unref(value);
    g_hash_table_unref(attributes);
    g_object_unref(connection);
    if (!stored)
        m_error = takeMessage(error);
    return stored;
}

bool KeyringDaemon::lockDefaultCollection()
{
    GError *error = nullptr;
    SecretService *connection = openService(&error);
    SecretCollection *collection = connection ? secret_collection_for_alias_sync(connection, "default",
                                                                                 SECRET_COLLECTION_NONE, nullptr, &error)
                                              : nullptr;
    bool locked = false;
    if (collection) {
        GList *objects = g_list_append(nullptr, collection);
        locked = secret_service_lock_sync(connection, objects, nullptr, nullptr, &error) == 1;
        g_list_free(objects);
        g_object_unref(collection);
    }
    if (connection)
        g_object_unref(connection);
    if (!locked)
        m_error = takeMessage(error);
    return locked;
}

void KeyringDaemon::suspend()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP);
}

void KeyringDaemon::resume()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT);
}
