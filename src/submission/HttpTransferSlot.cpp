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
    fetch.deadline = m_deadline;
    m_answerRule = request.answerRule;
    if (m_answerRule.readsBody())
        fetch.keepBytes = AnswerRule::bodyBytesRead;
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
    if (!result.complete) {
        emit finished(Verdict{Outcome::Failed, result.error, 0, {}});
        return;
    }
    emit finished(
        m_answerRule.judge(result.status, result.reason, result.body, result.header("Retry-After")));
}
