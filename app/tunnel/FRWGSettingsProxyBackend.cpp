#include "FRWGSettingsProxyBackend.h"

#include <array>
#include <map>
#include <memory>

// GIO names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

constexpr std::array<FRWProxyKind, 3> kKinds{FRWProxyKind::Web, FRWProxyKind::Secure, FRWProxyKind::Socks};

// The keys a restore writes back, in order: the mode last, so the proxies it switches on are
// already in place.
struct ExtraKey {
    const char* subschema; // empty for the main schema
    const char* key;
};
constexpr std::array<ExtraKey, 10> kExtraKeys{{{"http", "host"},
                                               {"http", "port"},
                                               {"https", "host"},
                                               {"https", "port"},
                                               {"socks", "host"},
                                               {"socks", "port"},
                                               {"", "ignore-hosts"},
                                               {"", "use-same-proxy"},
                                               {"", "autoconfig-url"},
                                               {"", "mode"}}};

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

QString extraName(const ExtraKey& key)
{
    return *key.subschema ? QLatin1String(key.subschema) + u'.' + QLatin1String(key.key)
                          : QLatin1String(key.key);
}

} // namespace

/// One schema's settings, opened on the calling thread for one call. A missing schema or key
/// reads as nothing and refuses writes (GSettings itself would abort on either).
class FRWGSettingsProxyBackend::Settings {
public:
    Settings(const QString& schemaId, GSettingsBackend* store)
    {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        m_schema =
            source ? g_settings_schema_source_lookup(source, schemaId.toUtf8().constData(), TRUE) : nullptr;
        if (m_schema) {
            m_settings = g_settings_new_full(m_schema, store, nullptr);
        }
    }
    ~Settings()
    {
        if (m_settings) {
            g_object_unref(m_settings);
        }
        if (m_schema) {
            g_settings_schema_unref(m_schema);
        }
    }
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    bool exists() const { return m_settings != nullptr; }

    /// Holds writes back until `apply`; reads through this object see them at once.
    void delay()
    {
        if (m_settings) {
            g_settings_delay(m_settings);
        }
    }
    void apply()
    {
        if (m_settings) {
            g_settings_apply(m_settings);
        }
    }

    Variant get(const char* key) const
    {
        if (!m_settings || !g_settings_schema_has_key(m_schema, key)) {
            return nullptr;
        }
        return Variant(g_settings_get_value(m_settings, key));
    }

    std::optional<QString> string(const char* key) const
    {
        const Variant value = get(key);
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) {
            return std::nullopt;
        }
        return QString::fromUtf8(g_variant_get_string(value.get(), nullptr));
    }

    std::optional<int> integer(const char* key) const
    {
        const Variant value = get(key);
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_INT32)) {
            return std::nullopt;
        }
        return g_variant_get_int32(value.get());
    }

    std::optional<bool> boolean(const char* key) const
    {
        const Variant value = get(key);
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN)) {
            return std::nullopt;
        }
        return g_variant_get_boolean(value.get()) != FALSE;
    }

    /// Takes the floating reference of `value`.
    bool set(const char* key, GVariant* value)
    {
        g_variant_ref_sink(value);
        const Variant owned(value);
        bool ok = false;
        if (m_settings && g_settings_schema_has_key(m_schema, key)) {
            GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(m_schema, key);
            ok = g_variant_is_of_type(value, g_settings_schema_key_get_value_type(schemaKey)) &&
                 g_settings_set_value(m_settings, key, value);
            g_settings_schema_key_unref(schemaKey);
        }
        if (!ok) {
            qWarning("Ferrow: cannot set %s %s",
                     m_schema ? g_settings_schema_get_id(m_schema) : "(no schema)", key);
        }
        return ok;
    }

    bool setString(const char* key, const QString& value)
    {
        return set(key, g_variant_new_string(value.toUtf8().constData()));
    }

    /// The value as `gsettings get` prints it: the form the backup has always kept.
    std::optional<QString> text(const char* key) const
    {
        const Variant value = get(key);
        if (!value) {
            return std::nullopt;
        }
        gchar* printed = g_variant_print(value.get(), TRUE);
        QString result = QString::fromUtf8(printed);
        g_free(printed);
        return result;
    }

    bool setText(const char* key, const QString& text)
    {
        if (!m_settings || !g_settings_schema_has_key(m_schema, key)) {
            return false;
        }
        GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(m_schema, key);
        GVariant* value = g_variant_parse(g_settings_schema_key_get_value_type(schemaKey),
                                          text.toUtf8().constData(), nullptr, nullptr, nullptr);
        g_settings_schema_key_unref(schemaKey);
        if (!value) {
            qWarning("Ferrow: cannot read back %s of %s", key, g_settings_schema_get_id(m_schema));
            return false;
        }
        return set(key, value);
    }

