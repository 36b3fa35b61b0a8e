#include "RunProgressBar.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

using namespace Qt::StringLiterals;

namespace {

class RunProgressAccessible final : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit RunProgressAccessible(RunProgressBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override
    {
        return type == QAccessible::Value ? u"%1 %"_s.arg(bar()->percentDone())
                                          : QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return bar()->percentDone(); }
    void setCurrentValue(const QVariant&) override {} // read only
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    RunProgressBar* bar() const { return static_cast<RunProgressBar*>(widget()); }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object)
{
    if (className == u"RunProgressBar"_s && object && object->isWidgetType())
        return new RunProgressAccessible(static_cast<RunProgressBar*>(object));
    return nullptr;
}

} // namespace

RunProgressBar::RunProgressBar(QWidget* parent) : QFrame(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    Q_UNUSED(installed)
}

void RunProgressBar::setProgress(int units, int fullUnits)
{
    m_units = units;
    m_fullUnits = std::max(1, fullUnits);
    layoutStrip();
    QAccessibleValueChangeEvent changed(this, percentDone());
    QAccessible::updateAccessibility(&changed);
}

int RunProgressBar::percentDone() const
{
    return int(qint64(m_units) * 100 / m_fullUnits);
}

void RunProgressBar::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    layoutStrip(); // the strip keeps its proportion when the panel is resized
}

void RunProgressBar::layoutStrip()
{
    if (auto* strip = findChild<QWidget*>(u"Shape5"_s, Qt::FindDirectChildrenOnly))
        strip->resize(int(qint64(m_units) * width() / m_fullUnits), height());
}
