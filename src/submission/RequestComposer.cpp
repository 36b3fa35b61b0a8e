#include "RequestComposer.h"

#include "IndexNowKey.h"
#include "PageList.h"
#include "Profile.h"
#include "PromoSite.h"
#include "RequestTemplate.h"
#include "WebAddress.h"

#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

// What a site that needs a value the profile lacks fails with, at once: in the window and on the
// command line alike, so naming the value rather than where either sets it.
const QString needsKey = u"needs an IndexNow key, and the profile has none yet"_s;
const QString needsValidKey =
    u"needs a valid IndexNow key (8 to 128 letters, digits or hyphens), and the profile's is not"_s;
const QString needsHost = u"needs a website address with a host name, and the profile's URL has none"_s;
const QString needsFeed = u"needs a feed address, and the profile has none"_s;

// The profile field behind each of the first seventeen placeholders, in the order of
// RequestTemplate::placeholderKeywords().
constexpr std::array<ProfileField, 17> placeholderFields = {
    ProfileField::State,        ProfileField::Name,     ProfileField::MajorCategory,
    ProfileField::Description,  ProfileField::City,     ProfileField::FfaCategory,
    ProfileField::Email,        ProfileField::Url,      ProfileField::Company,
    ProfileField::Phone,        ProfileField::Country,  ProfileField::Address,
    ProfileField::WebsiteTitle, ProfileField::Zip,      ProfileField::Fax,
    ProfileField::Keywords,     ProfileField::SiteType,
};

void appendEscaped(QByteArray& out, unsigned char byte)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Escapes only what a request target cannot carry as it stands: blanks, "#", control and
// non-ASCII bytes, and a "%" that does not begin an escape. Everything else goes out unchanged.
void appendRequestTarget(QByteArray& target, QByteArrayView raw)
{
    enum Kind : unsigned char { Plain, Escaped, Percent };
    static const std::array<Kind, 256> kinds = [] {
        std::array<Kind, 256> table{};
        for (int byte = 0; byte < 256; ++byte) {
            if (byte <= 0x20 || byte >= 0x7F || QByteArrayView("#\"<>\\^`{|}").contains(char(byte)))
                table[size_t(byte)] = Escaped;
        }
        table['%'] = Percent;
        return table;
    }();
    const char* const begin = raw.data();
    const char* const end = begin + raw.size();
    const char* kept = begin; // bytes from here that go out as they are, not yet appended
    for (const char* at = begin; at < end; ++at) {
        const Kind kind = kinds[static_cast<unsigned char>(*at)];
        if (kind == Plain || (kind == Percent && end - at > 2 && isHexDigit(at[1]) && isHexDigit(at[2])))
            continue;
        target.append(kept, at - kept);
        appendEscaped(target, static_cast<unsigned char>(*at));
        kept = at + 1;
    }
    target.append(kept, end - kept);
}

bool isUnreserved(int byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// QUrl rewrites a target only where it decodes an escaped unreserved character ("%7E" becomes
// "~"), writes an escape's hex digits in capitals, or tidies the scheme and authority ("HTTP://H:080"
// becomes "http://h:80"). A target where none of these can happen goes out as it stands.
bool mayBeRewritten(const QByteArray& target)
{
    for (qsizetype at = target.indexOf('%'); at >= 0 && at + 2 < target.size();
         at = target.indexOf('%', at + 1)) {
        const char high = target.at(at + 1);
        const char low = target.at(at + 2);
        if ((high >= 'a' && high <= 'f') || (low >= 'a' && low <= 'f') ||
            isUnreserved(hexValue(high) * 16 + hexValue(low)))
            return true;
    }
    const qsizetype scheme = target.indexOf("://");
    if (scheme < 0)
        return true;
    qsizetype authorityEnd = scheme + 3;
    while (authorityEnd < target.size() && target.at(authorityEnd) != '/' && target.at(authorityEnd) != '?')
        ++authorityEnd;
    const QByteArrayView head(target.constData(), authorityEnd);
    const qsizetype port = head.lastIndexOf(':');
    return std::any_of(head.begin(), head.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || c == '@' || c == '['; }) ||
           (port > scheme && port + 1 < head.size() && head.at(port + 1) == '0');
}

