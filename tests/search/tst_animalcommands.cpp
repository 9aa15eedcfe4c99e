// ramuxctl find and search narrowed to one species, run as scripts run them on the demo
// reference: the same lines as without the species, less the products without rows for it.
#include "../sync/syncprocess.h"

#include <QSet>
#include <QTemporaryDir>

namespace {

QStringList run(const QStringList &args, int *exitCode, QByteArray *err = nullptr)
{
    QByteArray out;
    *exitCode = runProgram(QStringLiteral("ramuxctl"), args, &out, err);
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QSet<qint64> speciesProducts(const QString &path, const QString &code)
{
    Database db;
    db.open(path, schema::databasePassword());
    Statement st = db.prepare(QStringLiteral(
        "SELECT d.item_id FROM item_doses d JOIN species p ON p.id = d.species_id WHERE p.code = ?1 AND "
        "EXISTS "
        "(SELECT 1 FROM item_strengths s WHERE s.item_id = d.item_id AND (d.substance IS NULL OR s.substance "
        "= "
        "d.substance)) UNION SELECT w.item_id FROM item_withdrawals w JOIN species p ON p.id = w.species_id "
        "WHERE p.code = ?1"));
    st.bind(1, code);
    QSet<qint64> ids;
    while (st.step())
        ids.insert(st.int64(0));
    return ids;
}

QStringList keepOnly(const QStringList &lines, const QSet<qint64> &ids)
{
    QStringList kept;
    for (const QString &line : lines) {
        if (ids.contains(line.section(QLatin1Char('\t'), 0, 0).toLongLong()))
            kept << line;
    }
    return kept;
}

} // namespace

class TestAnimalCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void findAndSearchNarrowToASpecies()
    {
        const QString db = m_dir.filePath(QStringLiteral("demo.rxd"));
        int rc = -1;
        run({QStringLiteral("demo"), db}, &rc);
        QCOMPARE(rc, 0);
        run({QStringLiteral("index"), QStringLiteral("--db"), db}, &rc);
        QCOMPARE(rc, 0);
        const QSet<qint64> dogs = speciesProducts(db, QStringLiteral("dog"));
        const QSet<qint64> cats = speciesProducts(db, QStringLiteral("cat"));
        QVERIFY(!dogs.isEmpty() && !cats.isEmpty());

        // Names and page texts alike: every line of the whole search that is a dog's, in order.
        const QString typed = QStringLiteral("амоксициллин");
        const QStringList all = run({QStringLiteral("find"), typed, QStringLiteral("--db"), db}, &rc);
        QCOMPARE(rc, 0);
        const QStringList expected = keepOnly(all, dogs);
        QVERIFY(!expected.isEmpty() && expected.size() < all.size());
        QVERIFY(expected.join(QLatin1Char('\n')).contains(QStringLiteral("\ttext:")));
        for (const QString &species :
             {QStringLiteral("собаки"), QStringLiteral("dog"), QStringLiteral("Собаки")}) {
            const QStringList narrowed = run({QStringLiteral("find"), typed, QStringLiteral("--species"),
                                              species, QStringLiteral("--db"), db},
                                             &rc);
            QCOMPARE(rc, 0);
            QCOMPARE(narrowed, expected);
        }

        const QStringList names =
            run({QStringLiteral("search"), QStringLiteral("амо"), QStringLiteral("--db"), db}, &rc);
        QCOMPARE(rc, 0);
        const QStringList catNames =
            run({QStringLiteral("search"), QStringLiteral("амо"), QStringLiteral("--species"),
                 QStringLiteral("кошки"), QStringLiteral("--db"), db},
                &rc);
        QCOMPARE(rc, 0);
        QVERIFY(!catNames.isEmpty() && catNames.size() < names.size());
        QCOMPARE(catNames, keepOnly(names, cats));
    }

    void anUnknownSpeciesIsAUsageError()
    {
        const QString db = m_dir.filePath(QStringLiteral("older.rxd"));
        int rc = -1;
        run({QStringLiteral("demo"), db}, &rc);
        QCOMPARE(rc, 0);
        QByteArray err;
        for (const QString &command : {QStringLiteral("find"), QStringLiteral("search")}) {
            const QStringList out = run({command, QStringLiteral("амоксициллин"), QStringLiteral("--species"),
                                         QStringLiteral("драконы"), QStringLiteral("--db"), db},
                                        &rc, &err);
            QCOMPARE(rc, 2);
            QVERIFY(out.isEmpty());
            QVERIFY2(QString::fromUtf8(err).contains(QStringLiteral("Вид «драконы» в справочнике не найден")),
                     err.constData());
        }
        // A store from an older server has no species to narrow by.
        {
            Database store;
            store.open(db, schema::databasePassword());
            store.exec(QStringLiteral("DELETE FROM species"));
        }
        run({QStringLiteral("find"), QStringLiteral("амоксициллин"), QStringLiteral("--species"),
             QStringLiteral("собаки"), QStringLiteral("--db"), db},
            &rc, &err);
        QCOMPARE(rc, 2);
        QVERIFY2(QString::fromUtf8(err).contains(QStringLiteral("нет структурированных данных")),
                 err.constData());
    }
};

QTEST_GUILESS_MAIN(TestAnimalCommands)
#include "tst_animalcommands.moc"
