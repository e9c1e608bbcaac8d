#include "widgets/UiPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

bool UiPrompts::question(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void UiPrompts::information(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text);
}

void UiPrompts::critical(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::critical(parent, title, text);
}

void UiPrompts::message(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

QString UiPrompts::openFileName(QWidget* parent, const QString& title, const QString& filter,
                                const QString& selectedFilter) {
    QString chosenFilter = selectedFilter;
    // QFileDialog::getOpenFileName only returns files that exist.
    return QFileDialog::getOpenFileName(parent, title, QString(), filter, &chosenFilter);
}

QString UiPrompts::saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                const QString& selectedFilter) {
    QString chosenFilter = selectedFilter;
    // The save dialog asks before replacing a file and only accepts existing folders.
    return QFileDialog::getSaveFileName(parent, title, QString(), filter, &chosenFilter);
}

UiPrompts& UiPrompts::standard() {
    static UiPrompts prompts;
    return prompts;
}
