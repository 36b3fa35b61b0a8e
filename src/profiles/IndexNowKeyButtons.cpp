#include "IndexNowKeyButtons.h"

#include "Dialogs.h"
#include "IndexNowKey.h"
#include "KeyFileCheck.h"

#include <QDir>
#include <QHBoxLayout>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {
const QString keyTitle = u"IndexNow Key"_s;
}

IndexNowKeyButtons::IndexNowKeyButtons(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto button = [this, layout](const QString& name, const QString& text,
                                       void (IndexNowKeyButtons::*onClick)()) {
        auto* created = new QPushButton(text, this);
        created->setObjectName(name);
        layout->addWidget(created);
        connect(created, &QPushButton::clicked, this, onClick);
        return created;
    };
    m_generate = button(u"generateKey"_s, u"Generate"_s, &IndexNowKeyButtons::onGenerateClicked);
    m_saveKeyFile = button(u"saveKeyFile"_s, u"Save key file…"_s, &IndexNowKeyButtons::onSaveKeyFileClicked);
    m_check = button(u"checkKey"_s, u"Check"_s, &IndexNowKeyButtons::onCheckClicked);
    layout->addStretch();
}

IndexNowKeyButtons::~IndexNowKeyButtons() = default;

void IndexNowKeyButtons::setUp(Dialogs& dialogs, std::function<Profile()> workingCopy)
{
    m_dialogs = &dialogs;
    m_workingCopy = std::move(workingCopy);
}

void IndexNowKeyButtons::placeInTabOrder(QWidget* before, QWidget* after)
{
    QWidget* chain[] = {before, m_generate, m_saveKeyFile, m_check, after};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        setTabOrder(chain[i], chain[i + 1]);
}

void IndexNowKeyButtons::onGenerateClicked()
{
    // Enter keeps the key: the website may serve it already.
    if (!m_workingCopy().indexNowKey.isEmpty() &&
        !m_dialogs->askYesNo(u"Replace the IndexNow key with a new one? The site must then serve the new "
                             u"key file before engines take notifications again."_s,
                             keyTitle, Dialogs::Icon::Question, Dialogs::Answer::No))
        return;
    emit keyGenerated(IndexNowKey::generate());
}

void IndexNowKeyButtons::onSaveKeyFileClicked()
{
    const Profile profile = m_workingCopy();
    if (!IndexNowKey::isValid(profile.indexNowKey)) {
        m_dialogs->inform(profile.indexNowKey.isEmpty()
                              ? u"The profile has no IndexNow key. Generate one first."_s
                              : u"The IndexNow key must be 8 to 128 letters (a-z, A-Z), digits or hyphens."_s,
                          keyTitle, Dialogs::Icon::Warning);
        return;
    }
    const QString path = m_dialogs->saveFileName(
        u"Save key file"_s, QDir::home().filePath(IndexNowKey::fileName(profile.indexNowKey)),
        u"Text files (*.txt)"_s);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(profile.indexNowKey.toUtf8()) < 0 || !file.commit()) {
        m_dialogs->inform(u"The key file \"%1\" could not be written: %2."_s.arg(path, file.errorString()),
                          keyTitle, Dialogs::Icon::Critical);
        return;
    }
    const QUrl location = IndexNowKey::location(profile.value(ProfileField::Url), profile.indexNowKey);
    m_dialogs->inform(
        u"The key file \"%1\" is saved. Upload it to the root folder of the website, so that %2 shows the key."_s
            .arg(path, location.isEmpty() ? u"<website>/"_s + IndexNowKey::fileName(profile.indexNowKey)
                                          : location.toDisplayString()),
        keyTitle, Dialogs::Icon::Information);
}

void IndexNowKeyButtons::onCheckClicked()
{
    if (!m_keyCheck) {
        m_keyCheck = new KeyFileCheck(*new QNetworkAccessManager(this), this);
        connect(m_keyCheck, &KeyFileCheck::finished, this, [this](const KeyFileCheck::Result& result) {
            m_check->setEnabled(true);
            m_dialogs->inform(result.message, keyTitle,
                              result.finding == KeyFileCheck::Finding::Served ? Dialogs::Icon::Information
                                                                              : Dialogs::Icon::Warning);
        });
    }
    m_check->setEnabled(false); // one check at a time
    m_keyCheck->start(m_workingCopy());
}
