#include "GoogleStatusPage.h"

#include "GoogleAccount.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "SearchConsole.h"
#include "SecretStore.h"
#include "TimeText.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeZone>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

GoogleStatusPage::GoogleStatusPage(QString historyFile, QString secretsDirectory, QWidget* parent)
    : QWidget(parent), m_historyFile(std::move(historyFile)), m_secretsDirectory(std::move(secretsDirectory)),
      m_network(new QNetworkAccessManager(this)), m_status(new QLabel(this)),
      m_sitemaps(new QPlainTextEdit(this)), m_refresh(new QPushButton(u"&Refresh from Google"_s, this))
{
    m_status->setObjectName(u"googlePageStatus"_s);
    m_status->setWordWrap(true);
    m_sitemaps->setObjectName(u"googleSitemaps"_s);
    m_sitemaps->setReadOnly(true);
    m_sitemaps->setAccessibleName(u"The website's sitemaps as Google sees them"_s);
    m_refresh->setObjectName(u"refreshFromGoogle"_s);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_sitemaps, 1);
    layout->addWidget(m_refresh, 0, Qt::AlignRight);
    connect(m_refresh, &QPushButton::clicked, this, &GoogleStatusPage::onRefreshClicked);
}

GoogleStatusPage::~GoogleStatusPage() = default;

void GoogleStatusPage::showProfile(const Profile& profile)
{
    m_profile = profile;
    m_status->setText(
        profile.googleProperty.isEmpty()
            ? u"\"%1\" is not signed in to Google Search Console: sign it in on the Profile page."_s.arg(
                  profile.title)
            : u"Search Console property %1. Index states of announced pages are in the Coverage "
              u"tab, once orvanta google inspect has asked Google."_s.arg(profile.googleProperty));
    m_refresh->setEnabled(!profile.googleProperty.isEmpty());
    showStored();
}

void GoogleStatusPage::showStored()
{
    QString error;
    const auto database = HistoryDatabase::open(m_historyFile, HistoryDatabase::Mode::OpenExisting, error);
    QStringList lines;
    if (database) {
        for (const GoogleRecords::StoredSitemap& stored :
             GoogleRecords(*database).sitemaps(m_profile.title)) {
            QString line = stored.status.path + u": "_s + stored.status.describe(TimeText::shown);
            if (stored.submittedAt != 0)
                line += u"; submitted by Orvanta %1"_s.arg(TimeText::shown(stored.submittedAt));
            lines << line;
        }
    }
    m_sitemaps->setPlainText(!error.isEmpty()  ? error
                             : lines.isEmpty() ? u"No sitemap status recorded yet."_s
                                               : lines.join(u'\n'));
}

void GoogleStatusPage::onRefreshClicked()
{
    QString error;
    const GoogleEndpoints endpoints = GoogleEndpoints::fromEnvironment(error);
    if (!m_secrets)
        m_secrets = std::make_unique<SecretStore>(m_secretsDirectory);
    m_account = std::make_unique<GoogleAccount>(*m_network, endpoints, *m_secrets, m_profile.title,
                                                m_profile.googleServiceAccount);
    if (error.isEmpty())
        m_account->load(error);
    if (!error.isEmpty()) {
        m_status->setText(error);
        return;
    }
    // The button keeps its focus and stays where it is; a second press while Google answers the
    // first is not a second question.
    if (m_asking)
        return;
    m_asking = true;
    m_status->setText(u"Asking Google\u2026"_s);
    m_console = std::make_unique<SearchConsole>(*m_network, endpoints, *m_account);
    m_console->listSitemaps(m_profile.googleProperty, [this](const GoogleAnswer& answer) {
        if (!answer.ok()) {
            m_asking = false;
            m_status->setText(answer.message);
            return;
        }
        QString problem;
        const QList<GoogleSitemapStatus> sitemaps = GoogleSitemapStatus::listFrom(answer.body, problem);
        if (!problem.isEmpty()) {
            m_asking = false;
            m_status->setText(problem + u'.');
            return;
        }
        // Written on a thread of its own: a run writing meanwhile may hold the file for a while,
        // and the window does not wait for it.
        auto* recording = new QFutureWatcher<QString>(this);
        connect(recording, &QFutureWatcher<QString>::finished, this, [this, recording] {
            recording->deleteLater();
            m_asking = false;
            const QString failure = recording->result();
            m_status->setText(failure.isEmpty() ? u"Read from Google %1."_s.arg(
                                                      TimeText::shown(QDateTime::currentMSecsSinceEpoch()))
                                                : failure);
            showStored();
        });
        recording->setFuture(QtConcurrent::run([file = m_historyFile, profile = m_profile.title, sitemaps] {
            QString why;
            const auto database = HistoryDatabase::open(file, HistoryDatabase::Mode::OpenOrCreate, why);
            if (!database)
                return why;
            GoogleRecords records(*database);
            if (!records.recordSitemaps(profile, sitemaps, QDateTime::currentMSecsSinceEpoch()))
                return u"The history could not be written: %1"_s.arg(records.lastError());
            return QString();
        }));
    });
}
