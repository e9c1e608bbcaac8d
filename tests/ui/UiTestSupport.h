#pragma once

// Helpers of the window tests: a prompts object that answers every box and remembers it, the
// main window on the in-process simulated detector on virtual time, its information pane, and
// answers to modal dialogs.

#include "common/QtTextPrinting.h"
#include "sim/SimDetector.h"
#include "ui/frmMain.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

class QPushButton;
class VirtualClock;
class uclHvif;

// Answers every box and file dialog of the windows and remembers what it was shown.
class RecordingPrompts : public UiPrompts {
public:
    struct Box {
        QString kind; // "question", "information", "critical" or "message"
        QString title;
        QString text;
    };

    // Records the question and answers `answerYes`.
    bool question(QWidget*, const QString& title, const QString& text) override;
    // Records the box.
    void information(QWidget*, const QString& title, const QString& text) override;
    // Records the box.
    void critical(QWidget*, const QString& title, const QString& text) override;
    // Records the box.
    void message(QWidget*, const QString& title, const QString& text) override;
    // Records the dialog as "open: title | filter | selected" and answers `fileToOpen`.
    QString openFileName(QWidget*, const QString& title, const QString& filter,
                         const QString& selected) override;
    // Records the dialog as "save: title | filter | selected" and answers `fileToSave`.
    QString saveFileName(QWidget*, const QString& title, const QString& filter,
                         const QString& selected) override;

    // The boxes shown, in order, as "kind: title / text".
    QStringList shown() const;

    bool answerYes = true;
    QString fileToOpen;
    QString fileToSave;
    QList<Box> boxes;
    QStringList dialogs;
};

// Colours of the information pane's lines: done, failed, and the memory dump's.
inline const QColor kGreen(0, 192, 0);
inline const QColor kRed(255, 0, 0);
inline const QColor kBrown(128, 32, 0);

// One line of the information pane and the colour it starts in.
struct InfoLine {
    QString text;
    QColor colour;
};

// The non-empty lines of the window's information pane.
QList<InfoLine> InfoLines(const frmMain& window);
// True when the information pane holds the line `text` in `colour`.
bool HasInfo(const frmMain& window, const QString& text, const QColor& colour);
// True when a line of the information pane contains `text`.
bool HasInfoText(const frmMain& window, const QString& text);

// The request texts the simulated detector received ("A1,W,   20"), in order.
QStringList RequestTexts(const SimDetector& detector);

// Runs `answer` on the next modal dialog of type Dialog once the event loop shows it; gives up
// after `attempts` turns of the loop without one.
template <class Dialog> void AnswerModal(std::function<void(Dialog*)> answer, int attempts = 200) {
    QTimer::singleShot(0, qApp, [answer = std::move(answer), attempts]() mutable {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog)
            answer(dialog);
        else if (attempts > 0)
            AnswerModal<Dialog>(std::move(answer), attempts - 1);
    });
}

// Where the window tests' virtual time starts: 7 January 2025, 9:30.
inline const QDateTime kWindowTestStart(QDate(2025, 1, 7), QTime(9, 30, 0));

// The main window on the in-process simulated detector on virtual time, its boxes answered by
// `prompts`. Window fixtures derive from it and call closeWindow() in their TearDown; the debug
// and factory modes of the process come back, and the operation state goes idle, when it goes.
class SimulatedWindow {
public:
    // Run on the link and its detector before the window is made.
    using Prepare = std::function<void(uclHvif& link, SimDetector& detector)>;

    SimulatedWindow();
    ~SimulatedWindow();
    SimulatedWindow(const SimulatedWindow&) = delete;
    SimulatedWindow& operator=(const SimulatedWindow&) = delete;

    // Shows the main window on the program's link to a new simulated detector of `model`, its
    // virtual clock starting at `start`; not yet connected. A window shown before goes first.
    void showWindow(const QString& model = QStringLiteral("KM"),
                    const QDateTime& start = kWindowTestStart, const Prepare& prepare = {});
    // Lets virtual time run (a minute at most) until the link is connected; true when it is.
    bool waitForConnection();
    // Sets the detector's clock to the PC's.
    void setDetectorClockToPc();
    // Clicks a button that must be visible and enabled (a workflow runs to its end inside).
    void click(QPushButton* button);
    // Reads the detector with "Instrument Information"; true when the read succeeded.
    bool readDetector();
    // The request texts the detector received, in order.
    QStringList requests() const;
    // The requests whose command and verb are `head` ("A1,W").
    QStringList requests(const QString& head) const;
    // The non-empty lines of the information pane.
    QList<InfoLine> infoLines() const;
    // True when the information pane holds the line `text` in `colour`.
    bool hasInfo(const QString& text, const QColor& colour) const;
    // True when a line of the information pane contains `text`.
    bool hasInfoText(const QString& text) const;
    // Closes the window once its events are on record; its link and detector go with it.
    void closeWindow();

    RecordingPrompts prompts;
    VirtualClock* clock = nullptr;   // owned by the window's link
    SimDetector* detector = nullptr; // owned by the window's link
    std::unique_ptr<frmMain> window;

private:
    bool m_savedDebug = false;
    bool m_savedFactory = false;
};
