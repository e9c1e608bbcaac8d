#include "shell/WriteError.h"

#include <cstring>

QString WriteErrorText(const QFileDevice& file, int savedErrno) {
    const bool ownText = file.error() != QFileDevice::NoError &&
                         file.errorString() != QLatin1String("Unknown error");
    if (ownText || savedErrno == 0) return file.errorString();
    return QString::fromLocal8Bit(std::strerror(savedErrno));
}
