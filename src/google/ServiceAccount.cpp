#include "ServiceAccount.h"

#include "RegularFile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 largestKeyFile = 1024 * 1024;
constexpr int minimumKeyBits = 2048;
constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

struct OpenSslDeleter
{
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
template <typename T> using OpenSslPointer = std::unique_ptr<T, OpenSslDeleter>;

OpenSslPointer<EVP_PKEY> privateKey(const QByteArray& pem)
{
    const OpenSslPointer<BIO> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    return OpenSslPointer<EVP_PKEY>(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                                        : nullptr);
}

QByteArray signRs256(const QByteArray& pem, const QByteArray& input)
{
    const OpenSslPointer<EVP_PKEY> key = privateKey(pem);
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
    QByteArray json;
    if (!RegularFile::read(path, u"The service account key file"_s, largestKeyFile,
                           RegularFile::Links::Follow, false, json, error))
        return {};
    ServiceAccount account = parse(json, error);
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
    // A key that cannot make Google's RS256 signature is refused now, before it takes the place
    // of a sign-in that works.
    const OpenSslPointer<EVP_PKEY> key = privateKey(account.m_privateKeyPem);
    if (!key) {
        error = u"holds a private key that cannot be read: it is damaged."_s;
        return {};
    }
    if (EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) {
        error = u"holds a private key that is not an RSA key; Google signs service accounts' assertions "
                u"with RSA (RS256) only."_s;
        return {};
    }
    if (EVP_PKEY_bits(key.get()) < minimumKeyBits) {
        error = u"holds an RSA key of %1 bits; Google's are %2 bits or more."_s.arg(EVP_PKEY_bits(key.get()))
                    .arg(minimumKeyBits);
        return {};
    }
    if (signRs256(account.m_privateKeyPem, "probe").isEmpty()) {
        error = u"holds a private key that cannot sign."_s;
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
        error = u"The service account's private key cannot sign."_s;
        return {};
    }
    return signingInput + '.' + signature.toBase64(base64url);
}
