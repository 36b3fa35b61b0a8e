#include "HttpTransferSlot.h"

#include "HttpFetch.h"
#include "SubmissionRequest.h"

using namespace Qt::StringLiterals;

HttpTransferSlot::HttpTransferSlot(QNetworkAccessManager& network, std::chrono::milliseconds deadline,
                                   QObject* parent)
    : TransferSlot(parent), m_fetch(new HttpFetch(network, this)), m_deadline(deadline)
{
    connect(m_fetch, &HttpFetch::finished, this, &HttpTransferSlot::onFetched);
}

void HttpTransferSlot::execute(const TransferRequest& request)
{
    FetchRequest fetch;
    fetch.url = QUrl::fromEncoded(request.url, QUrl::StrictMode);
    fetch.post = request.post;
    fetch.body = request.body;
    fetch.contentType = request.contentType;
    fetch.method = request.method;
    fetch.headers = request.headers;
    fetch.deadline = m_deadline;
    m_answerRule = request.answerRule;
    if (m_answerRule.readsBody() || request.readBack)
        fetch.keepBytes = AnswerRule::bodyBytesRead;
    m_readingBack = false;
    m_readBack = FetchRequest();
    if (request.readBack) {
        m_readBack = fetch;
        m_readBack.method = "GET";
        m_readBack.body.clear();
        m_readBack.contentType.clear();
    }
    m_fetch->start(fetch);
}

bool HttpTransferSlot::isBusy() const
{
    return m_fetch->isBusy();
}

void HttpTransferSlot::cancel()
{
    m_fetch->cancel();
}

void HttpTransferSlot::onFetched(const FetchResult& result)
{
    // Taken: what the service now says of it makes the verdict. A failure to read that back is
    // still a request taken, and said so.
    if (m_readingBack && (!result.complete || result.status < 200 || result.status >= 300)) {
        emit finished(Verdict{Outcome::Succeeded,
                              u"submitted; its status could not be read back (%1)"_s.arg(
                                  result.complete ? u"HTTP %1"_s.arg(result.status) : result.error),
                              result.status,
                              {}});
        return;
    }
    if (!result.complete) {
        emit finished(Verdict{Outcome::Failed, result.error, 0, {}});
        return;
    }
    if (!m_readBack.url.isEmpty() && !m_readingBack && result.status >= 200 && result.status < 300) {
        m_readingBack = true;
        m_fetch->start(m_readBack);
        return;
    }
    emit finished(
        m_answerRule.judge(result.status, result.reason, result.body, result.header("Retry-After")));
}
