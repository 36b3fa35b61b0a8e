#pragma once

#include <QColor>
#include <QWidget>

// A slot's round status lamp: red when idle, green while a transfer runs.
class StatusLamp final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    explicit StatusLamp(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color{255, 0, 0};
};
