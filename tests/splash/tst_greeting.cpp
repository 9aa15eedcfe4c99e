// The greeting page through the real start-up: fetched by the main window, stored in the
// options row, shown by the splash at this start and at the next.
#include "app/mainform.h"
#include "app/messageboxes.h"
#include "app/splash.h"
#include "app/splashhooks.h"
#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "pages/ui/htmlrenderer.h"

#include "splashserver.h"

#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString packedPage(const QString &html)
{
    return QStringLiteral("<HTML>") + QString::fromLatin1(base64Encode(encodeCp1251Html(html))) +
           QStringLiteral("</HTML>");
}

QString splashText()
{
    return SplashWindow()->View->Viewer()->toPlainText();
}

} // namespace

class TestGreeting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void greetingPageStoredAndShownAtTheNextStart();
    void emptyPageIsStoredButNotShownAtTheNextStart();
    void failAnswerChangesNothing();
    void unreadableAnswerDoesNotStopStartUp();

private:
    void createDatabase(const QString &serverAddress);
    std::optional<QString> stored();
    QString m_path;
    QTemporaryDir m_dir;
    QStringList m_errors;
};

void TestGreeting::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    setErrorBoxHandler([this](const QString &text) { m_errors << text; });
    setExitHandler([this](int code) { m_errors << QStringLiteral("exit %1").arg(code); });
}

void TestGreeting::cleanupTestCase()
{
    setErrorBoxHandler({});
    setExitHandler({});
}

void TestGreeting::init()
{
    m_errors.clear();
}

void TestGreeting::createDatabase(const QString &serverAddress)
{
    static int serial = 0;
    m_path = m_dir.filePath(QStringLiteral("ramux%1.rxd").arg(++serial));
    schema::createDatabaseFile(m_path);
    Database db;
    db.open(m_path, schema::databasePassword());
    StoredOptions options = LoadStoredOptions(db);
    options.updServ = serverAddress;
    SaveStoredOptions(db, options);
}

std::optional<QString> TestGreeting::stored()
{
    Database db;
    db.open(m_path, schema::databasePassword());
    return readStoredSplash(db);
}

void TestGreeting::greetingPageStoredAndShownAtTheNextStart()
{
    // A page with an attachment: the two elements joined in document order.
    const QString page =
        packedPage(QStringLiteral("<p>Свежие новости</p>")) + QStringLiteral("<LOGO>iVBORw0KGgo=</LOGO>");
    {
        SplashServer server(SplashServer::envelope("<DATA><PAGE>" + page.toStdString() + "</PAGE></DATA>"));
        createDatabase(server.address());
        TKalmedaRamuxMainForm window({}, m_path);
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(server.actions(), QStringLiteral("get_splash"));
        QVERIFY(SplashWindow());
        QVERIFY(!SplashWindow()->isVisible()); // closed at the end of start-up
        QCOMPARE(splashText(), QStringLiteral("Свежие новости"));
        QVERIFY(SplashWindow()->View->FindPart(u"logo"));
        QCOMPARE(stored().value_or(QString()), page);
    }
    // The next start, with the server gone: the stored page shows as soon as the tables open,
    // and the failed request only changes the status line.
    SplashWindow()->ShowPage(packedPage(QStringLiteral("<p>прежняя</p>")));
    TKalmedaRamuxMainForm next({}, m_path);
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(splashText(), QStringLiteral("Свежие новости"));
    next.FetchGreetingPage();
    QCOMPARE(SplashWindow()->Panel1->text(), QStringLiteral("Невозможно соединиться с сервером..."));
    QVERIFY(SplashWindow()->isVisible());
    QCOMPARE(splashText(), QStringLiteral("Свежие новости"));
    QCOMPARE(stored().value_or(QString()), page);
}

void TestGreeting::emptyPageIsStoredButNotShownAtTheNextStart()
{
    SplashServer server(SplashServer::envelope("<DATA><PAGE/></DATA>"));
    createDatabase(server.address());
    {
        Database db;
        db.open(m_path, schema::databasePassword());
        storeSplash(db, packedPage(QStringLiteral("<p>старая</p>")));
    }
    SplashWindow()->ShowPage(packedPage(QStringLiteral("<p>на экране</p>")));
    TKalmedaRamuxMainForm window({}, m_path);
    // The stored page showed when the tables opened; the empty answer left it there.
    QCOMPARE(splashText(), QStringLiteral("старая"));
    QCOMPARE(stored().value_or(QStringLiteral("NULL")), QString());

    SplashWindow()->ShowPage(packedPage(QStringLiteral("<p>на экране</p>")));
    TKalmedaRamuxMainForm next({}, m_path);
    QCOMPARE(splashText(), QStringLiteral("на экране"));
}

void TestGreeting::failAnswerChangesNothing()
{
    SplashServer server(
        "<?xml version=\"1.0\"?><R version=\"1\"><RESULT status=\"FAIL\" err_code=\"3\">нет</RESULT></R>");
    createDatabase(server.address());
    TKalmedaRamuxMainForm window({}, m_path);
    QVERIFY(!stored());
    window.FetchGreetingPage();
    QCOMPARE(SplashWindow()->Panel1->text(), QStringLiteral("Проверка связи с сервером..."));
    QVERIFY(!stored());
}

void TestGreeting::unreadableAnswerDoesNotStopStartUp()
{
    SplashServer server("<html><body>Proxy error</body>");
    createDatabase(server.address());
    SplashWindow()->ShowPage(packedPage(QStringLiteral("<p>на экране</p>")));
    TKalmedaRamuxMainForm window({}, m_path);
    QVERIFY(m_errors.isEmpty());
    QVERIFY_THROWS_EXCEPTION(std::exception, window.FetchGreetingPage());
    // Left at once: no status after the first.
    QCOMPARE(SplashWindow()->Panel1->text(), QStringLiteral("Проверка связи с сервером..."));
    QCOMPARE(splashText(), QStringLiteral("на экране"));
    QVERIFY(!stored());
}

QTEST_MAIN(TestGreeting)
#include "tst_greeting.moc"
