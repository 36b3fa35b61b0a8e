#include "ProfilePage.h"

#include "ChangeSignal.h"
#include "ComboBoxes.h"
#include "Dialogs.h"
#include "GoogleAccountPanel.h"
#include "IndexNowKeyButtons.h"
#include "ProfileCategories.h"
#include "ui_ProfilePage.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

bool isCategoryField(ProfileField field)
{
    return field == ProfileField::FfaCategory || field == ProfileField::SiteType ||
           field == ProfileField::MajorCategory;
}

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
}

} // namespace

ProfilePage::ProfilePage(ProfileStore& store, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ProfilePage>()), m_editor(store), m_dialogs(dialogs),
      m_store(store)
{
    ui->setupUi(this);
    m_fields = {
        {ProfileField::Name, ui->txtname},
        {ProfileField::Company, ui->txtcompany},
        {ProfileField::Address, ui->txtaddress},
        {ProfileField::City, ui->txtcity},
        {ProfileField::State, ui->txtstate},
        {ProfileField::Zip, ui->txtzip},
        {ProfileField::Country, ui->txtcountry},
        {ProfileField::Phone, ui->txtphone},
        {ProfileField::Fax, ui->txtfax},
        {ProfileField::Email, ui->txtemail},
        {ProfileField::WebsiteTitle, ui->txttitle},
        {ProfileField::Url, ui->txturl},
        {ProfileField::Keywords, ui->txtkeywords},
        {ProfileField::Description, ui->txtdescription},
        {ProfileField::FfaCategory, ui->txtffa},
        {ProfileField::SiteType, ui->txttype},
        {ProfileField::MajorCategory, ui->txtmajor},
    };
    for (size_t i = 0; i < m_fields.size(); ++i)
        Q_ASSERT(m_fields[i].field == ProfileField(i)); // fieldText() indexes by field

    // A profile value is never cut short, however long it is.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setMaxLength(std::numeric_limits<int>::max());

    ui->txttype->addItems(ProfileCategories::siteTypes());
    ui->txttype->setEditText(ProfileCategories::initialSiteType());
    ui->txtffa->addItems(ProfileCategories::ffaCategories());
    ui->txtffa->setEditText(ProfileCategories::initialFfaCategory());
    ui->txtmajor->addItems(ProfileCategories::majorCategories());
    ui->txtmajor->setEditText(ProfileCategories::initialMajorCategory());
    for (QComboBox* box : {ui->Combo4, ui->txtffa, ui->txttype, ui->txtmajor})
        ComboBoxes::takeTypedTextAsIs(box);

    // The description box is two lines high at the window's first size, whatever the font, and
    // takes every line a larger window has to spare.
    QPlainTextEdit* description = ui->txtdescription;
    description->setMinimumHeight(2 * description->fontMetrics().lineSpacing() +
                                  2 * int(description->document()->documentMargin()) +
                                  2 * description->frameWidth() + description->fontMetrics().descent());
    description->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::MinimumExpanding);
    int descriptionRow = 0;
    int unused = 0;
    ui->profileLayout->getItemPosition(ui->profileLayout->indexOf(description), &descriptionRow, &unused,
                                       &unused, &unused);
    ui->profileLayout->setRowStretch(descriptionRow, 1);

    // Before anything is loaded the fields are locked in light grey.
    setFieldsLocked(true, QColor(192, 192, 192));

    connect(ui->Combo4, &QComboBox::activated, this, &ProfilePage::onProfilePicked);
    connect(ui->Command7, &QPushButton::clicked, this, &ProfilePage::onNewClicked);
    connect(ui->Command9, &QPushButton::clicked, this, &ProfilePage::onSaveClicked);
    connect(ui->Command21, &QPushButton::clicked, this, &ProfilePage::onDeleteClicked);
    connect(ui->changeSignal, &QComboBox::currentIndexChanged, this,
            [this](int chosen) { m_changeSignal = ChangeSignals::nameOf(ChangeSignal(chosen)); });
    ui->indexNowKeyButtons->setUp(m_dialogs, [this] { return workingCopy(); });
    ui->indexNowKeyButtons->placeInTabOrder(ui->txtindexnowkey, ui->txtfeed);
    connect(ui->indexNowKeyButtons, &IndexNowKeyButtons::keyGenerated, ui->txtindexnowkey,
            &QLineEdit::setText);
}

ProfilePage::~ProfilePage() = default;

