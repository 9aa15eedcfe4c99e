// The splash window (status line, blinking, self-close) and the greeting page it shows.
#include "app/splash.h"
#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "pages/base64.h"
#include "pages/cp1251.h"
#include "pages/ramuxerror.h"
#include "pages/ui/htmlrenderer.h"
#include "update/greeting.h"

#include "splashserver.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>


#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    void greetingPageStoredAndShownAtTheNextStart();
    void emptyGreetingPageIsStoredButNotShown();
    void unreachableOrFailingServerChangesNothing();
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
    const QString answer = QStringLiteral("<DATA><OTHER><HTML>AAAA</HTML></OTHER><PAGE>\n  %1\n  <LOGO>iVBO Rw==</LOGO>\n</PAGE>"
                                          "<PAGE><HTML>QUJD</HTML></PAGE></DATA>")
                               .arg(html);
    QCOMPARE(joinGreetingPage(answer), html + QStringLiteral("<LOGO>iVBO Rw==</LOGO>"));
    QCOMPARE(joinGreetingPage(QStringLiteral("<DATA><NOPAGE/></DATA>")), QString());
    QCOMPARE(joinGreetingPage(QStringLiteral("<DATA><PAGE/></DATA>")), QString());
    QVERIFY_THROWS_EXCEPTION(RamuxError, joinGreetingPage(QStringLiteral("<DATA><PAGE>")));
}

void TestSplash::greetingPageStoredAndShownAtTheNextStart()
{
    const QString page = packedPage(QStringLiteral("<h1>Новости сервера</h1><img src=\"LOGO\">")) +
                         QStringLiteral("<LOGO>iVBORw0KGgo=</LOGO>");
    SplashServer server(SplashServer::envelope("<DATA><PAGE>" + page.toStdString() + "</PAGE></DATA>"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ramux.rxd"));
    schema::createDatabaseFile(path);

    // This start: fetched, stored, shown.
    {
        const GreetingResult result = RequestGreetingPage(server.address());
        QCOMPARE(server.actions(), QStringLiteral("get_splash"));
        QCOMPARE(result.code, 0);
        QCOMPARE(result.page, page);
        Database db;
        db.open(path, schema::databasePassword());
        storeSplash(db, result.page);
        TSplash splash;
        splash.ShowPage(result.page);
        QVERIFY(splash.View->Viewer()->toPlainText().startsWith(QStringLiteral("Новости сервера")));
        QVERIFY(splash.View->FindPart(u"logo"));
    }
    // The next start: what was stored is what the splash shows.
    Database db;
    db.open(path, schema::databasePassword());
    const std::optional<QString> stored = readStoredSplash(db);
    QVERIFY(stored);
    QCOMPARE(*stored, page);
    TSplash next;
    next.ShowPage(*stored);
    QVERIFY(next.View->Viewer()->toPlainText().startsWith(QStringLiteral("Новости сервера")));
    QVERIFY(next.View->FindPart(u"LOGO"));
}

void TestSplash::emptyGreetingPageIsStoredButNotShown()
{
    SplashServer server(SplashServer::envelope("<DATA><NOTHING/></DATA>"));
    const GreetingResult result = RequestGreetingPage(server.address());
    QCOMPARE(result.code, 0);
    QVERIFY(result.page.isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ramux.rxd"));
    schema::createDatabaseFile(path);
    Database db;
    db.open(path, schema::databasePassword());
    storeSplash(db, packedPage(QStringLiteral("old")));
    storeSplash(db, result.page);
    QCOMPARE(readStoredSplash(db).value_or(QStringLiteral("NULL")), QString());

    TSplash splash;
    const QString about = splash.View->Viewer()->toPlainText();
    splash.ShowPage(result.page);
    QCOMPARE(splash.View->Viewer()->toPlainText(), about);
}

void TestSplash::unreachableOrFailingServerChangesNothing()
{
    // A port nobody listens on: bound for a moment to learn a free number, then released.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(probe >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(probe, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    socklen_t length = sizeof addr;
    QCOMPARE(::getsockname(probe, reinterpret_cast<sockaddr *>(&addr), &length), 0);
    const int port = ntohs(addr.sin_port);
    ::close(probe);
    const GreetingResult unreachable =
        RequestGreetingPage(QStringLiteral("http://127.0.0.1:%1/api.php").arg(port));
    QVERIFY(unreachable.code < 0);
    QVERIFY(unreachable.page.isEmpty());

    SplashServer failing("<?xml version=\"1.0\"?><R version=\"1\"><RESULT status=\"FAIL\" err_code=\"5\">no</RESULT></R>");
    const GreetingResult failed = RequestGreetingPage(failing.address());
    QCOMPARE(failed.code, 5);

    SplashServer notXml("<html><body>proxy error</body>");
    QVERIFY_THROWS_EXCEPTION(RamuxError, RequestGreetingPage(notXml.address()));
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