// The target as the network layer will send it: QUrl writes escaped unreserved characters
// ("%7E", "%41") as the characters themselves, which servers take as the same.
QByteArray wireForm(const QByteArray& target)
{
    if (!mayBeRewritten(target))
        return target;
    const QUrl url = QUrl::fromEncoded(target, QUrl::StrictMode);
    return url.isValid() ? url.toEncoded() : target;
}

} // namespace

RequestComposer::RequestComposer(const Profile& profile)
{
    using RequestTemplate::Notification;
    std::array<QString, placeholderCount> plain;
    for (size_t i = 0; i < placeholderFields.size(); ++i)
        plain[i] = profile.value(placeholderFields[i]);
    const QString& address = profile.value(ProfileField::Url);
    const QUrl keyLocation = IndexNowKey::location(address, profile.indexNowKey);
    plain[size_t(Notification::Key)] = profile.indexNowKey;
    m_keyInvalid = !profile.indexNowKey.isEmpty() && !IndexNowKey::isValid(profile.indexNowKey);
    plain[size_t(Notification::Host)] = QString::fromLatin1(WebAddress::siteHost(address));
    plain[size_t(Notification::Feed)] = profile.feed;
    plain[size_t(Notification::KeyLocation)] =
        profile.indexNowKey.isEmpty() ? QString() : keyLocation.toString(QUrl::FullyEncoded);
    if (!profile.indexNowKey.isEmpty() && !keyLocation.isEmpty())
        m_keyFile = keyLocation.toString(QUrl::RemoveScheme | QUrl::FullyEncoded).mid(2);
    // IndexNow takes the address in the one form its host and key location are in too.
    const QByteArray normal = WebAddress::normalise(address.trimmed().toUtf8()).address;
    const QString normalAddress = normal.isEmpty() ? address : QString::fromLatin1(normal);
    m_normalAddress = {formUrlEncode(normalAddress), jsonEscape(normalAddress), xmlEscape(normalAddress),
                       normalAddress};
    for (size_t i = 0; i < placeholderCount; ++i) {
        m_empty[i] = plain[i].isEmpty();
        m_values[size_t(Encoding::Form)][i] = formUrlEncode(plain[i]);
        m_values[size_t(Encoding::Json)][i] = jsonEscape(plain[i]);
        m_values[size_t(Encoding::Xml)][i] = xmlEscape(plain[i]);
        m_values[size_t(Encoding::Text)][i] = plain[i];
    }
}

QString RequestComposer::formUrlEncode(const QString& value)
{
    QByteArray encoded;
    const QByteArray utf8 = value.toUtf8();
    encoded.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '*' || byte == '-' || byte == '.' || byte == '_')
            encoded += c;
        else if (byte == ' ')
            encoded += '+';
        else
            appendEscaped(encoded, byte);
    }
    return QString::fromLatin1(encoded);
}

QString RequestComposer::jsonEscape(const QString& value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'"' || c == u'\\')
            escaped += u'\\' + QString(c);
        else if (c == u'\n')
            escaped += u"\\n"_s;
        else if (c == u'\r')
            escaped += u"\\r"_s;
        else if (c == u'\t')
            escaped += u"\\t"_s;
        else if (c.unicode() < 0x20)
            escaped += u"\\u%1"_s.arg(c.unicode(), 4, 16, QChar(u'0'));
        else
            escaped += c;
    }
    return escaped;
}

QString RequestComposer::xmlEscape(const QString& value)
{
    static constexpr std::array<std::pair<char16_t, const char16_t*>, 6> entities = {{
        {u'&', u"&amp;"},
        {u'<', u"&lt;"},
        {u'>', u"&gt;"},
        {u'"', u"&quot;"},
        {u'\'', u"&apos;"},
        {u'\r', u"&#13;"}, // a carriage return survives parsing only as a reference
    }};
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        const auto* entity = std::find_if(entities.begin(), entities.end(),
                                          [c](const auto& pair) { return pair.first == c.unicode(); });
        if (entity != entities.end())
            escaped += QString::fromUtf16(entity->second);
        // XML 1.0 holds no other control character, not even as a reference.
        else if ((c.unicode() < 0x20 && c != u'\n' && c != u'\t') || c.unicode() >= 0xFFFE)
            escaped += QChar(QChar::ReplacementCharacter);
        else
            escaped += c;
    }
    return escaped;
}

