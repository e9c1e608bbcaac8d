#include "ui/SharedFont.h"

#include "shell/ToolSettings.h"

#include <QApplication>
#include <QWidget>

namespace SharedFont {

QFont Font() {
    const FontSpec& spec = Tool().SharedFont;
    QFont font = QApplication::font();
    if (!spec.Name.trimmed().isEmpty()) font.setFamily(spec.Name.trimmed());
    font.setPointSizeF(spec.Size > 0.0f ? spec.Size : 9.0);
    font.setBold(spec.Bold);
    font.setItalic(spec.Italic);
    font.setUnderline(spec.Underline);
    font.setStrikeOut(false);
    return font;
}

void Apply(QWidget* root) {
    ApplyFont(root, Font());
}

void ApplyFont(QWidget* root, const QFont& font) {
    if (!root) return;
    root->setFont(font);
    for (QWidget* child : root->findChildren<QWidget*>())
        child->setFont(font);
}

} // namespace SharedFont
