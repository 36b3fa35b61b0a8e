#include "ServiceAccount.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 largestKeyFile = 1024 * 1024;
constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

struct OpenSslDeleter
{
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
template <typename T> using OpenSslPointer = std::unique_ptr<T, OpenSslDeleter>;

QByteArray signRs256(const QByteArray& pem, const QByteArray& input)
{
    const OpenSslPointer<BIO> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!bio)
        return {};
    const OpenSslPointer<EVP_PKEY> key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    const OpenSslPointer<EVP_MD_CTX> context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return {};
    size_t length = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(input.constData());
    if (EVP_DigestSign(context.get(), nullptr, &length, data, size_t(input.size())) != 1)
        return {};
    QByteArray signature(qsizetype(length), Qt::Uninitialized);
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, data,
                       size_t(input.size())) != 1)
        return {};
    signature.truncate(qsizetype(length));
    return signature;
}

} // namespace

ServiceAccount ServiceAccount::read(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = u"The service account key file \"%1\" cannot be read: %2."_s.arg(path, file.errorString());
        return {};
    }
    ServiceAccount account = parse(file.read(largestKeyFile), error);
    if (!error.isEmpty())
        error = u"The service account key file \"%1\" %2"_s.arg(path, error);
    return account;
}

ServiceAccount ServiceAccount::parse(const QByteArray& json, QString& error)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    if (object.value(u"type"_s).toString() != u"service_account"_s) {
        error = u"is not a service account's JSON key (its \"type\" is not \"service_account\")."_s;
        return {};
    }
    ServiceAccount account;
    account.m_email = object.value(u"client_email"_s).toString();
    account.m_privateKeyPem = object.value(u"private_key"_s).toString().toUtf8();
    if (account.m_email.isEmpty() || !account.m_privateKeyPem.contains("PRIVATE KEY")) {
        error = u"lacks the client_email or the private_key."_s;
        return {};
    }
    return account;
}

QByteArray ServiceAccount::assertion(const QString& scope, const QString& audience, const QDateTime& now,
                                     QString& error) const
{
    const qint64 issued = now.toSecsSinceEpoch();
    const QJsonObject header{{u"alg"_s, u"RS256"_s}, {u"typ"_s, u"JWT"_s}};
    const QJsonObject claims{{u"iss"_s, m_email},
                             {u"scope"_s, scope},
                             {u"aud"_s, audience},
                             {u"iat"_s, issued},
                             {u"exp"_s, issued + 3600}};
    const QByteArray signingInput = QJsonDocument(header).toJson(QJsonDocument::Compact).toBase64(base64url) +
                                    '.' +
                                    QJsonDocument(claims).toJson(QJsonDocument::Compact).toBase64(base64url);
    const QByteArray signature = signRs256(m_privateKeyPem, signingInput);
    if (signature.isEmpty()) {
        error = u"The service account's private key cannot sign (it is damaged or not an RSA key)."_s;
        return {};
    }
    return signingInput + '.' + signature.toBase64(base64url);
}
