#include "LibsecretSecretStore.h"

// GLib's headers use "signals" as a name.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Hands a GLib object back to its own release function.
template<auto release>
struct Releaser
{
    template<typename T>
    void operator()(T *object) const { release(object); }
};
void freeItemList(GList *items) { g_list_free_full(items, g_object_unref); }

using ServicePointer = std::unique_ptr<SecretService, Releaser<g_object_unref>>;
using ItemListPointer = std::unique_ptr<GList, Releaser<freeItemList>>;
using ValuePointer = std::unique_ptr<SecretValue, Releaser<secret_value_unref>>;
using ErrorPointer = std::unique_ptr<GError, Releaser<g_error_free>>;
using TablePointer = std::unique_ptr<GHashTable, Releaser<g_hash_table_unref>>;
using CancellablePointer = std::unique_ptr<GCancellable, Releaser<g_object_unref>>;

// Attribute types only: the schema's name is not matched.
const SecretSchema serviceAccountSchema = {"org.freedesktop.Secret.Generic",
                                           SECRET_SCHEMA_DONT_MATCH_NAME,
                                           {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}}};

// Cancels every call made with `cancellable` once the time limit has passed, unless it ended first.
class TimeLimit
{
public:
    TimeLimit(GCancellable *cancellable, std::chrono::milliseconds limit)
        : m_watch([this, cancellable, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_ended.wait_for(lock, limit, [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          })
    {
    }
    ~TimeLimit()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_one();
        m_watch.join();
    }
    TimeLimit(const TimeLimit &) = delete;
    TimeLimit &operator=(const TimeLimit &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_watch;
};

SecretStore::Lookup failure(const GError *error, std::chrono::milliseconds limit)
{
    SecretStore::Lookup lookup;
    lookup.outcome = SecretStore::Lookup::Outcome::failed;
    lookup.code = error->code;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        lookup.text = QStringLiteral("The keyring service did not answer within %1 seconds.")
                          .arg(QString::number(limit.count() / 1000.0));
    } else if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN)
               || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)) {
        lookup.text = QStringLiteral("No keyring service (Secret Service) is running in this session.");
    } else {
        lookup.text = QStringLiteral("The keyring service can't be reached: %1").arg(QString::fromUtf8(error->message));
    }
    return lookup;
}

SecretStore::Lookup withOutcome(SecretStore::Lookup::Outcome outcome, QByteArray secret = {})
{
    SecretStore::Lookup lookup;
    lookup.outcome = outcome;
    lookup.secret = std::move(secret);
    return lookup;
}

} // namespace

LibsecretSecretStore::LibsecretSecretStore(std::chrono::milliseconds timeLimit)
    : m_timeLimit(timeLimit)
{
}

SecretStore::Lookup LibsecretSecretStore::lookup(const QString &service, const QString &account)
{
    const CancellablePointer cancellable(g_cancellable_new());
    const TimeLimit limit(cancellable.get(), m_timeLimit);
    GError *rawError = nullptr;

    const ServicePointer connection(
        secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_NONE, cancellable.get(), &rawError));
    if (!connection)
        return failure(ErrorPointer(rawError).get(), m_timeLimit);

    const QByteArray serviceValue = service.toUtf8();
    const QByteArray accountValue = account.toUtf8();
    const TablePointer attributes(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(attributes.get(), const_cast<char *>("service"), const_cast<char *>(serviceValue.constData()));
    g_hash_table_insert(attributes.get(), const_cast<char *>("account"), const_cast<char *>(accountValue.constData()));

    // Without SECRET_SEARCH_UNLOCK a locked match stays locked; unlocked matches come first.
    const ItemListPointer items(secret_service_search_sync(connection.get(), &serviceAccountSchema,
                                                           attributes.get(), SECRET_SEARCH_LOAD_SECRETS,
                                                           cancellable.get(), &rawError));
    if (rawError)
        return failure(ErrorPointer(rawError).get(), m_timeLimit);
    if (!items)
        return withOutcome(Lookup::Outcome::missing);

    auto *item = static_cast<SecretItem *>(items->data);
    if (secret_item_get_locked(item))
        return withOutcome(Lookup::Outcome::locked);
    const ValuePointer value(secret_item_get_secret(item));
    if (!value) {
        Lookup unread = withOutcome(Lookup::Outcome::failed);
        unread.text = QStringLiteral("The keyring service returned the item without its secret.");
        return unread;
    }
    gsize length = 0;
    const gchar *bytes = secret_value_get(value.get(), &length);
    return withOutcome(Lookup::Outcome::found, QByteArray(bytes, static_cast<qsizetype>(length)));
}