void ProfilePage::setUpGoogle(DesktopOpener& desktop, GoogleConnections& google)
{
    ui->googleAccount->setUp({m_dialogs, desktop, m_store, google, [this] { return workingCopy(); },
                              [this] { return currentSlot(); }});
    connect(ui->googleAccount, &GoogleAccountPanel::googleChanged, this,
            [this](const QString& property, const QString& serviceAccount) {
                m_googleProperty = property;
                m_googleServiceAccount = serviceAccount;
            });
    ui->googleAccount->showProfile(workingCopy());
}

Profile ProfilePage::workingCopy() const
{
    Profile profile;
    profile.title = ui->Combo4->currentText();
    for (const Field& field : m_fields)
        profile.value(field.field) = fieldText(field.field);
    // Pasted from elsewhere, these often bring a blank or a line end that is no part of them.
    profile.indexNowKey = ui->txtindexnowkey->text().trimmed();
    profile.feed = ui->txtfeed->text().trimmed();
    profile.googleProperty = m_googleProperty;
    profile.googleServiceAccount = m_googleServiceAccount;
    // A profile kept before there was a choice stays without one until another is chosen.
    const QString signal = ChangeSignals::nameOf(ChangeSignal(ui->changeSignal->currentIndex()));
    profile.changeSignal =
        m_changeSignal.isEmpty() && signal == ChangeSignals::nameOf(ChangeSignal::LastModified) ? QString()
                                                                                                : signal;
    profile.include = ui->txtinclude->text().simplified();
    profile.exclude = ui->txtexclude->text().simplified();
    return profile;
}

QString ProfilePage::fieldText(ProfileField field) const
{
    const QWidget* widget = m_fields[size_t(field)].widget;
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentText();
    const QString shown = static_cast<const QPlainTextEdit*>(widget)->toPlainText();
    return shown == m_loadedDescriptionAsShown ? m_loadedDescription : shown;
}

