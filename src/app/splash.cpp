#include "app/splash.h"

#include "pages/htmljoiner.h"
#include "pages/theme.h"
#include "pages/ui/htmlrenderer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

TSplash::TSplash() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Splash"));
    // Closing only hides the splash; it must never end the program when it happens to be the
    // last visible window (its own countdown during start-up).
    setAttribute(Qt::WA_QuitOnClose, false);

    // The 1-pixel black border around a 518 x 338 client area.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setFixedSize(518 + 2, 338 + 2);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    QPalette white = Panel2->palette();
    // The page's own background around the page and under the status line.
    white.setColor(QPalette::Window,
                   currentTheme() == Theme::Dark ? QColor(QRgb(kDarkPageBackground)) : QColor(Qt::white));
    Panel2->setPalette(white);
    Panel2->setAutoFillBackground(true);
    outer->addWidget(Panel2);

    auto *inner = new QVBoxLayout(Panel2);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(0);

    // FormCreate, step by step.
    m_closeCountdown = 7;

    // The view adds its widget to Panel2's layout, above the status line added next.
    View = new TPBearHTMLRenderer(Panel2);
    View->setObjectName(QStringLiteral("SplashView"));
    inner->setStretchFactor(View->Viewer(), 1);

    Panel1 = new QLabel(Panel2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(19);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setTextFormat(Qt::PlainText);
    Panel1->setAutoFillBackground(true);
    Panel1->setPalette(white);
    Panel1->setFont(QFont(QStringLiteral("Tahoma"), 8));
    inner->addWidget(Panel1);

    QFile about(QStringLiteral(":/html/ABOUT_HTML"));
    if (about.open(QIODevice::ReadOnly)) {
        THTMLJoiner joiner;
        joiner.AddHTML(QString::fromUtf8(about.readAll()));
        View->LoadDocument(joiner.GetDocument());
    }

    setWindowTitle(QStringLiteral("Ramux"));

    m_fade = new QGraphicsOpacityEffect(Panel1);
    m_fade->setOpacity(1.0);
    Panel1->setGraphicsEffect(m_fade);
    m_fadeAnimation = new QPropertyAnimation(m_fade, "opacity", this);
    m_blinkToggle = 255;

    CloseTimer = new QTimer(this);
    CloseTimer->setInterval(1000);
    connect(CloseTimer, &QTimer::timeout, this, &TSplash::CloseTimerTimer);
    CloseTimer->start();

    FlashTimer = new QTimer(this);
    FlashTimer->setInterval(400);
    connect(FlashTimer, &QTimer::timeout, this, &TSplash::FlashTimerTimer);
}

// FormDestroy: the view and its widget go with Panel2, which owns both.
TSplash::~TSplash() = default;

void TSplash::ShowStatus(const QString &text)
{
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    Panel1->setPalette(palette);
    m_closeCountdown = 7;

    QFont font = Panel1->font();
    const bool repeated = Panel1->text() == text;
    if (!repeated) {
        Panel1->setText(text);
        font.setBold(false);
        FlashTimer->stop();
        m_blinkToggle = 255;
        blendStatus(true, 0);
    } else {
        // A running timer keeps its phase: the list loaders repeat a text far more often than
        // every 400 ms, and restarting would never let it fire.
        if (!FlashTimer->isActive())
            FlashTimer->start();
        font.setBold(true);
    }
    if (font != Panel1->font())
        Panel1->setFont(font);

    // The group loader repeats its text once per group, thousands of times in a row: a repeat
    // that follows closely on the last refresh changes nothing visible, so it skips the
    // raise, event processing and repaint (events still run at least every 25 ms).
    if (repeated && isVisible() && m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < 25)
        return;
    if (!isVisible())
        placeOnScreen();
    show();
    raise();
    QCoreApplication::processEvents();
    repaint();
    m_sinceRefresh.start();
}

void TSplash::ShowPage(const QString &document)
{
    View->LoadDocument(document);
    QCoreApplication::processEvents();
}

void TSplash::CloseTimerTimer()
{
    --m_closeCountdown;
    if (m_closeCountdown <= 0) {
        CloseTimer->stop();
        close();
    }
}

void TSplash::FlashTimerTimer()
{
    if (m_blinkToggle == 255) {
        blendStatus(true, 390);
        m_blinkToggle = 0;
    } else {
        blendStatus(false, 390);
        m_blinkToggle = 255;
    }
    QCoreApplication::processEvents();
}

qreal TSplash::statusOpacity() const
{
    return m_fade->opacity();
}

qreal TSplash::statusOpacityTarget() const
{
    if (m_fadeAnimation->state() == QAbstractAnimation::Running)
        return m_fadeAnimation->endValue().toReal();
    return m_fade->opacity();
}

void TSplash::closeEvent(QCloseEvent *event)
{
    // Only hidden: later status texts show the splash again, and then it stays until it is
    // closed explicitly.
    CloseTimer->stop();
    event->accept();
}

void TSplash::blendStatus(bool show, int milliseconds)
{
    m_fadeAnimation->stop();
    const qreal target = show ? 1.0 : 0.0;
    if (milliseconds <= 1) {
        m_fade->setOpacity(target);
        return;
    }
    m_fadeAnimation->setDuration(milliseconds);
    m_fadeAnimation->setStartValue(m_fade->opacity());
    m_fadeAnimation->setEndValue(target);
    m_fadeAnimation->start();
}

void TSplash::placeOnScreen()
{
    QRect area;
    if (m_centreOver && m_centreOver->isVisible())
        area = m_centreOver->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}
