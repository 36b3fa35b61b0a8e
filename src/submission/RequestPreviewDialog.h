#pragma once

#include <QDialog>

class QPlainTextEdit;

// Shows the preview of a run's requests: read-only, copyable, closed with Escape.
class RequestPreviewDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit RequestPreviewDialog(const QString& preview, QWidget* parent = nullptr);

    QString text() const;

private:
    QPlainTextEdit* m_text;
};
