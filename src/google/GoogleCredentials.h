#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// How a profile reaches Search Console, and what is kept for it in the secret store: for a person
// who signed in, the OAuth client (from the file Google Cloud Console downloads for a "Desktop
// app") and the tokens Google issued; for runs nobody watches, the path of a service account's
// key file (the key stays in that file). Never written to a log, the history or a message.
struct GoogleCredentials
{
    enum class Kind { None, User, ServiceAccount };

    Kind kind = Kind::None;
    QString clientId;
    QString clientSecret;
    QString refreshToken;
    QString accessToken;
    QDateTime accessTokenExpires; // UTC
    QString serviceAccountFile;

    bool isSignedIn() const { return kind != Kind::None; }
    // A token that is still good for a minute more.
    bool hasFreshAccessToken(const QDateTime& now) const
    {
        return !accessToken.isEmpty() && accessTokenExpires.isValid() && now.secsTo(accessTokenExpires) > 60;
    }

    QByteArray toJson() const;
    static GoogleCredentials fromJson(const QByteArray& json);
};

// An OAuth client of the "Desktop app" kind, as Google Cloud Console downloads it:
// {"installed": {"client_id", "client_secret", "auth_uri", "token_uri", "redirect_uris"}}.
struct OAuthClientFile
{
    QString clientId;
    QString clientSecret;

    // No client and a sentence saying what is wrong (a "Web application" client, a service
    // account's key given in its place, missing fields).
    static OAuthClientFile read(const QString& path, QString& error);
    static OAuthClientFile parse(const QByteArray& json, QString& error);
};
