// The name search on the core lists, and ramuxctl printing the same lists and results.
#include "db/browselists.h"
#include "db/namesearch.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString cyr(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const NameList kNames{{cyr("АЛЬБЕНВЕТ"), 1}, {cyr("БЕНЗИЛ"), 2}, {cyr("ДИБЕНОЛ 5%"), 3}, {cyr("ЁЛКА"), 4}};

QVector<qint64> ids(const NameList &list)
{
    QVector<qint64> out;
    for (const NameEntry &e : list)
        out << e.id;
    return out;
}
} // namespace

class TestNameSearch : public QObject
{
    Q_OBJECT

private slots:
    void shortTextsFindNothing()
    {
        QVERIFY(searchNames(kNames, cyr("бе")).isEmpty());
        QVERIFY(searchNames(kNames, QString()).isEmpty());
        QCOMPARE(ids(searchNames(kNames, cyr("бен"))), (QVector<qint64>{1, 2, 3}));
    }

    void matchesAnywhereInListOrderAfterUpperCasing()
    {
        QCOMPARE(ids(searchNames(kNames, cyr("нол"))), QVector<qint64>{3});
        QCOMPARE(ids(searchNames(kNames, cyr("ёлк"))), QVector<qint64>{4});
        QCOMPARE(ids(searchNames(kNames, QStringLiteral("L 5"))), QVector<qint64>());
        QCOMPARE(ids(searchNames(kNames, cyr("л 5%"))), QVector<qint64>{3});
        // Not trimmed: a trailing blank is part of the text.
        QVERIFY(searchNames(kNames, cyr("бен ")).isEmpty());
        QCOMPARE(searchTextOf(cyr("ёж abc")), cyr("ЁЖ ABC"));
    }

    void dropDownOpensForAtMostEightResults()
    {
        QVERIFY(opensDropDown(0));
        QVERIFY(opensDropDown(8));
        QVERIFY(!opensDropDown(9));
    }

    void ramuxctlPrintsTheSameListsAndResults()
    {
        const QString tool = qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl");
        if (!QFile::exists(tool))
            QSKIP("ramuxctl is not built");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.rxd"));
        schema::createDatabaseFile(path);
        {
            Database db;
            db.open(path, schema::databasePassword());
            db.exec(QString::fromUtf8(
                "INSERT INTO items (id, name, name_lat) VALUES (1, 'бензил', 'Benzylum'),"
                " (2, 'альбен', NULL), (3, '  ', 'xbenz');"
                "INSERT INTO sections (id, parent_id, name) VALUES (1, 0, 'G'), (2, 1, 'H');"
                "INSERT INTO vendors (id, name) VALUES (4, 'V');"));
        }
        auto run = [&](const QStringList &args) {
            QProcess p;
            p.start(tool, args + QStringList{QStringLiteral("--db"), path});
            [&] { QVERIFY(p.waitForFinished(30000)); }();
            return QString::fromUtf8(p.readAllStandardOutput());
        };
        QCOMPARE(run({QStringLiteral("search"), QStringLiteral("бен")}),
                 QString::fromUtf8("2\tАЛЬБЕН\n1\tБЕНЗИЛ\n"));
        QCOMPARE(run({QStringLiteral("search"), QStringLiteral("benz"), QStringLiteral("--latin")}),
                 QStringLiteral("1\tBENZYLUM\n3\tXBENZ\n"));
        QCOMPARE(run({QStringLiteral("search"), QStringLiteral("бе")}), QString());
        QCOMPARE(run({QStringLiteral("tree"), QStringLiteral("groups")}), QStringLiteral("G\t1\n  H\t2\n"));
        QCOMPARE(run({QStringLiteral("tree"), QStringLiteral("products")}),
                 QString::fromUtf8("Русское название\t0\n  А\t0\n    АЛЬБЕН\t2\n  Б\t0\n    БЕНЗИЛ\t1\n"
                                   "Латинское название\t0\n  B\t0\n    BENZYLUM\t1\n  X\t0\n    XBENZ\t3\n"));
    }
};

QTEST_GUILESS_MAIN(TestNameSearch)
#include "tst_namesearch.moc"
