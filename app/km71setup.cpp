// km71setup: the window program. Until its windows exist it reports its version and tables.
#include "shell/Messages.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("km71setup %s\n%s\nmessage table: %d entries (%s)\n", KM71_VERSION,
                qPrintable(AppTitle()), MessageTableSize(), qPrintable(UiLanguage()));
    return 0;
}
