// The borderless splash window: an HTML page with a one-line status under it, shown while the
// main window starts and while it reloads its data.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;
class QPropertyAnimation;
class TPBearHTMLRenderer;
class QTimer;

class TSplash final : public QWidget
{
    Q_OBJECT
public:
    TSplash();
    ~TSplash() override;
    Q_DISABLE_COPY_MOVE(TSplash)

    QWidget *Panel2;
    QLabel *Panel1;
    // The splash view; it has no link handler.
    TPBearHTMLRenderer *View;
    QTimer *CloseTimer;
    QTimer *FlashTimer;

    // Shows the text on the status line and brings the splash to the front. The same text
    // again makes the line blink in bold; a new one shows at once at full opacity.
    void ShowStatus(const QString &text);
    // Shows a page given as packed content; content without an HTML element changes nothing.
    void ShowPage(const QString &document);

    void CloseTimerTimer();
    void FlashTimerTimer();

    // The window the splash is centred over while it is visible; the screen otherwise.
    void setCentreOver(QWidget *window) { m_centreOver = window; }

    int closeCountdown() const { return m_closeCountdown; }
    int blinkToggle() const { return m_blinkToggle; }
    // The status line's current opacity, 0 to 1.
    qreal statusOpacity() const;
    // The target of the fade under way (or the opacity when none runs).
    qreal statusOpacityTarget() const;

protected:
    void closeEvent(QCloseEvent *event) override; // FormClose

private:
    void blendStatus(bool show, int milliseconds);
    void placeOnScreen();

    int m_closeCountdown = 7;
    int m_blinkToggle = 255;
    QElapsedTimer m_sinceRefresh; // time since the last processEvents of a repeated status
    QGraphicsOpacityEffect *m_fade;
    QPropertyAnimation *m_fadeAnimation;
    QPointer<QWidget> m_centreOver;
};