private:
    GSettingsSchema* m_schema = nullptr;
    GSettings* m_settings = nullptr;
};

struct FRWGSettingsProxyBackend::Open {
    std::map<QString, std::shared_ptr<Settings>> bySchema;
};

FRWGSettingsProxyBackend::FRWGSettingsProxyBackend(QString serviceName, QString schema,
                                                   GSettingsBackend* store)
    : m_service(std::move(serviceName))
    , m_schema(std::move(schema))
    , m_store(store ? static_cast<GSettingsBackend*>(g_object_ref(store)) : nullptr)
    , m_open(std::make_unique<Open>())
{
}

FRWGSettingsProxyBackend::~FRWGSettingsProxyBackend()
{
    if (m_store) {
        g_object_unref(m_store);
    }
}

QString FRWGSettingsProxyBackend::schemaFor(FRWProxyKind kind) const
{
    switch (kind) {
    case FRWProxyKind::Web:
        return m_schema + QStringLiteral(".http");
    case FRWProxyKind::Secure:
        return m_schema + QStringLiteral(".https");
    case FRWProxyKind::Socks:
        break;
    }
    return m_schema + QStringLiteral(".socks");
}

QString FRWGSettingsProxyBackend::primaryNetworkService()
{
    return open(m_schema)->string("mode") ? m_service : QString();
}

std::optional<FRWProxyKindSettings> FRWGSettingsProxyBackend::queryProxy(FRWProxyKind kind,
                                                                         const QString& /*service*/)
{
    const std::shared_ptr<Settings> mainSettings = open(m_schema);
    const std::shared_ptr<Settings> kindShared = open(schemaFor(kind));
    const Settings& main = *mainSettings;
    const Settings& kindSettings = *kindShared;
    const std::optional<QString> mode = main.string("mode");
    const std::optional<QString> host = kindSettings.string("host");
    const std::optional<int> port = kindSettings.integer("port");
    if (!mode || !host || !port) {
        return std::nullopt;
    }
    bool authenticated = false;
    if (kind == FRWProxyKind::Web) {
        const std::optional<bool> useAuthentication = kindSettings.boolean("use-authentication");
        if (!useAuthentication) {
            return std::nullopt;
        }
        authenticated = *useAuthentication;
    }
    const bool enabled = *mode == u"manual" && !host->isEmpty();
    return FRWProxyKindSettings{enabled, *host, QString::number(*port), authenticated};
}

bool FRWGSettingsProxyBackend::setProxy(FRWProxyKind kind, const QString& /*service*/, const QString& server,
                                        const QString& port)
{
    bool numeric = false;
    const int portNumber = port.toInt(&numeric);
    if (!numeric) {
        return false;
    }
    Settings& settings = *open(schemaFor(kind));
    const bool hostSet = settings.setString("host", server);
    const bool portSet = settings.set("port", g_variant_new_int32(portNumber));
    return hostSet && portSet;
}

