// Fault drills on the database file itself: damaged pages, a truncated file, an empty one and a
// plain (unencrypted) SQLite file. When the file cannot be opened, the start-up reports the
// store's error, then "Не удается открыть базу данных", and ends with 0; ramuxctl sync fails and
// leaves the file as it was. When the file opens but its tables cannot be read (damage past the
// first page), the store's error is shown and the window comes up with what could be read; a
// sync runs as far as the file can be read and ends by itself.
//
// The start-up runs in this process through the window's own constructor: the message boxes
// are modal and would block a child `ramux`, and their seam is in-process only.
#include "mainwindow/fixture.h"
#include "sync/syncserver.h"

#include "drillkit.h"

#include "app/mainform.h"

#include <QFileInfo>

namespace {

enum class Damage { HeaderPage, ScatteredPages, TruncatedHalf, TruncatedEmpty, PlainSqlite };

// Overwrites length bytes at offset with a fixed pattern that no page checksum accepts.
bool scribble(const QString &path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset))
        return false;
    QByteArray junk(int(length), '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131 + 17) & 0xff);
    return file.write(junk) == length;
}

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestDrillStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_sound;

    // A copy of the sound database, damaged as the row asks, at path.
    bool makeDamaged(Damage damage, const QString &path)
    {
        QFile::remove(path);
        if (damage == Damage::PlainSqlite) {
            // The right tables, but no key: what a hand-made or foreign file looks like.
            Database plain;
            plain.open(path, QByteArray(), Database::OpenMode::Create);
            plain.exec(QStringLiteral("CREATE TABLE options (id INTEGER PRIMARY KEY, o_upd_serv TEXT);"
                                      "INSERT INTO options (id) VALUES (1);"
                                      "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT)"));
            return true;
        }
        if (!QFile::copy(m_sound, path))
            return false;
        const qint64 size = QFileInfo(path).size();
        const qint64 page = 4096;
        switch (damage) {
        case Damage::HeaderPage:
            return scribble(path, 100, 2000);
        case Damage::ScatteredPages:
            // Every third page past the first 64, where the schema's pages lie (its text no longer
            // fits one page): table and index pages alike.
            for (qint64 at = 64 * page; at + page <= size; at += 3 * page)
                if (!scribble(path, at + 64, page - 128))
                    return false;
            return true;
        case Damage::TruncatedHalf:
            return QFile::resize(path, size / 2 + 123);
        case Damage::TruncatedEmpty:
            return QFile::resize(path, 0);
        case Damage::PlainSqlite:
            break;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_sound = m_dir.filePath(QStringLiteral("sound.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("synth"), m_sound, QStringLiteral("--products"),
                                                         QStringLiteral("300"), QStringLiteral("--seed"), QStringLiteral("3")}),
                 0);
        QVERIFY(!QFile::exists(m_sound + QStringLiteral("-wal")));
        QCOMPARE(integrityOf(m_sound), QStringLiteral("ok"));
    }

    void badFile_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<bool>("opens"); // the connection opens; reading the tables fails
        QTest::newRow("first page damaged") << Damage::HeaderPage << false;
        QTest::newRow("scattered pages damaged") << Damage::ScatteredPages << true;
        QTest::newRow("truncated to half") << Damage::TruncatedHalf << false;
        QTest::newRow("truncated to nothing") << Damage::TruncatedEmpty << false;
        QTest::newRow("plain SQLite") << Damage::PlainSqlite << false;
    }

    void badFile()
    {
        QFETCH(Damage, damage);
        QFETCH(bool, opens);
        const QString path = m_dir.filePath(QStringLiteral("bad.rxd"));
        QVERIFY(makeDamaged(damage, path));
        const QByteArray before = fileBytes(path);

        {
            WindowFixture f;
            TKalmedaRamuxMainForm window({}, path);
            QVERIFY2(!f.errors.isEmpty(), "no error shown");
            const QString storeError = f.errors.at(0);
            QVERIFY(!storeError.isEmpty());
            QVERIFY2(storeError != QStringLiteral("Не удается открыть базу данных"), qPrintable(storeError));
            if (opens) {
                QVERIFY2(f.errors.size() == 1, qPrintable(f.errors.join(QLatin1String(" / "))));
                QVERIFY(f.exits.isEmpty());
                window.show();
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                QVERIFY(window.RussianNames.size() < 300); // nothing made up beyond what could be read
            } else {
                QVERIFY2(f.errors.size() == 2, qPrintable(f.errors.join(QLatin1String(" / "))));
                QCOMPARE(f.errors.at(1), QStringLiteral("Не удается открыть базу данных"));
                QCOMPARE(f.exits, QList<int>{0});
            }
            window.close();
        }
        // Closing stores the settings row, which may land in the readable part of a damaged file.
        if (!opens)
            QVERIFY(fileBytes(path) == before);

        // A server with rows to give: the sync would write if it got that far.
        ContentModel content;
        for (int id = 1; id <= 50; ++id)
            content.add(QStringLiteral("items"), {id, id, false, {{QStringLiteral("name"), QStringLiteral("Препарат %1").arg(id)}}});
        SyncServer server([&content](const QMap<QString, QString> &query) { return content.page(query); });
        QByteArray err;
        const int code = runProgram(QStringLiteral("ramuxctl"),
                                    {QStringLiteral("sync"), QStringLiteral("--db"), path, QStringLiteral("--server"), server.address()},
                                    nullptr, &err);
        // A file that opens is synced as far as it can be read: the run ends by itself either way.
        if (opens) {
            QVERIFY2(code >= 0, qPrintable(QString::fromUtf8(err)));
            return;
        }
        QVERIFY2(code > 0, qPrintable(QString::number(code) + QLatin1Char(' ') + QString::fromUtf8(err)));
        QVERIFY2(fileBytes(path) == before, qPrintable(QString::fromUtf8(err)));
        QVERIFY(server.targets().isEmpty());
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal")) || QFileInfo(path + QStringLiteral("-wal")).size() == 0);
    }
};

QTEST_MAIN(TestDrillStore)
#include "tst_drillstore.moc"
