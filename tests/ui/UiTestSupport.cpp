#include "UiTestSupport.h"

#include "common/SimLink.h"
#include "link/Frame.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "ui/modMain.h"

#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <gtest/gtest.h>

bool RecordingPrompts::question(QWidget*, const QString& title, const QString& text) {
    boxes.append({QStringLiteral("question"), title, text});
    return answerYes;
}

void RecordingPrompts::information(QWidget*, const QString& title, const QString& text) {
    boxes.append({QStringLiteral("information"), title, text});
}

void RecordingPrompts::critical(QWidget*, const QString& title, const QString& text) {
    boxes.append({QStringLiteral("critical"), title, text});
}

void RecordingPrompts::message(QWidget*, const QString& title, const QString& text) {
    boxes.append({QStringLiteral("message"), title, text});
}

QString RecordingPrompts::openFileName(QWidget*, const QString& title, const QString& filter,
                                       const QString& selected) {
    dialogs << QStringLiteral("open: ") + title + QStringLiteral(" | ") + filter +
                   QStringLiteral(" | ") + selected;
    return fileToOpen;
}

QString RecordingPrompts::saveFileName(QWidget*, const QString& title, const QString& filter,
                                       const QString& selected) {
    dialogs << QStringLiteral("save: ") + title + QStringLiteral(" | ") + filter +
                   QStringLiteral(" | ") + selected;
    return fileToSave;
}

QStringList RecordingPrompts::shown() const {
    QStringList out;
    for (const Box& b : boxes)
        out << b.kind + QStringLiteral(": ") + b.title + QStringLiteral(" / ") + b.text;
    return out;
}

QList<InfoLine> InfoLines(const frmMain& window) {
    QList<InfoLine> out;
    const QTextDocument* doc = window.rtbLog()->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty()) continue;
        QColor colour;
        if (!block.begin().atEnd())
            colour = block.begin().fragment().charFormat().foreground().color();
        out.append({block.text(), colour});
    }
    return out;
}

bool HasInfo(const frmMain& window, const QString& text, const QColor& colour) {
    for (const InfoLine& line : InfoLines(window))
        if (line.text == text && line.colour == colour) return true;
    return false;
}

bool HasInfoText(const frmMain& window, const QString& text) {
    for (const InfoLine& line : InfoLines(window))
        if (line.text.contains(text)) return true;
    return false;
}

QStringList RequestTexts(const SimDetector& detector) {
    QStringList out;
    for (const QByteArray& frame : detector.receivedFrames()) {
        const qsizetype from = frame.indexOf(Ctl::STX) + 5;
        const qsizetype etx = frame.indexOf(Ctl::ETX);
        if (from >= 5 && etx > from) out << QString::fromLatin1(frame.mid(from, etx - from));
    }
    return out;
}

SimulatedWindow::SimulatedWindow()
    : m_savedDebug(AppState::DebugMode()), m_savedFactory(AppState::FactoryMode()) {}

SimulatedWindow::~SimulatedWindow() {
    closeWindow();
    AppState::setDebugMode(m_savedDebug);
    AppState::setFactoryMode(m_savedFactory);
    AppState::setOperationState(0);
}

void SimulatedWindow::showWindow(const QString& model, const QDateTime& start,
                                 const Prepare& prepare) {
    closeWindow();
    auto ownedClock = std::make_unique<VirtualClock>();
    ownedClock->setStartDateTime(start);
    clock = ownedClock.get();
    std::unique_ptr<uclHvif> link = modMain::MakeSimulatedLink(model, std::move(ownedClock));
    detector = link->findChild<SimDetector*>();
    ASSERT_NE(detector, nullptr);
    if (prepare) prepare(*link, *detector);
    window = std::make_unique<frmMain>(std::move(link));
    window->setPrompts(&prompts);
    window->show();
}

bool SimulatedWindow::waitForConnection() {
    return SimLink::WaitForConnection(window->link());
}

void SimulatedWindow::setDetectorClockToPc() {
    detector->setValue(
        "HC", clock->currentDateTime().toString(QStringLiteral("yyMMddHHmmss")).toLatin1());
}

void SimulatedWindow::click(QPushButton* button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible()) << button->text().toStdString();
    ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

bool SimulatedWindow::readDetector() {
    click(window->cmdDown(1));
    return window->working().CommFlags();
}

QStringList SimulatedWindow::requests() const {
    return RequestTexts(*detector);
}

QStringList SimulatedWindow::requests(const QString& head) const {
    QStringList out;
    for (const QString& r : requests())
        if (r.startsWith(head + u',')) out << r;
    return out;
}

QList<InfoLine> SimulatedWindow::infoLines() const {
    return InfoLines(*window);
}

bool SimulatedWindow::hasInfo(const QString& text, const QColor& colour) const {
    return HasInfo(*window, text, colour);
}

bool SimulatedWindow::hasInfoText(const QString& text) const {
    return HasInfoText(*window, text);
}

void SimulatedWindow::closeWindow() {
    // The window's events reach the register of the test's folder before the folder goes.
    if (window) (void)QTest::qWaitFor([this] { return window->RecordsInFlight() == 0; }, 20000);
    window.reset();
    detector = nullptr;
    clock = nullptr;
}