RequestComposer::Filled RequestComposer::inspect(const QString& requestTemplate, Encoding encoding) const
{
    return inspect(requestTemplate, encoding, false);
}

RequestComposer::Filled RequestComposer::inspect(const QString& requestTemplate, Encoding encoding,
                                                 bool normalAddress) const
{
    const Variant variant{requestTemplate, int(encoding) * 2 + int(normalAddress)};
    const QString& last = m_lastVariant.requestTemplate;
    if (variant.how == m_lastVariant.how && requestTemplate.constData() == last.constData() &&
        requestTemplate.size() == last.size())
        return m_lastFilled;
    auto found = m_filled.constFind(variant);
    if (found == m_filled.cend()) {
        if (m_filled.size() >= filledKept) // a catalogue of templates all its own: keep memory flat
            m_filled.clear();
        found = m_filled.insert(variant, inspectAnew(requestTemplate, encoding, normalAddress));
    }
    m_lastVariant = variant;
    m_lastFilled = *found;
    return m_lastFilled;
}

RequestComposer::Filled RequestComposer::inspectAnew(const QString& requestTemplate, Encoding encoding,
                                                     bool normalAddress) const
{
    using RequestTemplate::Notification;
    std::array<QString, placeholderCount> values = m_values[size_t(encoding)];
    if (normalAddress) {
        const auto url = std::find(placeholderFields.cbegin(), placeholderFields.cend(), ProfileField::Url);
        values[size_t(url - placeholderFields.cbegin())] = m_normalAddress[size_t(encoding)];
    }
    const bool firstOnly = encoding == Encoding::Form;
    Filled filled;
    // The placeholders to replace, found first, so the text is made in one piece of its final size.
    QVarLengthArray<RequestTemplate::BracketedWord, placeholderCount> replaced;
    std::array<bool, placeholderCount> present{};
    qsizetype size = requestTemplate.size();
    for (RequestTemplate::BracketedWord word = RequestTemplate::nextBracketedWord(requestTemplate, 0);
         word.at >= 0; word = RequestTemplate::nextBracketedWord(requestTemplate, word.at + 1)) {
        if (word.placeholder < 0) {
            filled.unknownPlaceholders << requestTemplate.mid(word.at, word.length);
        } else if (!firstOnly || !present[size_t(word.placeholder)]) {
            present[size_t(word.placeholder)] = true;
            replaced.append(word);
            size += values[size_t(word.placeholder)].size() - word.length;
        }
    }
    filled.text = QString(size, Qt::Uninitialized);
    QChar* out = filled.text.data();
    qsizetype copied = 0;
    for (const RequestTemplate::BracketedWord& word : replaced) {
        out = std::copy(requestTemplate.cbegin() + copied, requestTemplate.cbegin() + word.at, out);
        const QString& value = values[size_t(word.placeholder)];
        out = std::copy(value.cbegin(), value.cend(), out);
        copied = word.at + word.length;
    }
    std::copy(requestTemplate.cbegin() + copied, requestTemplate.cend(), out);
    for (size_t i = 0; i < size_t(RequestTemplate::fieldPlaceholderCount); ++i) {
        if (present[i] && m_empty[i]) {
            filled.emptyPlaceholders << RequestTemplate::placeholder(
                RequestTemplate::placeholderKeywords().at(qsizetype(i)));
            filled.lackingKeys << Profile::key(placeholderFields[i]);
        }
    }
    const auto lacks = [&](Notification value) { return present[size_t(value)] && m_empty[size_t(value)]; };
    if (lacks(Notification::Key) || (lacks(Notification::KeyLocation) && m_empty[size_t(Notification::Key)]))
        filled.missingValue = needsKey;
    else if (m_keyInvalid &&
             (present[size_t(Notification::Key)] || present[size_t(Notification::KeyLocation)]))
        filled.missingValue = needsValidKey;
    else if (lacks(Notification::Host) || lacks(Notification::KeyLocation))
        filled.missingValue = needsHost;
    else if (lacks(Notification::Feed))
        filled.missingValue = needsFeed;
    if (filled.missingValue == needsKey)
        filled.lackingKeys << SettingsKeys::profileIndexNowKey;
    if (filled.missingValue == needsHost && !filled.lackingKeys.contains(Profile::key(ProfileField::Url)))
        filled.lackingKeys << Profile::key(ProfileField::Url);
    if (filled.missingValue == needsFeed)
        filled.lackingKeys << SettingsKeys::profileFeed;
    return filled;
}

