#pragma once

#include <QString>

class QWidget;
class UiPrompts;
class clsInstrument;

// Appends one line for `record` of the given kind ("Read", "Write" or "WriteID") to the factory
// record file of the tool settings' suffix; a file error is shown in an error box (through
// `prompts`, the real dialogs when null) and otherwise ignored.
void WriteFactoryRecord(const clsInstrument& record, const QString& kind, QWidget* parent = nullptr,
                        UiPrompts* prompts = nullptr);
