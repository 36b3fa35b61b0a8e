#pragma once

#include "AnswerRule.h"
#include "HttpFetch.h"
#include "SubmissionRequest.h"
#include "TransferSlot.h"

#include <QPointer>

#include <chrono>

class QNetworkAccessManager;

// A transfer slot on a shared network manager: every transfer has a hard deadline, the body is
// thrown away as it arrives (but for its first bytes when the site's answer rule reads them),
// and only a complete response that the rule accepts is a success. A sitemap for Search Console
// goes through the profile's Google client instead, and its status is read back.
class HttpTransferSlot final : public TransferSlot
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultDeadline{20000};

    explicit HttpTransferSlot(QNetworkAccessManager& network,
                              std::chrono::milliseconds deadline = defaultDeadline,
                              QObject* parent = nullptr);

    void execute(const TransferRequest& request) override;
    bool isBusy() const override;
    void cancel() override;

private:
    void onFetched(const FetchResult& result);
    void submitSitemap(const TransferRequest::SitemapSubmission& submission);

    HttpFetch* m_fetch;
    std::chrono::milliseconds m_deadline;
    AnswerRule m_answerRule;
    // The sitemap submission under way; cancelling it deletes it, so that what Google answers
    // later reaches nobody.
    QPointer<QObject> m_submission;
};
