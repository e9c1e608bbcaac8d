#include "ui/frmUpload.h"

#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "widgets/SharedFont.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>

namespace {

constexpr int kMsgNowUploading = 6001;
constexpr int kMsgNowDownloading = 6002;
constexpr int kMsgAdjustingZero = 6003;
constexpr int kMsgAdjustingSpan = 6004;
constexpr int kMsgNowWriting = 6005;
constexpr int kMsgNowCancelProcessing = 6006;
constexpr int kMsgUserCancel = 6007;
constexpr int kMsgCancelButton = 7011;

constexpr QSize kAnimationSize(272, 60);

} // namespace

frmUpload::frmUpload(uclHvif* link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_link(link) {
    setObjectName(QStringLiteral("frmUpload"));
    setModal(false);

    m_video = new QLabel(this);
    m_video->setObjectName(QStringLiteral("amnUpload"));
    m_video->setFixedSize(kAnimationSize);
    m_video->setAlignment(Qt::AlignCenter);
    m_video->hide();

    m_busy = new QProgressBar(this);
    m_busy->setObjectName(QStringLiteral("amnUploadBusy"));
    m_busy->setRange(0, 0); // indeterminate: the style animates it
    m_busy->setTextVisible(false);
    m_busy->setFixedWidth(kAnimationSize.width());

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("lblUpload"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(false);

    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("cmdUpload"));
    m_button->setAutoDefault(false);
    connect(m_button, &QPushButton::clicked, this, &frmUpload::cmdUpload_Click);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_video, 0, Qt::AlignHCenter);
    layout->addWidget(m_busy, 0, Qt::AlignHCenter);
    layout->addWidget(m_label);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);

    m_timer.setObjectName(QStringLiteral("tmrInter"));
    m_timer.setInterval(kFrontIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &frmUpload::keepInFront);

    ApplyOperationState(AppState::OperationState());
}

frmUpload::~frmUpload() {
    stopAnimation();
}

void frmUpload::ApplyOperationState(qint16 state) {
    int text = kMsgNowDownloading;
    bool withButton = false;
    switch (state) {
    case 1:
        text = kMsgNowUploading;
        withButton = true;
        break;
    case 3:
        text = kMsgAdjustingZero;
        break;
    case 4:
        text = kMsgAdjustingSpan;
        break;
    case 6:
        text = kMsgNowWriting;
        break;
    default:
        break;
    }
    setWindowTitle(LoadMessage(text));
    m_label->setText(LoadMessage(text));
    m_button->setText(LoadMessage(kMsgCancelButton));
    m_button->setVisible(withButton);
    m_button->setEnabled(true);
}

void frmUpload::setLabel(const QString& text) {
    m_label->setText(text);
    if (isVisible()) {
        adjustSize();
        repaint();
    }
}

QString frmUpload::label() const {
    return m_label->text();
}

void frmUpload::Finish() {
    m_finishing = true;
    close();
    m_finishing = false;
}

bool frmUpload::AnimationPlaying() const {
    return m_playing;
}

QString frmUpload::AnimationPath() {
    const QString name = QString::fromLatin1(kAnimationFile);
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    if (QFile::exists(beside)) return beside;
    const QString builtIn = QStringLiteral(":/gui/") + name;
    if (QFile::exists(builtIn)) return builtIn;
    return {};
}

void frmUpload::cmdUpload_Click() {
    if (m_canceled) return;
    setLabel(LoadMessage(kMsgNowCancelProcessing));
    if (m_link) {
        m_link->setCancel(true);
        m_link->AddLog(LoadMessage(kMsgUserCancel));
    }
    m_canceled = true;
    m_button->setEnabled(false);
}

void frmUpload::reject() {
    // While a transfer runs the dialog goes away only when the workflow closes it.
    if (m_finishing) QDialog::reject();
}

void frmUpload::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    m_canceled = false;
    SharedFont::Apply(this);
    fitAndCentre();
    startAnimation();
    m_timer.start();
}

void frmUpload::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;
    m_timer.stop();
    stopAnimation();
}

void frmUpload::closeEvent(QCloseEvent* event) {
    if (!m_finishing) {
        event->ignore();
        return;
    }
    m_timer.stop();
    stopAnimation();
    QDialog::closeEvent(event);
}

void frmUpload::keepInFront() {
    // Focus requests may be refused by the window system; that is harmless.
    raise();
    activateWindow();
}

void frmUpload::startAnimation() {
    m_busy->show();
    m_video->hide();
    m_playing = false;
    const QString path = AnimationPath();
    if (path.isEmpty()) return;
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_sink = new QVideoSink(this);
        m_player->setVideoSink(m_sink);
        m_player->setLoops(QMediaPlayer::Infinite);
        connect(m_sink, &QVideoSink::videoFrameChanged, this, &frmUpload::onVideoFrame);
        connect(m_player, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString&) { fallBackToBusyIndicator(); });
    }
    m_player->setSource(path.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + path)
                                                          : QUrl::fromLocalFile(path));
    m_player->play();
}

void frmUpload::stopAnimation() {
    if (m_player) m_player->stop();
    m_playing = false;
}

void frmUpload::onVideoFrame(const QVideoFrame& frame) {
    if (!frame.isValid()) return;
    const QImage image = frame.toImage();
    if (image.isNull()) return;
    m_video->setPixmap(QPixmap::fromImage(
        image.scaled(kAnimationSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    if (!m_playing) {
        m_playing = true;
        m_busy->hide();
        m_video->show();
    }
}

void frmUpload::fallBackToBusyIndicator() {
    if (m_player) m_player->stop();
    m_playing = false;
    m_video->hide();
    m_busy->show();
}

void frmUpload::fitAndCentre() {
    adjustSize();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}
