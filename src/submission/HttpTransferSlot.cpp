#include "HttpTransferSlot.h"

#include "HttpFetch.h"
#include "SearchConsole.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

HttpTransferSlot::HttpTransferSlot(QNetworkAccessManager& network, std::chrono::milliseconds deadline,
                                   QObject* parent)
    : TransferSlot(parent), m_fetch(new HttpFetch(network, this)), m_deadline(deadline)
{
    connect(m_fetch, &HttpFetch::finished, this, &HttpTransferSlot::onFetched);
}

void HttpTransferSlot::execute(const TransferRequest& request)
{
    if (request.sitemapSubmission.console)
        return submitSitemap(request.sitemapSubmission);
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
    return m_fetch->isBusy() || m_submission;
}

void HttpTransferSlot::cancel()
{
    m_fetch->cancel();
    delete m_submission;
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

void HttpTransferSlot::submitSitemap(const TransferRequest::SitemapSubmission& submission)
{
    auto* under = new QObject(this);
    m_submission = under;
    const QPointer<QObject> alive(under);
    const auto end = [this, alive](const Verdict& verdict) {
        if (!alive)
            return; // cancelled meanwhile
        delete alive.data();
        emit finished(verdict);
    };
    const QPointer<SearchConsole> console = submission.console;
    console->submitSitemap(submission.property, submission.sitemap, [=](const GoogleAnswer& taken) {
        if (!alive || !console)
            return;
        if (!taken.ok()) {
            const bool slowDown = taken.outcome == GoogleAnswer::Outcome::SlowDown ||
                                  taken.outcome == GoogleAnswer::Outcome::QuotaExceeded;
            return end(Verdict{
                Outcome::Failed,
                taken.status == 0 ? taken.message : u"HTTP %1: %2"_s.arg(taken.status).arg(taken.message),
                taken.status, slowDown ? QString::number(taken.retryAfterSeconds) : QString()});
        }
        // Taken: what Google now says of it makes the verdict. A failure to read that back is
        // still a sitemap taken, and said so.
        console->readSitemap(submission.property, submission.sitemap, [=](const GoogleAnswer& read) {
            QString problem;
            const GoogleSitemapStatus status =
                read.ok() ? GoogleSitemapStatus::fromJson(read.body, problem) : GoogleSitemapStatus();
            if (!read.ok() || !problem.isEmpty())
                return end(Verdict{Outcome::Succeeded,
                                   u"submitted; its status could not be read back (%1)"_s.arg(
                                       read.ok() ? problem : read.message),
                                   read.status,
                                   {}});
            end(Verdict{Outcome::Succeeded,
                        u"submitted; Google: "_s + status.describe(),
                        read.status,
                        {},
                        QJsonDocument(read.body).toJson(QJsonDocument::Compact)});
        });
    });
}
