#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

class SiteFarm;

// Google's sign-in, token and revocation endpoints and the Search Console API, imitated on a
// SiteFarm from Google's documentation: the authorisation-code flow with PKCE and its checks
// (client, loopback redirect, S256 challenge against the verifier, one use per code), refresh
// tokens, service-account assertions verified with the account's public key, revocation, and
// the properties, sitemaps and URL Inspection services with their error bodies and quotas.
class GoogleImitation final : public QObject
{
    Q_OBJECT

public:
    explicit GoogleImitation(SiteFarm& farm, QObject* parent = nullptr);
    ~GoogleImitation() override;

    // Points the program at this imitation through its environment variables.
    void setEnvironment() const;

    // A "Desktop app" OAuth client's file, and a service account's key file, as Google Cloud
    // Console downloads them.
    QByteArray clientFile() const;
    QByteArray serviceAccountFile() const;
    static inline const QString serviceAccountEmail =
        QStringLiteral("cron@orvanta-test.iam.gserviceaccount.com");

    void addProperty(const QString& siteUrl, const QString& permission = QStringLiteral("siteOwner"));
    void removeProperty(const QString& siteUrl) { m_properties.remove(siteUrl); }
    // What URL Inspection says of a page: the indexStatusResult object.
    void setIndexStatus(const QString& page, const QJsonObject& indexStatusResult);
    void setDailyInspections(int quota) { m_dailyInspections = quota; }
    // URL Inspection's limit per minute, its minute made a second here: past it, a 429 that asks
    // to come back in a second.
    void setInspectionsPerMinute(int quota) { m_inspectionsPerMinute = quota; }
    // The next API request is refused as one with an expired token (401), as a token that
    // expires between two requests is.
    void refuseNextApiCall() { m_refuseNextApiCall = true; }
    // A sitemap the owner submitted in Search Console itself, downloaded with this many pages.
    void addSitemap(const QString& property, const QString& path, int pages);
    // Google has downloaded every submitted sitemap and found this many pages in each.
    void downloadSitemaps(int pages);
    // Every access token issued so far has expired.
    void expireAccessTokens() { m_accessTokens.clear(); }

    // Every token this imitation issued, so a test can look for them where they must not be.
    const QList<QByteArray>& issuedTokens() const { return m_issued; }
    int revocations() const { return m_revocations; }
    int inspections() const { return m_inspectionsToday; }

private:
    struct Grant; // a code issued by the authorisation endpoint
    struct Sitemap
    {
        QString lastSubmitted;
        QString lastDownloaded;
        bool pending = true;
        int pages = 0;
    };

    QByteArray newToken(const QByteArray& kind);
    bool verifyAssertion(const QByteArray& assertion, QString& why) const;
    QString propertyDenied(const QString& property) const;

    QString m_base;
    QHash<QByteArray, Grant*> m_codes;
    QSet<QByteArray> m_refreshTokens;
    QSet<QByteArray> m_accessTokens;
    QList<QByteArray> m_issued;
    QHash<QString, QString> m_properties; // siteUrl → permission level
    QHash<QString, QHash<QString, Sitemap>> m_sitemaps;
    QHash<QString, QJsonObject> m_indexStatus;
    QByteArray m_privateKeyPem;
    QByteArray m_publicKeyPem;
    int m_dailyInspections = 2000;
    int m_inspectionsPerMinute = 600;
    QList<qint64> m_inspectedAt; // in this "minute", ms
    bool m_refuseNextApiCall = false;
    int m_inspectionsToday = 0;
    int m_revocations = 0;
    int m_sequence = 0;
};