SubmissionRequest RequestComposer::compose(const PromoSite& site, Filled* inspected) const
{
    const std::optional<Encoding> encoding = RequestTemplate::encodingNamed(site.encoding);
    Filled filled = inspect(site, encoding.value_or(Encoding::Form));
    SubmissionRequest request{site.sitename, site.method.toLower(), site.action, filled.text, site.data};
    request.encoding = encoding.value_or(Encoding::Form);
    request.answerRule = AnswerRule::forSite(site, m_keyFile);
    if (!encoding)
        request.unsendable =
            u"the catalogue's encoding \"%1\" is none of form, json, xml or text"_s.arg(site.encoding);
    else if (!request.answerRule.problem().isEmpty())
        request.unsendable = request.answerRule.problem();
    else
        request.unsendable = filled.missingValue;
    if (inspected)
        *inspected = std::move(filled);
    return request;
}

RequestComposer::Filled RequestComposer::inspect(const PromoSite& site, Encoding encoding) const
{
    return inspect(site.data, encoding, AnswerRule::isIndexNowEndpoint(site.action));
}

QStringList RequestComposer::lackingKeys(const PromoSite& site) const
{
    return inspect(site, RequestTemplate::encodingNamed(site.encoding).value_or(Encoding::Form)).lackingKeys;
}

SubmissionRequest RequestComposer::composeBatch(const PromoSite& site, const PageBatch& batch) const
{
    using RequestTemplate::Notification;
    const auto& json = m_values[size_t(Encoding::Json)];
    QString body = u"{\"host\":\""_s + json[size_t(Notification::Host)] + u"\",\"key\":\""_s +
                   json[size_t(Notification::Key)] + u"\",\"keyLocation\":\""_s +
                   json[size_t(Notification::KeyLocation)] + u"\",\"urlList\":["_s;
    qsizetype length = body.size() + 2;
    for (const qsizetype page : batch.indices)
        length += batch.pages->url(page).size() + 3;
    body.reserve(length);
    for (qsizetype i = 0; i < batch.indices.size(); ++i) {
        body += i ? u",\""_s : u"\""_s;
        // An address is nearly always plain ASCII that JSON takes as it stands: it goes across
        // without a text of its own (ten thousand of them make a batch).
        const QByteArrayView url = batch.pages->url(batch.indices.at(i));
        const bool plain = std::all_of(url.cbegin(), url.cend(), [](char c) {
            return c >= 0x20 && c != '"' && c != '\\' && static_cast<unsigned char>(c) < 0x80;
        });
        if (plain)
            body += QLatin1StringView(url.data(), url.size());
        else
            body += jsonEscape(QString::fromUtf8(url));
        body += u'"';
    }
    body += u"]}"_s;
    SubmissionRequest request{site.sitename, u"post"_s, site.action, body, site.data};
    request.encoding = Encoding::Json;
    request.answerRule = AnswerRule::forSite(site, m_keyFile);
    if (m_empty[size_t(Notification::Key)])
        request.unsendable = needsKey;
    else if (m_keyInvalid)
        request.unsendable = needsValidKey;
    else if (m_empty[size_t(Notification::Host)])
        request.unsendable = needsHost;
    else
        request.unsendable = request.answerRule.problem();
    return request;
}

TransferRequest TransferRequest::from(const SubmissionRequest& request)
{
    TransferRequest transfer;
    transfer.post = request.isPost();
    transfer.contentType = RequestTemplate::contentType(request.encoding);
    transfer.answerRule = request.answerRule;
    QByteArray target;
    target.reserve(request.url.size() + (transfer.post ? 0 : request.data.size() + 1) + 16);
    appendRequestTarget(target, request.url.toUtf8());
    if (transfer.post) {
        transfer.body = request.data.toUtf8();
    } else {
        target += '?';
        appendRequestTarget(target, request.data.toUtf8());
    }
    transfer.url = wireForm(target);
    return transfer;
}
