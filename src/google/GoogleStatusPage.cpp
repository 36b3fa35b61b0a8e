#include "GoogleStatusPage.h"

#include "GoogleConnection.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "SearchConsole.h"
#include "TimeText.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeZone>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

GoogleStatusPage::GoogleStatusPage(QString historyFile, GoogleConnections& google, QWidget* parent)
    : QWidget(parent), m_historyFile(std::move(historyFile)), m_google(google), m_status(new QLabel(this)),
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
    if (profile.title != m_profile.title) {
        // Whatever is asked for the profile shown before goes with its connection.
        m_connection.reset();
        m_asking = false;
    }
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
    // The button keeps its focus and stays where it is; a second press while Google answers the
    // first is not a second question.
    if (m_asking)
        return;
    m_connection = m_google.connect(m_profile);
    if (!m_connection->problem().isEmpty()) {
        m_status->setText(m_connection->problem());
        return;
    }
    m_asking = true;
    m_status->setText(u"Asking Google\u2026"_s);
    GoogleConnection* connection = m_connection.get();
    const QString profile = connection->madeFor().title;
    connection->console().listSitemaps(m_profile.googleProperty, [this, connection,
                                                                  profile](const GoogleAnswer& answer) {
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
        // and the window does not wait for it. Kept under the profile it was asked for, whichever
        // is shown when it lands; shown only while that one is.
        auto* recording = new QFutureWatcher<QString>(connection);
        connect(recording, &QFutureWatcher<QString>::finished, this, [this, recording] {
            recording->deleteLater();
            m_asking = false;
            const QString failure = recording->result();
            m_status->setText(failure.isEmpty() ? u"Read from Google %1."_s.arg(
                                                      TimeText::shown(QDateTime::currentMSecsSinceEpoch()))
                                                : failure);
            showStored();
        });
        recording->setFuture(QtConcurrent::run([file = m_historyFile, profile, sitemaps] {
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
