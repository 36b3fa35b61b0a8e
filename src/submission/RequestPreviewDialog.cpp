#include "RequestPreviewDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

RequestPreviewDialog::RequestPreviewDialog(const QString& preview, QWidget* parent)
    : QDialog(parent), m_text(new QPlainTextEdit(this))
{
    setObjectName(u"requestPreview"_s);
    setWindowTitle(u"Request Preview"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 420);
    m_text->setObjectName(u"previewText"_s);
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setPlainText(preview);
    m_text->setAccessibleName(u"Requests a run would send"_s);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
}

QString RequestPreviewDialog::text() const
{
    return m_text->toPlainText();
}
