#pragma once

#include <QFont>

class QWidget;

// The dialog font (`SharedFont`): size 9 at start; the tool configuration may replace its name,
// size, bold, italic and underline.
namespace SharedFont {

// The current dialog font.
QFont Font();

// The program font of the windows: the application font at 9 points.
QFont ProgramFont();

// For a Japanese interface, puts an installed Japanese font family first in the application
// font, so that text is measured and drawn with the same glyphs; otherwise does nothing.
void PreferLanguageFont(const QString& language);

// Gives `root` and every widget under it the dialog font's attributes.
void Apply(QWidget* root);

// Gives `root` and every widget under it `font`.
void ApplyFont(QWidget* root, const QFont& font);

} // namespace SharedFont
