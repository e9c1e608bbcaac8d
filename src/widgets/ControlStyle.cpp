#include "widgets/ControlStyle.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

void SetControlEnabled(QWidget* control, bool enabled) {
    if (!control) return;
    control->setEnabled(enabled);
    const QPalette system = QApplication::palette();
    QPalette palette = control->palette();
    const QColor background =
        enabled ? system.color(QPalette::Active, QPalette::Base) : system.color(QPalette::Active, QPalette::Button);
    const QColor text = enabled ? system.color(QPalette::Active, QPalette::Text)
                                : system.color(QPalette::Disabled, QPalette::Text);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Window, background);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::WindowText, text);
    }
    control->setAutoFillBackground(true);
    control->setPalette(palette);
}
