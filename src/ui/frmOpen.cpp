#include "ui/frmOpen.h"

#include "shell/AppState.h"
#include "shell/Messages.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kMsgTitle = 2001;
constexpr int kMsgTM = 2002;
constexpr int kMsgPlatform = 2003;
constexpr int kMsgCopyright = 2004;
constexpr int kMsgPauseText = 2005;
constexpr int kMsgPauseTitle = 2006;

QLabel* MakeLabel(QWidget* parent, const QString& name, double pointSize, bool bold) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

QFrame* MakeLine(QWidget* parent, const QColor& colour) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    return line;
}

} // namespace

frmOpen::frmOpen(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmOpen"));
    setModal(true);
    setWindowTitle(AppTitle());

    m_fraInner = new QFrame(this);
    m_fraInner->setObjectName(QStringLiteral("fraInner"));
    m_fraInner->setFrameShape(QFrame::Box);
    m_fraInner->setFrameShadow(QFrame::Sunken);
    m_fraInner->installEventFilter(this);

    m_imgLogo = new QLabel(this);
    m_imgLogo->setObjectName(QStringLiteral("imgLogo"));
    m_imgLogo->setPixmap(Logo());
    m_imgLogo->setFixedSize(kLogoSize, kLogoSize);

    m_lblTitle = MakeLabel(this, QStringLiteral("lblProductName"), 20, true);
    m_lblTM = MakeLabel(this, QStringLiteral("lblTM"), 7, false);
    m_line1 = MakeLine(this, QColor(128, 128, 128));
    m_line2 = MakeLine(this, QColor(255, 255, 255));
    m_lblPlatform = MakeLabel(this, QStringLiteral("lblPlatform"), 11, true);
    m_lblVersion = MakeLabel(this, QStringLiteral("lblVersion"), 10, false);
    m_lblCopyright = MakeLabel(this, QStringLiteral("lblCopyright"), 8, false);
    m_lblCompany = MakeLabel(this, QStringLiteral("lblCompany"), 14, true);

    m_lblTitle->setText(LoadMessage(kMsgTitle));
    m_lblTM->setText(LoadMessage(kMsgTM));
    m_lblPlatform->setText(LoadMessage(kMsgPlatform));
    m_lblCopyright->setText(LoadMessage(kMsgCopyright));
    // The version and company lines are filled before the layout is computed.
    m_lblVersion->setText(VersionText(UiLanguage(), AppState::FactoryMode()));
    m_lblCompany->setText(CompanyText(UiLanguage()));
    for (QLabel* label : {m_lblPlatform, m_lblVersion, m_lblCopyright, m_lblCompany})
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The logo and the labels sit above the frame, so a double-click anywhere inside counts.
    for (QWidget* w : {static_cast<QWidget*>(m_imgLogo), static_cast<QWidget*>(m_lblTitle),
                       static_cast<QWidget*>(m_lblTM), static_cast<QWidget*>(m_lblPlatform),
                       static_cast<QWidget*>(m_lblVersion), static_cast<QWidget*>(m_lblCopyright),
                       static_cast<QWidget*>(m_lblCompany)})
        w->installEventFilter(this);

    layoutForm();

    m_tmrOpen = new QTimer(this);
    m_tmrOpen->setInterval(kDisplayMs);
    m_tmrOpen->setSingleShot(false);
    connect(m_tmrOpen, &QTimer::timeout, this, &frmOpen::tmrOpen_Timer);
}

QString frmOpen::VersionText(const QString& language, bool factoryMode) {
    if (language != QLatin1String("JP")) return QStringLiteral("P.No.30539");
    return factoryMode ? QStringLiteral("P.No.30516") : QStringLiteral("P.No.30537");
}

QString frmOpen::CompanyText(const QString& language) {
    return language == QLatin1String("EN") ? QStringLiteral("NVN Instruments, Inc.")
                                           : QStringLiteral("NORVANE CO.,LTD.");
}

