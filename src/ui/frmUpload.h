#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

class QLabel;
class QMediaPlayer;
class QProgressBar;
class QPushButton;
class QVideoFrame;
class QVideoSink;
class uclHvif;

// The transfer progress dialog: a caption and a label naming the running transfer, a looping
// animation and, for downloads, a Cancel button that asks the link to abandon the transfer.
//
// The captions follow the program-wide operation state at construction (1 "Now Uploading"
// with the Cancel button, 3 "Adjusting Zero", 4 "Adjusting Span Settings.", 6 "Now Writing",
// anything else "Now Downloading"); callers then set their own title and label and show the
// dialog without blocking. While it is shown a timer keeps it in front of the main window.
//
// The animation plays "Filemove.avi" from the program folder (or the built-in resources) when
// the multimedia back end can; until the first frame arrives, and whenever the file is missing
// or cannot be played, an indeterminate progress bar shows instead.
class frmUpload : public QDialog {
    Q_OBJECT
public:
    // File name of the animation.
    static constexpr const char* kAnimationFile = "Filemove.avi";
    // Interval of the keep-in-front timer, in ms.
    static constexpr int kFrontIntervalMs = 250;

    // A dialog for the link whose Cancel the button sets (the link may be null: no button
    // effect on a link); captions from the current operation state.
    explicit frmUpload(uclHvif* link, QWidget* parent = nullptr);
    ~frmUpload() override;

    // True once the operator pressed the Cancel button since the dialog was shown.
    bool Canceled() const { return m_canceled; }
    // Sets the label text, resizes the dialog to it and repaints at once.
    void setLabel(const QString& text);
    // The label text.
    QString label() const;
    // Sets caption and label from an operation state (the table above).
    void ApplyOperationState(qint16 state);
    // Closes the dialog from the program (the operator cannot close it by its close box).
    void Finish();
    // True while the animation file is playing (false when the busy indicator stands in).
    bool AnimationPlaying() const;

    // The controls, for the windows that drive the dialog and for tests.
    QLabel* lblUpload() const { return m_label; }
    QPushButton* cmdUpload() const { return m_button; }
    QProgressBar* busyIndicator() const { return m_busy; }
    QTimer* tmrInter() { return &m_timer; }

    // Where the animation file is looked for (program folder first, then the resources); an
    // empty text when neither holds it.
    static QString AnimationPath();

public slots:
    // The Cancel button: asks the link to cancel, logs it, and disables the button.
    void cmdUpload_Click();
    // Closes only when the program finishes the dialog; Escape does nothing.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void keepInFront();
    void startAnimation();
    void stopAnimation();
    void onVideoFrame(const QVideoFrame& frame);
    void fallBackToBusyIndicator();
    void fitAndCentre();

    QPointer<uclHvif> m_link;
    QLabel* m_label = nullptr;
    QPushButton* m_button = nullptr;
    QProgressBar* m_busy = nullptr;
    QLabel* m_video = nullptr;
    QMediaPlayer* m_player = nullptr;
    QVideoSink* m_sink = nullptr;
    QTimer m_timer;
    bool m_canceled = false;
    bool m_finishing = false;
    bool m_playing = false;
};
