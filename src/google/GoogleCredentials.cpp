#include "GoogleCredentials.h"

#include "RegularFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QString kindNames[] = {u"none"_s, u"user"_s, u"service_account"_s};

// A client or key file is a few kilobytes; anything far larger is not one.
constexpr qint64 largestCredentialFile = 1024 * 1024;

} // namespace

QByteArray GoogleCredentials::toJson() const
{
    QJsonObject object{{u"kind"_s, kindNames[int(kind)]}};
    const auto put = [&object](const QString& key, const QString& value) {
        if (!value.isEmpty())
            object.insert(key, value);
    };
    put(u"client_id"_s, clientId);
    put(u"client_secret"_s, clientSecret);
    put(u"refresh_token"_s, refreshToken);
    put(u"access_token"_s, accessToken);
    if (accessTokenExpires.isValid())
        object.insert(u"expires_at"_s, accessTokenExpires.toSecsSinceEpoch());
    put(u"service_account_file"_s, serviceAccountFile);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

GoogleCredentials GoogleCredentials::fromJson(const QByteArray& json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    GoogleCredentials credentials;
    const QString kind = object.value(u"kind"_s).toString();
    if (kind == kindNames[int(Kind::User)])
        credentials.kind = Kind::User;
    else if (kind == kindNames[int(Kind::ServiceAccount)])
        credentials.kind = Kind::ServiceAccount;
    else
        return {};
    credentials.clientId = object.value(u"client_id"_s).toString();
    credentials.clientSecret = object.value(u"client_secret"_s).toString();
    credentials.refreshToken = object.value(u"refresh_token"_s).toString();
    credentials.accessToken = object.value(u"access_token"_s).toString();
    if (object.contains(u"expires_at"_s))
        credentials.accessTokenExpires =
            QDateTime::fromSecsSinceEpoch(object.value(u"expires_at"_s).toInteger(), QTimeZone::utc());
    credentials.serviceAccountFile = object.value(u"service_account_file"_s).toString();
    return credentials;
}

OAuthClientFile OAuthClientFile::read(const QString& path, QString& error)
{
    QByteArray json;
    if (!RegularFile::read(path, u"The OAuth client file"_s, largestCredentialFile,
                           RegularFile::Links::Follow, false, json, error))
        return {};
    OAuthClientFile client = parse(json, error);
    if (!error.isEmpty())
        error = u"The OAuth client file \"%1\" %2"_s.arg(path, error);
    return client;
}

OAuthClientFile OAuthClientFile::parse(const QByteArray& json, QString& error)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    if (object.isEmpty()) {
        error = u"is not the JSON file Google Cloud Console downloads for an OAuth client."_s;
        return {};
    }
    if (object.contains(u"web"_s)) {
        error = u"is for a \"Web application\"; create a client of the type \"Desktop app\" instead."_s;
        return {};
    }
    if (object.value(u"type"_s).toString() == u"service_account"_s) {
        error = u"is a service account's key: give it with --service-account instead."_s;
        return {};
    }
    const QJsonObject installed = object.value(u"installed"_s).toObject();
    OAuthClientFile client{installed.value(u"client_id"_s).toString(),
                           installed.value(u"client_secret"_s).toString()};
    if (client.clientId.isEmpty()) {
        error = u"names no client_id of a \"Desktop app\" client."_s;
        return {};
    }
    return client;
}
