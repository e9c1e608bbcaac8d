#include "widgets/SharedFont.h"

#include "configuration/ToolSettings.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

namespace SharedFont {

QFont Font() {
    const FontSpec& stored = Tool().SharedFont;
    QFont font = QApplication::font();
    if (!stored.Name.trimmed().isEmpty()) font.setFamily(stored.Name.trimmed());
    font.setPointSizeF(stored.Size > 0.0f ? stored.Size : 9.0);
    font.setBold(stored.Bold);
    font.setItalic(stored.Italic);
    font.setUnderline(stored.Underline);
    font.setStrikeOut(false);
    return font;
}

QFont ProgramFont() {
    QFont font = QApplication::font();
    font.setPointSize(9);
    return font;
}

void PreferLanguageFont(const QString& language) {
    if (language != QLatin1String("JP")) return;
    const QStringList candidates{QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                                 QStringLiteral("IPAGothic"), QStringLiteral("Meiryo UI"),
                                 QStringLiteral("MS UI Gothic")};
    QFont font = QApplication::font();
    for (const QString& family : candidates) {
        if (!QFontDatabase::hasFamily(family)) continue;
        // The Latin family stays as the second choice.
        font.setFamilies({family, font.family()});
        QApplication::setFont(font);
        return;
    }
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
