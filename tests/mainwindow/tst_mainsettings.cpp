// The settings page: what it shows for missing and NULL fields, the live proxy values, saving.
#include "app/mainform.h"
#include "db/options.h"
#include "fixture.h"
#include "update/proxysettings.h"

#include <QCheckBox>
#include <QLineEdit>

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
