#include "ui/FactoryRecordBox.h"

#include "records/FactoryRecord.h"
#include "shell/Messages.h"
#include "widgets/UiPrompts.h"

void WriteFactoryRecord(const clsInstrument& record, const QString& kind, QWidget* parent,
                        UiPrompts* prompts) {
    const QString problem = AppendToFactoryRecord(record, kind);
    if (problem.isEmpty()) return;
    UiPrompts& boxes = prompts ? *prompts : UiPrompts::standard();
    boxes.critical(parent, AppTitle(), problem);
}
