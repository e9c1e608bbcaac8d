#pragma once

class QWidget;

// Enables or disables a control and gives it the window colours when enabled and the
// button-face / grey-text colours when disabled, so a disabled box reads as not editable.
void SetControlEnabled(QWidget* control, bool enabled);
