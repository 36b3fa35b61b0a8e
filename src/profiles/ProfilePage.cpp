#include "ProfilePage.h"

#include "Dialogs.h"
#include "ProfileCategories.h"
#include "ProfileStore.h"
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
    : QWidget(parent), ui(std::make_unique<Ui::ProfilePage>()), m_store(store), m_dialogs(dialogs)
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

    // Before anything is loaded the fields are locked in light grey.
    setFieldsLocked(true, QColor(192, 192, 192));

    connect(ui->Combo4, &QComboBox::activated, this, &ProfilePage::Combo4_Click);
    connect(ui->Command7, &QPushButton::clicked, this, &ProfilePage::Command7_Click);
    connect(ui->Command9, &QPushButton::clicked, this, &ProfilePage::Command9_Click);
    connect(ui->Command21, &QPushButton::clicked, this, &ProfilePage::Command21_Click);
}

ProfilePage::~ProfilePage() = default;

QString ProfilePage::profileName() const
{
    return ui->Combo4->currentText();
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
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setEditText(text);
    } else {
        auto* description = static_cast<QPlainTextEdit*>(widget);
        description->setPlainText(text);
        m_loadedDescription = text;
        m_loadedDescriptionAsShown = description->toPlainText();
    }
}

void ProfilePage::clearTextFields()
{
    for (const Field& field : m_fields) {
        if (!isCategoryField(field.field))
            setFieldText(field.field, QString());
    }
}

void ProfilePage::setFieldsLocked(bool locked, const QColor& background)
{
    for (const Field& field : m_fields) {
        setBackground(field.widget, background);
        field.widget->setEnabled(!locked);
    }
}

void ProfilePage::dataunhide()
{
    setFieldsLocked(false, Qt::white);
}

void ProfilePage::datahide()
{
    setFieldsLocked(true, palette().color(QPalette::Window));
}

void ProfilePage::loadprofiles()
{
    for (const ProfileStore::TitledSlot& titled : m_store.scanTitles()) {
        ui->Combo4->addItem(titled.title);
        ui->Combo4->setEditText(titled.title);
    }
    if (!ui->Combo4->currentText().isEmpty()) {
        dataunhide();
        Combo4_Click();
    } else {
        datahide();
    }
}

void ProfilePage::Combo4_Click()
{
    const std::optional<int> slot = m_store.findByTitle(ui->Combo4->currentText());
    if (!slot)
        return;
    const Profile profile = m_store.read(*slot);
    for (const Field& field : m_fields)
        setFieldText(field.field, profile.value(field.field));
    m_currentProfileNumber = *slot;
}

bool ProfilePage::isNewTitleAllowed(const QString& title) const
{
    // "none" marks a free slot, and a second profile with a taken title could never be picked.
    return !title.isEmpty() && title != Profile::freeMarker && !m_store.findByTitle(title);
}

void ProfilePage::reportUnwritableStore(const QString& whatFailed, const QString& title)
{
    m_dialogs.inform(u"%1: the settings file \"%2\" cannot be written."_s.arg(whatFailed, m_store.fileName()),
                     title, Dialogs::Icon::Critical);
}

void ProfilePage::Command7_Click()
{
    const QString title =
        m_dialogs.inputText(u"Please specify a title for your new profile below."_s, u"New Profile"_s);
    if (!isNewTitleAllowed(title))
        return;
    const std::optional<int> slot = m_store.findFreeSlot();
    if (!slot)
        return;
    if (!m_store.create(*slot, title)) {
        reportUnwritableStore(u"The new profile could not be stored"_s, u"New Profile"_s);
        return;
    }
    m_currentProfileNumber = *slot;
    ui->Combo4->setEditText(title);
    ui->Combo4->addItem(title);
    clearTextFields();
    dataunhide();
}

void ProfilePage::Command9_Click()
{
    if (ui->Combo4->currentText().isEmpty())
        return;
    if (!m_store.isOccupied(m_currentProfileNumber)) {
        m_dialogs.inform(u"There is no stored profile to save into. Create one with New Profile first."_s,
                         u"Site Profile"_s, Dialogs::Icon::Warning);
        return;
    }
    Profile profile;
    for (const Field& field : m_fields)
        profile.value(field.field) = fieldText(field.field);
    if (!m_store.save(m_currentProfileNumber, profile)) {
        reportUnwritableStore(u"Your profile could not be saved"_s, u"Site Profile"_s);
        return;
    }
    m_dialogs.inform(u"your profile has been saved successfully"_s, u"Site Profile"_s,
                     Dialogs::Icon::Information);
}

void ProfilePage::Command21_Click()
{
    if (ui->Combo4->currentText().isEmpty())
        return;
    if (!m_store.isOccupied(m_currentProfileNumber)) {
        m_dialogs.inform(u"There is no stored profile to delete."_s, u"Delete Profile"_s,
                         Dialogs::Icon::Warning);
        return;
    }
    if (!m_store.remove(m_currentProfileNumber)) {
        reportUnwritableStore(u"The profile could not be deleted"_s, u"Delete Profile"_s);
        return;
    }
    m_dialogs.inform(u"Your profile has been deleted successfully"_s, u"Delete Profile"_s,
                     Dialogs::Icon::Information);
    ui->Combo4->clear();
    ui->Combo4->clearEditText();
    clearTextFields();
    loadprofiles();
}
