// The settings page: what it shows for missing and NULL fields, the live proxy values, saving.
#include "app/mainform.h"
#include "db/options.h"
#include "fixture.h"
#include "update/proxysettings.h"

#include <QCheckBox>
#include <QLineEdit>

#include <atomic>
#include <thread>

class TestMainSettings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { clearProxyValues(); }

    void missingColumnGivesDefaultNullGivesEmpty()
    {
        WindowFixture f;
        // o_prog_upd missing, o_data_upd NULL, a proxy host stored.
        f.createRaw(QStringLiteral(
            "CREATE TABLE options (id INTEGER PRIMARY KEY, o_upd_serv TEXT, o_data_upd INTEGER,"
            " ProxyHost TEXT, ProxyPort TEXT, ProxyUser TEXT, ProxyPass TEXT, s_splash TEXT);"
            "INSERT INTO options (id, o_upd_serv, o_data_upd, ProxyHost)"
            " VALUES (1, NULL, NULL, 'proxy.local');"));
        TKalmedaRamuxMainForm w({}, f.path);
        QVERIFY(w.ProgUpd->isChecked());
        QVERIFY(!w.DataUpd->isChecked());
        QCOMPARE(w.ApiAddr->text(), QString());
        QCOMPARE(proxyValues().host, QStringLiteral("proxy.local"));
        QCOMPARE(w.ProxyPort->text(), QString());
    }

    void proxyValuesFollowTyping()
    {
        WindowFixture f;
        f.create();
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QTest::keyClicks(w.ProxyHost, QStringLiteral("10.0.0.1"));
        QCOMPARE(proxyValues().host, QStringLiteral("10.0.0.1"));
        QTest::keyClicks(w.ProxyPort, QStringLiteral("3128"));
        QCOMPARE(proxyValues(), (ProxyValues{QStringLiteral("10.0.0.1"), QStringLiteral("3128"), {}, {}}));
        w.ProxyHost->clear();
        QCOMPARE(proxyValues().host, QString()); // direct again at once
        QCOMPARE(proxyValues().port, QStringLiteral("3128"));
    }

    void closingStoresTheRowAlsoWhenTheTableHadNone()
    {
        WindowFixture f;
        f.create(QStringLiteral("DELETE FROM options;"));
        {
            TKalmedaRamuxMainForm w({}, f.path);
            QVERIFY(!w.ProgUpd->isChecked()); // no row: unticked and empty, not the defaults
            QCOMPARE(w.ApiAddr->text(), QString());
            w.ApiAddr->setText(QStringLiteral("http://127.0.0.1:9/api.php"));
            w.DataUpd->setChecked(true);
            w.ProxyUser->setText(QStringLiteral("me"));
            w.show();
            w.close();
        }
        Database db;
        db.open(f.path, schema::databasePassword());
        const StoredOptions o = LoadStoredOptions(db);
        QCOMPARE(o.updServ, QStringLiteral("http://127.0.0.1:9/api.php"));
        QVERIFY(!o.progUpd);
        QVERIFY(o.dataUpd);
        QCOMPARE(o.proxyUser, QStringLiteral("me"));
    }

    void rowWithANullKeyIsTheRowSavedAndReadBack()
    {
        WindowFixture f;
        // An options table whose id is a plain column, its one row keyed NULL.
        f.createRaw(QStringLiteral(
            "CREATE TABLE options (id INTEGER, o_upd_serv TEXT, o_prog_upd INTEGER, o_data_upd INTEGER,"
            " ProxyHost TEXT, ProxyPort TEXT, ProxyUser TEXT, ProxyPass TEXT, s_splash TEXT);"
            "INSERT INTO options (id, o_upd_serv) VALUES (NULL, 'http://old/api.php');"));
        for (const QString &host : {QStringLiteral("first.local"), QStringLiteral("second.local")}) {
            TKalmedaRamuxMainForm w({}, f.path);
            w.ProxyHost->setText(host);
            w.show();
            w.close();
        }
        {
            TKalmedaRamuxMainForm w({}, f.path);
            QCOMPARE(w.ProxyHost->text(), QStringLiteral("second.local"));
            QCOMPARE(w.ApiAddr->text(), QStringLiteral("http://old/api.php"));
        }
        Database db;
        db.open(f.path, schema::databasePassword());
        storeSplash(db, QStringLiteral("<html>привет</html>"));
        QCOMPARE(readStoredSplash(db), std::optional<QString>(QStringLiteral("<html>привет</html>")));
        Statement count = db.prepare(QStringLiteral("SELECT count(*), max(id IS NULL) FROM options"));
        QVERIFY(count.step());
        QCOMPARE(count.int64(0), qint64(1)); // no rows piled up
        QCOMPARE(count.int64(1), qint64(1)); // and the row is still the one the table had
    }

    void closingBesideAWorkerPageNeverHangs()
    {
        WindowFixture f;
        f.create();
        // Another connection on another thread holds a write transaction as long as a page.
        auto holdWriteLock = [&](int milliseconds, std::atomic<bool> &held) {
            return std::thread([&f, milliseconds, &held] {
                Database worker;
                worker.open(f.path, schema::databasePassword());
                Transaction tx(worker);
                worker.exec(QStringLiteral("UPDATE options SET lu_items = 7"));
                held = true;
                QThread::msleep(static_cast<unsigned long>(milliseconds));
                tx.commit();
            });
        };
        {
            // A page-long transaction: the save waits for it and is stored.
            TKalmedaRamuxMainForm w({}, f.path);
            w.ProxyHost->setText(QStringLiteral("saved.local"));
            w.show();
            std::atomic<bool> held{false};
            std::thread worker = holdWriteLock(300, held);
            QTRY_VERIFY(held);
            QElapsedTimer timer;
            timer.start();
            w.close();
            worker.join();
            QVERIFY2(timer.elapsed() < 5000, QByteArray::number(timer.elapsed()).constData());
        }
        {
            TKalmedaRamuxMainForm w({}, f.path);
            QCOMPARE(w.ProxyHost->text(), QStringLiteral("saved.local"));
            // A lock held far past any page: the close gives up after its short wait.
            w.ProxyHost->setText(QStringLiteral("lost.local"));
            w.show();
            std::atomic<bool> held{false};
            std::thread worker = holdWriteLock(6000, held);
            QTRY_VERIFY(held);
            QElapsedTimer timer;
            timer.start();
            w.close();
            const qint64 elapsed = timer.elapsed();
            worker.join();
            QVERIFY2(elapsed < 4500, QByteArray::number(elapsed).constData());
        }
        TKalmedaRamuxMainForm w({}, f.path);
        QCOMPARE(w.ProxyHost->text(), QStringLiteral("saved.local")); // the row kept its values
    }

    void tabVisitsProxyEditsInOrder()
    {
        WindowFixture f;
        f.create();
        TKalmedaRamuxMainForm w({}, f.path);
        auto nextTabStop = [](QWidget *from) {
            QWidget *next = from->nextInFocusChain();
            while (next != from && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            return next;
        };
        QCOMPARE(nextTabStop(w.ProxyHost), w.ProxyPort);
        QCOMPARE(nextTabStop(w.ProxyPort), w.ProxyUser);
        QCOMPARE(nextTabStop(w.ProxyUser), w.ProxyPass);
    }
};

QTEST_MAIN(TestMainSettings)
#include "tst_mainsettings.moc"
