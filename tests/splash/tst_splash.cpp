// The splash window (status line, blinking, self-close) and the greeting page it shows.
#include "app/splash.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "text/ramuxerror.h"
#include "pages/ui/htmlrenderer.h"
#include "update/greeting.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

namespace {

QString packedPage(const QString &html)
{
    return QStringLiteral("<HTML>") + QString::fromLatin1(base64Encode(encodeCp1251Html(html))) +
           QStringLiteral("</HTML>");
}

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void splashWindowLooksAsDesigned();
    void repeatedStatusStartsBlinking();
    void blinkingFadesOutAndInByTurns();
    void splashClosesItselfAfterSevenTicks();
    void everyStatusRestartsTheCountdown();
    void selfCloseDoesNotEndTheProgram();
    void pageWithoutHtmlKeepsThePreviousPage();

    void greetingPageJoinsPageChildrenInOrder();
};

void TestSplash::splashWindowLooksAsDesigned()
{
    TSplash splash;
    QVERIFY(!splash.isVisible());
    QVERIFY(!splash.parentWidget());
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(splash.windowFlags() & Qt::Window);
    QCOMPARE(splash.windowTitle(), QStringLiteral("Ramux"));
    QCOMPARE(splash.size(), QSize(520, 340));
    QCOMPARE(splash.CloseTimer->interval(), 1000);
    QVERIFY(splash.CloseTimer->isActive());
    QCOMPARE(splash.FlashTimer->interval(), 400);
    QVERIFY(!splash.FlashTimer->isActive());
    QCOMPARE(splash.closeCountdown(), 7);
    QCOMPARE(splash.blinkToggle(), 255);
    // The built-in about page is there before any server page.
    QVERIFY(splash.View->Viewer()->toPlainText().contains(QStringLiteral("Ramux")));

    splash.ShowStatus(QStringLiteral("Запуск программы..."));
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.Panel2->size(), QSize(518, 338));
    QCOMPARE(splash.Panel1->height(), 19);
    QCOMPARE(splash.Panel1->y() + splash.Panel1->height(), splash.Panel2->height());
    QCOMPARE(splash.View->Viewer()->parentWidget(), splash.Panel2);
    QCOMPARE(splash.View->Viewer()->y() + splash.View->Viewer()->height(), splash.Panel1->y());
    QCOMPARE(splash.View->Viewer()->y(), 0);
    QCOMPARE(splash.Panel1->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(splash.Panel1->font().pointSize(), 8);
    QCOMPARE(splash.Panel2->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(splash.palette().color(QPalette::Window), QColor(Qt::black));
}

void TestSplash::repeatedStatusStartsBlinking()
{
    TSplash splash;
    splash.ShowStatus(QStringLiteral("Загрузка категорий..."));
    QCOMPARE(splash.Panel1->text(), QStringLiteral("Загрузка категорий..."));
    QVERIFY(!splash.Panel1->font().bold());
    QVERIFY(!splash.FlashTimer->isActive());
    QCOMPARE(splash.statusOpacity(), 1.0);

    splash.ShowStatus(QStringLiteral("Загрузка категорий..."));
    QVERIFY(splash.Panel1->font().bold());
    QVERIFY(splash.FlashTimer->isActive());

    const int remaining = splash.FlashTimer->remainingTime();
    splash.ShowStatus(QStringLiteral("Загрузка категорий..."));
    QVERIFY(splash.Panel1->font().bold());
    QVERIFY(splash.FlashTimer->isActive());
    // The third call does not restart the blink, or a fast loader would never see it blink.
    QVERIFY(splash.FlashTimer->remainingTime() <= remaining);

    // Half-way through a fade-out, a new text shows at once at full opacity.
    splash.FlashTimerTimer();
    splash.FlashTimerTimer();
    QCOMPARE(splash.statusOpacityTarget(), 0.0);
    QTRY_VERIFY(splash.statusOpacity() < 1.0);
    splash.ShowStatus(QStringLiteral("Загрузка препаратов..."));
    QCOMPARE(splash.Panel1->text(), QStringLiteral("Загрузка препаратов..."));
    QVERIFY(!splash.Panel1->font().bold());
    QVERIFY(!splash.FlashTimer->isActive());
    QCOMPARE(splash.blinkToggle(), 255);
    QCOMPARE(splash.statusOpacity(), 1.0);
    QCOMPARE(splash.statusOpacityTarget(), 1.0);
}

void TestSplash::blinkingFadesOutAndInByTurns()
{
    TSplash splash;
    splash.ShowStatus(QStringLiteral("x"));
    splash.ShowStatus(QStringLiteral("x"));
    splash.FlashTimer->stop(); // driven by hand below

    splash.FlashTimerTimer();
    QCOMPARE(splash.blinkToggle(), 0);
    QCOMPARE(splash.statusOpacityTarget(), 1.0);

    splash.FlashTimerTimer();
    QCOMPARE(splash.blinkToggle(), 255);
    QCOMPARE(splash.statusOpacityTarget(), 0.0);
    QTRY_COMPARE_WITH_TIMEOUT(splash.statusOpacity(), 0.0, 2000);

    splash.FlashTimerTimer();
    QCOMPARE(splash.blinkToggle(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(splash.statusOpacity(), 1.0, 2000);
}

void TestSplash::splashClosesItselfAfterSevenTicks()
{
    TSplash splash;
    splash.CloseTimer->stop(); // ticks driven by hand
    splash.ShowStatus(QStringLiteral("Проверка связи с сервером..."));
    QPointer<TSplash> alive(&splash);
    for (int tick = 1; tick <= 6; ++tick) {
        splash.CloseTimerTimer();
        QVERIFY2(splash.isVisible(), qPrintable(QStringLiteral("closed at tick %1").arg(tick)));
    }
    splash.CloseTimerTimer();
    QVERIFY(!splash.isVisible());
    QVERIFY(alive); // hidden, not destroyed
    QVERIFY(!splash.CloseTimer->isActive());

    // The next status shows it again, and from then on it stays until closed explicitly.
    splash.ShowStatus(QStringLiteral("Загрузка категорий..."));
    QVERIFY(splash.isVisible());
    QVERIFY(!splash.CloseTimer->isActive());
    splash.close();
    QVERIFY(!splash.isVisible());
    splash.ShowStatus(QStringLiteral("Открытие таблиц..."));
    QVERIFY(splash.isVisible());
}

void TestSplash::everyStatusRestartsTheCountdown()
{
    TSplash splash;
    splash.CloseTimer->stop();
    splash.ShowStatus(QStringLiteral("a"));
    for (int tick = 0; tick < 6; ++tick)
        splash.CloseTimerTimer();
    QCOMPARE(splash.closeCountdown(), 1);
    splash.ShowStatus(QStringLiteral("a"));
    QCOMPARE(splash.closeCountdown(), 7);
    for (int tick = 0; tick < 6; ++tick)
        splash.CloseTimerTimer();
    QVERIFY(splash.isVisible());
}

// The countdown may hide the splash while it is the only window on screen (a slow server at
// start-up); the program must go on.
void TestSplash::selfCloseDoesNotEndTheProgram()
{
    TSplash splash;
    splash.CloseTimer->stop();
    QTimer::singleShot(0, [&splash] {
        splash.ShowStatus(QStringLiteral("Проверка связи с сервером..."));
        for (int tick = 0; tick < 7; ++tick)
            splash.CloseTimerTimer();
        QTimer::singleShot(200, [] { QCoreApplication::exit(42); });
    });
    QCOMPARE(QApplication::exec(), 42);
    QVERIFY(!splash.isVisible());
}

void TestSplash::pageWithoutHtmlKeepsThePreviousPage()
{
    TSplash splash;
    splash.ShowPage(packedPage(QStringLiteral("<p>Добро пожаловать €</p>")));
    QCOMPARE(splash.View->Viewer()->toPlainText(), QStringLiteral("Добро пожаловать €"));
    splash.ShowPage(QString());
    splash.ShowPage(QStringLiteral("<LOGO>iVBORw0KGgo=</LOGO>"));
    QCOMPARE(splash.View->Viewer()->toPlainText(), QStringLiteral("Добро пожаловать €"));
    // Invalid Base64 reaches the caller and leaves the page as it was.
    QVERIFY_THROWS_EXCEPTION(RamuxError, splash.ShowPage(QStringLiteral("<HTML>@@@@</HTML>")));
    QCOMPARE(splash.View->Viewer()->toPlainText(), QStringLiteral("Добро пожаловать €"));
}

void TestSplash::greetingPageJoinsPageChildrenInOrder()
{
    const QString html = packedPage(QStringLiteral("<p>Привет</p>"));
    const QString answer =
        QStringLiteral("<DATA><OTHER><HTML>AAAA</HTML></OTHER><PAGE>\n  %1\n  <LOGO>iVBO Rw==</LOGO>\n</PAGE>"
                       "<PAGE><HTML>QUJD</HTML></PAGE></DATA>")
            .arg(html);
    QCOMPARE(joinGreetingPage(answer), html + QStringLiteral("<LOGO>iVBO Rw==</LOGO>"));
    QCOMPARE(joinGreetingPage(QStringLiteral("<DATA><NOPAGE/></DATA>")), QString());
    QCOMPARE(joinGreetingPage(QStringLiteral("<DATA><PAGE/></DATA>")), QString());
    QVERIFY_THROWS_EXCEPTION(RamuxError, joinGreetingPage(QStringLiteral("<DATA><PAGE>")));
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
