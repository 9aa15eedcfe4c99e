// Killing a running `ramuxctl sync` at many points: the file stays sound, every table holds
// exactly the pages up to its stored position, and the next run reaches the same final state.
#include "syncprocess.h"
#include "syncserver.h"

#include "db/options.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <csignal>

namespace {

// One change of the content: an upsert or a deletion of an id, under its stamp.
struct Change
{
    QString table;
    ContentRow row;
};

QString bulk(int id, int salt)
{
    // Large fields make applying a page take long enough to be interrupted.
    return QStringLiteral("%1-%2-").arg(id).arg(salt) + QString(1500, QLatin1Char('a' + (id + salt) % 26));
}

} // namespace

class TestSyncCrash : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QList<Change> m_changes;
    ContentModel m_content;
    std::unique_ptr<SyncServer> m_server;
    int m_files = 0;

    QString newDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("c%1.rxd").arg(++m_files));
        if (runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), path}) != 0)
            return QString();
        return path;
    }

    QStringList syncArguments(const QString &path) const
    {
        return {QStringLiteral("sync"), QStringLiteral("--db"), path, QStringLiteral("--server"), m_server->address()};
    }

    // The table as it must be once every change up to the position has been applied, and nothing after.
    QStringList expectedRows(const QString &table, qint64 position) const
    {
        QMap<qint64, QString> rows;
        for (const Change &change : m_changes) {
            if (change.table != table || change.row.stamp > position)
                continue;
            if (change.row.deleted) {
                rows.remove(change.row.id);
                continue;
            }
            QStringList values{QString::number(change.row.id)};
            for (const auto &field : change.row.fields)
                values << field.second;
            rows.insert(change.row.id, values.join(QLatin1Char('|')));
        }
        return rows.values();
    }

    static QStringList actualRows(Database &db, const QString &table)
    {
        Statement st = db.prepare(QStringLiteral("SELECT id, name, description FROM %1 ORDER BY id").arg(table));
        QStringList rows;
        while (st.step())
            rows << QStringLiteral("%1|%2|%3").arg(st.int64(0)).arg(st.text(1), st.text(2));
        return rows;
    }

    void verifyConsistent(const QString &path)
    {
        Database db;
        db.open(path, schema::databasePassword());
        Statement check = db.prepare(QStringLiteral("PRAGMA integrity_check"));
        QVERIFY(check.step());
        QCOMPARE(check.text(0), QStringLiteral("ok"));
        for (const QString &table : {QStringLiteral("vendors"), QStringLiteral("items")}) {
            const qint64 position = readTablePosition(db, table);
            const QStringList actual = actualRows(db, table);
            const QStringList expected = expectedRows(table, position);
            QVERIFY2(actual == expected, qPrintable(QStringLiteral("%1 at position %2: %3 rows, expected %4")
                                                        .arg(table).arg(position).arg(actual.size()).arg(expected.size())));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qint64 stamp = 0;
        auto add = [&](const QString &table, const ContentRow &row) {
            m_changes << Change{table, row};
            m_content.add(table, row);
        };
        for (int id = 1; id <= 700; ++id)
            add(QStringLiteral("vendors"), {id, ++stamp, false, {{QStringLiteral("name"), QStringLiteral("Завод %1").arg(id)},
                                                                  {QStringLiteral("description"), bulk(id, 1)}}});
        for (int id = 1; id <= 1400; ++id)
            add(QStringLiteral("items"), {id, ++stamp, false, {{QStringLiteral("name"), QStringLiteral("Препарат %1").arg(id)},
                                                                {QStringLiteral("description"), bulk(id, 2)}}});
        // Later changes of the same ids: edits and deletions on both tables.
        for (int id = 1; id <= 300; id += 3)
            add(QStringLiteral("vendors"), {id, ++stamp, true, {}});
        for (int id = 2; id <= 1400; id += 5)
            add(QStringLiteral("items"), {id, ++stamp, false, {{QStringLiteral("name"), QStringLiteral("Новое %1").arg(id)},
                                                                {QStringLiteral("description"), bulk(id, 3)}}});
        m_server = std::make_unique<SyncServer>([this](const QMap<QString, QString> &query) {
            QThread::msleep(15); // a slow line, so the kills fall on requests and applies alike
            return m_content.page(query);
        });
    }

    void killedRunsLeaveTheFileConsistentAndResume()
    {
        // The uninterrupted run: its time spreads the kill points, its result is the goal.
        const QString reference = newDatabase();
        QVERIFY(!reference.isEmpty());
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), syncArguments(reference)), 0);
        const qint64 duration = timer.elapsed();
        verifyConsistent(reference);
        QStringList goal;
        {
            Database db;
            db.open(reference, schema::databasePassword());
            for (const QString &table : schema::dataTables())
                goal << dumpTable(db, table);
            goal << dumpTable(db, QStringLiteral("options"));
        }

        const int kills = 10;
        int interruptedMidway = 0;
        for (int k = 1; k <= kills; ++k) {
            const QString path = newDatabase();
            QVERIFY(!path.isEmpty());
            QProcess child;
            child.start(programPath(QStringLiteral("ramuxctl")), syncArguments(path));
            QVERIFY(child.waitForStarted());
            QThread::msleep(static_cast<unsigned long>(duration * k / (kills + 1)));
            const bool running = child.state() == QProcess::Running;
            if (running) {
                ::kill(pid_t(child.processId()), SIGKILL);
                ++interruptedMidway;
            }
            child.waitForFinished(30000);
            verifyConsistent(path);

            // The next run completes to the same final state as the uninterrupted one.
            QCOMPARE(runProgram(QStringLiteral("ramuxctl"), syncArguments(path)), 0);
            Database db;
            db.open(path, schema::databasePassword());
            QStringList state;
            for (const QString &table : schema::dataTables())
                state << dumpTable(db, table);
            state << dumpTable(db, QStringLiteral("options"));
            QVERIFY2(state == goal, qPrintable(QStringLiteral("kill point %1").arg(k)));
        }
        QVERIFY2(interruptedMidway >= kills / 2, qPrintable(QString::number(interruptedMidway)));
    }
};

QTEST_GUILESS_MAIN(TestSyncCrash)
#include "tst_synccrash.moc"
