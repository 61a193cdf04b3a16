#include "readabledisplay.h"

#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>

namespace readable_display {

QString spoken(const QString& caption, const QString& value)
{
    return QStringLiteral("%1: %2").arg(caption, value);
}

namespace {

void name(QLCDNumber* display, const QString& value)
{
    const auto* group = qobject_cast<const QGroupBox*>(display->parentWidget());
    display->setAccessibleName(spoken(group != nullptr ? group->title() : QString(), value));
}

} // namespace

void show(QLCDNumber* display, int value)
{
    display->display(value);
    name(display, QString::number(value));
}

void show(QLCDNumber* display, double value)
{
    display->display(value);
    name(display, QString::number(value));
}

void show(QLabel* label, const QString& caption, const QString& value)
{
    label->setText(value);
    label->setAccessibleName(spoken(caption, value));
}

} // namespace readable_display