QPixmap frmOpen::Logo() {
    // A stylised hand-held detector: a yellow body, a dark display with a reading, a sensor
    // grille and a green lamp, on a blue rounded square.
    QPixmap pixmap(kLogoSize, kLogoSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient back(0, 0, kLogoSize, kLogoSize);
    back.setColorAt(0, QColor(30, 90, 170));
    back.setColorAt(1, QColor(10, 40, 100));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(4, 4, 172, 172), 26, 26);

    QLinearGradient body(40, 20, 140, 160);
    body.setColorAt(0, QColor(255, 214, 0));
    body.setColorAt(1, QColor(235, 160, 0));
    p.setBrush(body);
    p.setPen(QPen(QColor(60, 40, 0), 3));
    p.drawRoundedRect(QRectF(48, 18, 84, 146), 18, 18);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRoundedRect(QRectF(58, 30, 64, 22), 6, 6);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(72 + i * 18, 41), 4, 4);

    p.setBrush(QColor(25, 45, 30));
    p.drawRoundedRect(QRectF(58, 62, 64, 44), 6, 6);
    p.setPen(QColor(120, 255, 140));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(26);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(58, 62, 64, 44), Qt::AlignCenter, QStringLiteral("71"));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 200, 0));
    p.drawEllipse(QPointF(90, 128), 9, 9);
    p.setBrush(QColor(60, 40, 0));
    p.drawRoundedRect(QRectF(70, 146, 40, 8), 4, 4);
    return pixmap;
}

int frmOpen::twipsX(int twips) const {
    const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
    const double dpi = s && s->logicalDotsPerInchX() > 0 ? s->logicalDotsPerInchX() : 96.0;
    return int(std::lround(twips * dpi / 1440.0));
}

int frmOpen::twipsY(int twips) const {
    const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
    const double dpi = s && s->logicalDotsPerInchY() > 0 ? s->logicalDotsPerInchY() : 96.0;
    return int(std::lround(twips * dpi / 1440.0));
}

void frmOpen::layoutForm() {
    for (QLabel* label :
         {m_lblTitle, m_lblTM, m_lblPlatform, m_lblVersion, m_lblCopyright, m_lblCompany})
        label->adjustSize();

    // Width: the right-hand column (at least the company line) beside the logo; the title line
    // with its "TM" must fit as well.
    const int column = std::max({m_lblCompany->width(), m_lblCopyright->width(),
                                 m_lblVersion->width(), m_lblPlatform->width()});
    const int titleLine =
        twipsX(240) + m_lblTitle->width() + twipsX(120) + m_lblTM->width() + twipsX(240);
    const int width = std::max(column + kLogoSize + twipsX(360), titleLine);
    const int height = m_lblTitle->height() + kLogoSize + twipsY(450);
    setFixedSize(width, height);

    const int inset = twipsX(60);
    const int insetY = twipsY(60);
    m_fraInner->setGeometry(inset, insetY, width - 2 * inset, height - 2 * insetY);
    const int frameRight = width - inset;
    const int frameBottom = height - insetY;

    m_lblTitle->move(twipsX(240), insetY + twipsY(30));
    m_lblTM->move(m_lblTitle->geometry().right() + twipsX(120), m_lblTitle->y());
    const int lineY = m_lblTitle->geometry().bottom() + twipsY(60);
    m_line1->setGeometry(twipsX(240), lineY, frameRight - twipsX(120) - twipsX(240), 1);
    m_line2->setGeometry(twipsX(240), lineY + 1, frameRight - twipsX(120) - twipsX(240), 1);

    const int right = frameRight - twipsX(120);
    m_lblPlatform->move(right - m_lblPlatform->width(), lineY + 2);
    m_lblVersion->move(right - m_lblVersion->width(),
                       m_lblPlatform->geometry().bottom() + twipsY(120));
    m_lblCopyright->move(right - m_lblCopyright->width(),
                         frameBottom - twipsY(120) - m_lblCopyright->height());
    m_lblCompany->move(right - m_lblCompany->width(),
                       m_lblCopyright->y() - twipsY(120) - m_lblCompany->height());
    m_imgLogo->move(inset + twipsX(60), frameBottom - twipsY(60) - kLogoSize);

    m_fraInner->lower();
}

void frmOpen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen() ? screen() : QApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    if (!m_tmrOpen->isActive()) m_tmrOpen->start();
}

bool frmOpen::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        fraInner_DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmOpen::tmrOpen_Timer() {
    m_tmrOpen->stop();
    accept();
}

void frmOpen::fraInner_DblClick() {
    // The box is modal; the display timer keeps its schedule.
    UiPrompts& prompts = m_prompts ? *m_prompts : UiPrompts::standard();
    prompts.information(this, LoadMessage(kMsgPauseTitle), LoadMessage(kMsgPauseText));
}