void ProfilePage::setFieldText(ProfileField field, const QString& text)
{
    QWidget* widget = m_fields[size_t(field)].widget;
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setEditText(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
    if (auto* description = qobject_cast<QPlainTextEdit*>(widget)) {
        description->setPlainText(text);
        m_loadedDescription = text;
        m_loadedDescriptionAsShown = description->toPlainText();
    }
    // A long value opens at its beginning, not scrolled to its end.
    if (auto* edit = qobject_cast<QComboBox*>(widget) ? static_cast<QComboBox*>(widget)->lineEdit()
                                                      : qobject_cast<QLineEdit*>(widget))
        edit->setCursorPosition(0);
}

void ProfilePage::showProfile(const Profile& profile)
{
    for (const Field& field : m_fields)
        setFieldText(field.field, profile.value(field.field));
    ui->txtindexnowkey->setText(profile.indexNowKey);
    ui->txtfeed->setText(profile.feed);
    ui->txtfeed->setCursorPosition(0);
    m_googleProperty = profile.googleProperty;
    m_googleServiceAccount = profile.googleServiceAccount;
    showChoices(profile.changeSignal, profile.include, profile.exclude);
    ui->googleAccount->showProfile(profile);
}

void ProfilePage::showChoices(const QString& changeSignal, const QString& include, const QString& exclude)
{
    ui->changeSignal->setCurrentIndex(
        int(ChangeSignals::fromName(changeSignal).value_or(ChangeSignal::LastModified)));
    m_changeSignal = changeSignal; // after the change above, which counts as a choice
    ui->txtinclude->setText(include);
    ui->txtexclude->setText(exclude);
}

void ProfilePage::clearTextFields()
{
    for (const Field& field : m_fields) {
        if (!isCategoryField(field.field))
            setFieldText(field.field, QString());
    }
    ui->txtindexnowkey->clear();
    ui->txtfeed->clear();
    m_googleProperty.clear();
    m_googleServiceAccount.clear();
    // As a new profile is stored: pages without a lastmod judged by their content.
    showChoices(ChangeSignals::nameOf(ChangeSignal::Auto), {}, {});
    ui->googleAccount->showProfile(workingCopy());
}

QList<QWidget*> ProfilePage::lockableWidgets() const
{
    QList<QWidget*> widgets;
    for (const Field& field : m_fields)
        widgets << field.widget;
    return widgets << ui->txtindexnowkey << ui->txtfeed << ui->indexNowKeyButtons << ui->changeSignal
                   << ui->txtinclude << ui->txtexclude;
}

void ProfilePage::setFieldsLocked(bool locked, const QColor& background)
{
    for (QWidget* widget : lockableWidgets()) {
        if (!qobject_cast<QPushButton*>(widget))
            setBackground(widget, background);
        widget->setEnabled(!locked);
    }
}

void ProfilePage::unlockFields()
{
    setFieldsLocked(false, Qt::white);
}

void ProfilePage::lockFields()
{
    setFieldsLocked(true, palette().color(QPalette::Window));
}

void ProfilePage::loadProfiles()
{
    for (const ProfileStore::TitledSlot& titled : m_editor.titles()) {
        ui->Combo4->addItem(titled.title);
        ui->Combo4->setEditText(titled.title);
    }
    if (ui->Combo4->currentText().isEmpty()) {
        lockFields();
        return;
    }
    unlockFields();
    onProfilePicked(ui->Combo4->count() - 1);
}

void ProfilePage::onProfilePicked(int index)
{
    if (const std::optional<Profile> profile = m_editor.pick(ui->Combo4->itemText(index)))
        showProfile(*profile);
}

void ProfilePage::reportUnwritableStore(const QString& whatFailed, const QString& title)
{
    m_dialogs.inform(
        u"%1: the settings file \"%2\" cannot be written."_s.arg(whatFailed, m_editor.storeFile()), title,
        Dialogs::Icon::Critical);
}

void ProfilePage::onNewClicked()
{
    const QString title =
        m_dialogs.inputText(u"Please specify a title for your new profile below."_s, u"New Profile"_s);
    switch (m_editor.create(title)) {
    case ProfileEditor::Result::Done:
        ui->Combo4->setEditText(title);
        ui->Combo4->addItem(title);
        clearTextFields();
        unlockFields();
        return;
    case ProfileEditor::Result::StoreUnwritable:
        reportUnwritableStore(u"The new profile could not be stored"_s, u"New Profile"_s);
        return;
    case ProfileEditor::Result::Refused:
    case ProfileEditor::Result::NothingStored:
    case ProfileEditor::Result::InvalidKey:
    case ProfileEditor::Result::InvalidFeed:
    case ProfileEditor::Result::InvalidChangeSignal:
    case ProfileEditor::Result::InvalidPattern:
        return;
    }
}

void ProfilePage::onSaveClicked()
{
    const QString title = u"Site Profile"_s;
    const ProfileEditor::Result result = m_editor.save(ui->Combo4->currentText(), workingCopy());
    switch (result) {
    case ProfileEditor::Result::Done:
        m_dialogs.inform(u"your profile has been saved successfully"_s, title, Dialogs::Icon::Information);
        return;
    case ProfileEditor::Result::NothingStored:
        m_dialogs.inform(u"There is no stored profile to save into. Create one with New Profile first."_s,
                         title, Dialogs::Icon::Warning);
        return;
    case ProfileEditor::Result::StoreUnwritable:
        reportUnwritableStore(u"Your profile could not be saved"_s, title);
        return;
    case ProfileEditor::Result::InvalidKey:
    case ProfileEditor::Result::InvalidFeed:
    case ProfileEditor::Result::InvalidChangeSignal:
    case ProfileEditor::Result::InvalidPattern:
        m_dialogs.inform(ProfileEditor::problemOf(result, workingCopy()), title, Dialogs::Icon::Warning);
        return;
    case ProfileEditor::Result::Refused:
        return;
    }
}

void ProfilePage::onDeleteClicked()
{
    const QString title = u"Delete Profile"_s;
    switch (m_editor.remove(ui->Combo4->currentText())) {
    case ProfileEditor::Result::Done:
        m_dialogs.inform(u"Your profile has been deleted successfully"_s, title, Dialogs::Icon::Information);
        ui->Combo4->clear();
        ui->Combo4->clearEditText();
        clearTextFields();
        loadProfiles();
        return;
    case ProfileEditor::Result::NothingStored:
        m_dialogs.inform(u"There is no stored profile to delete."_s, title, Dialogs::Icon::Warning);
        return;
    case ProfileEditor::Result::StoreUnwritable:
        reportUnwritableStore(u"The profile could not be deleted"_s, title);
        return;
    case ProfileEditor::Result::Refused:
    case ProfileEditor::Result::InvalidKey:
    case ProfileEditor::Result::InvalidFeed:
    case ProfileEditor::Result::InvalidChangeSignal:
    case ProfileEditor::Result::InvalidPattern:
        return;
    }
}
