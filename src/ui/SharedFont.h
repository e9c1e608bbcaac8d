#pragma once

#include <QFont>

class QWidget;

// The dialog font (`SharedFont`): size 9 at start; the tool configuration may replace its name,
// size, bold, italic and underline.
namespace SharedFont {

// The current dialog font.
QFont Font();

// Gives `root` and every widget under it the dialog font's attributes.
void Apply(QWidget* root);

// Gives `root` and every widget under it `font`.
void ApplyFont(QWidget* root, const QFont& font);

} // namespace SharedFont