bool FRWGSettingsProxyBackend::setProxyState(FRWProxyKind kind, const QString& /*service*/, bool enabled)
{
    const std::shared_ptr<Settings> mainSettings = open(m_schema);
    Settings& main = *mainSettings;
    if (enabled) {
        return main.setString("mode", QStringLiteral("manual"));
    }
    // One mode serves all kinds: a kind is switched off by clearing it, and the mode goes to
    // "none" once no manual proxy is left.
    const std::shared_ptr<Settings> kindShared = open(schemaFor(kind));
    Settings& kindSettings = *kindShared;
    bool ok = kindSettings.setString("host", QString());
    ok &= kindSettings.set("port", g_variant_new_int32(0));
    const std::optional<QString> mode = main.string("mode");
    if (!mode) {
        return false;
    }
    if (*mode != u"manual") {
        return ok;
    }
    for (const FRWProxyKind other : kKinds) {
        const std::optional<QString> host = open(schemaFor(other))->string("host");
        if (!host) {
            return false;
        }
        if (!host->isEmpty()) {
            return ok;
        }
    }
    return main.setString("mode", QStringLiteral("none")) && ok;
}

QString FRWGSettingsProxyBackend::queryBypassDomains(const QString& /*service*/)
{
    const Variant hosts = open(m_schema)->get("ignore-hosts");
    if (!hosts || !g_variant_is_of_type(hosts.get(), G_VARIANT_TYPE_STRING_ARRAY)) {
        return {};
    }
    QStringList domains;
    gsize count = 0;
    const gchar** strings = g_variant_get_strv(hosts.get(), &count);
    for (gsize i = 0; i < count; ++i) {
        domains.append(QString::fromUtf8(strings[i]));
    }
    g_free(static_cast<gpointer>(strings));
    return domains.join(u'\n');
}

bool FRWGSettingsProxyBackend::setBypassDomains(const QString& /*service*/, const QStringList& domains)
{
    std::vector<QByteArray> bytes;
    bytes.reserve(domains.size());
    std::vector<const gchar*> strings;
    for (const QString& domain : domains) {
        bytes.push_back(domain.toUtf8());
        strings.push_back(bytes.back().constData());
    }
    return open(m_schema)->set("ignore-hosts",
                               g_variant_new_strv(strings.data(), static_cast<gssize>(strings.size())));
}

QVariantMap FRWGSettingsProxyBackend::snapshotExtras(const QString& /*service*/)
{
    QVariantMap extras;
    for (const ExtraKey& key : kExtraKeys) {
        const QString schema = *key.subschema ? m_schema + u'.' + QLatin1String(key.subschema) : m_schema;
        if (const std::optional<QString> value = open(schema)->text(key.key)) {
            extras.insert(extraName(key), *value);
        }
    }
    return extras;
}

bool FRWGSettingsProxyBackend::restoreExtras(const QString& /*service*/, const QVariantMap& extras)
{
    bool ok = true;
    for (const ExtraKey& key : kExtraKeys) {
        const QVariant value = extras.value(extraName(key));
        if (value.typeId() != QMetaType::QString) {
            continue;
        }
        const QString schema = *key.subschema ? m_schema + u'.' + QLatin1String(key.subschema) : m_schema;
        ok &= open(schema)->setText(key.key, value.toString());
    }
    return ok;
}

std::shared_ptr<FRWGSettingsProxyBackend::Settings> FRWGSettingsProxyBackend::open(const QString& schemaId)
{
    if (m_batchDepth == 0) {
        return std::make_shared<Settings>(schemaId, m_store);
    }
    // Within a batch one object per schema holds the writes, so the store is written once per
    // schema at the end instead of once per key.
    std::shared_ptr<Settings>& settings = m_open->bySchema[schemaId];
    if (!settings) {
        settings = std::make_shared<Settings>(schemaId, m_store);
        settings->delay();
    }
    return settings;
}

void FRWGSettingsProxyBackend::beginBatch()
{
    ++m_batchDepth;
}

bool FRWGSettingsProxyBackend::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0) {
        // Desktops act on each schema as it lands. A manual mode goes out after the addresses
        // it needs, any other mode before they are cleared, so no one sees "manual" without a host.
        const auto main = m_open->bySchema.find(m_schema);
        const bool mainLast = main != m_open->bySchema.end() && main->second->string("mode") == u"manual";
        if (main != m_open->bySchema.end() && !mainLast) {
            main->second->apply();
        }
        for (const auto& [schema, settings] : m_open->bySchema) {
            if (schema != m_schema) {
                settings->apply();
            }
        }
        if (mainLast) {
            main->second->apply();
        }
        m_open->bySchema.clear();
    }
    g_settings_sync();
    return true;
}
