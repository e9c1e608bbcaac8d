#include "ui/WindowHost.h"

QColor WindowHost::ColourProgress() {
    return QColor(0, 192, 0);
}
QColor WindowHost::ColourFailure() {
    return QColor(255, 0, 0);
}
QColor WindowHost::ColourConnected() {
    return QColor(0, 0, 255);
}
QColor WindowHost::ColourLinkText() {
    return QColor(0, 0, 192);
}
QColor WindowHost::ColourDump() {
    return QColor(128, 32, 0);
}
QColor WindowHost::ColourAdValues() {
    return QColor(0, 128, 64);
}
QColor WindowHost::ColourCompareOk() {
    return QColor(0, 255, 0);
}
