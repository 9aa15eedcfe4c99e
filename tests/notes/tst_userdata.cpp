// User data on its own: the notes file (merge, refusals), the record of each sync run as the
// real request layer classifies it, and a hostile server answer aimed at the user tables.
#include "sync/syncprocess.h"
#include "sync/syncserver.h"

#include "db/notesfile.h"
#include "db/runstatus.h"
#include "db/userdata.h"
#include "update/updaterun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace {

class Host final : public UpdateHost
{
public:
    explicit Host(QString path) : m_path(std::move(path)) {}
    void ReportStatus(const UpdateFields &) override {}
    void HideStatus() override {}
    void sleepMs(int) override {}
    QString databaseFile() override { return m_path; }

private:
    QString m_path;
};

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// An items page with the given rows; every other table answers an empty page.
SyncServer::Handler itemsServer(const QByteArray &rows)
{
    return [rows](const QMap<QString, QString> &query) {
        if (query.value(QStringLiteral("table")) == QLatin1String("items") && query.value(QStringLiteral("date")) == QLatin1String("0"))
            return okEnvelope("<DATA><TABLE>" + rows + "</TABLE></DATA>");
        return okEnvelope("<DATA><TABLE/></DATA>");
    };
}

QByteArray notesJson(const QJsonArray &items, int version = 1)
{
    QJsonObject root{{QStringLiteral("format"), QStringLiteral("ramux-notes")}, {QStringLiteral("version"), version},
                     {QStringLiteral("items"), items}};
    return QJsonDocument(root).toJson();
}

QJsonObject record(qint64 id, const QString &note, bool favourite, const QString &changed, const QString &name = {})
{
    return QJsonObject{{QStringLiteral("id"), double(id)}, {QStringLiteral("name"), name},
                       {QStringLiteral("favourite"), favourite}, {QStringLiteral("note"), note},
                       {QStringLiteral("changed"), changed}};
}

QStringList describe(Database &db)
{
    QStringList out;
    for (const userdata::UserItem &i : userdata::allItems(db))
        out << QStringLiteral("%1|%2|%3|%4|%5").arg(i.id).arg(i.favourite).arg(i.note, i.lastName, userdata::formatStamp(i.changed));
    return out;
}

// Every column of every user row, as stored.
QStringList userRows(Database &db)
{
    Statement st = db.prepare(QStringLiteral("SELECT item_id, favourite, note, last_name, changed FROM user_items ORDER BY item_id"));
    QStringList rows;
    while (st.step())
        rows << QStringLiteral("%1|%2|%3|%4|%5").arg(st.text(0), st.text(1), st.text(2), st.text(3), st.text(4));
    return rows;
}

void stamp(Database &db, qint64 id, const QString &changed)
{
    Statement st = db.prepare(QStringLiteral("UPDATE user_items SET changed = ?1 WHERE item_id = ?2"));
    st.bind(1, changed).bind(2, id);
    st.run();
}

} // namespace

class TestUserData : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    // A reference with products 1 "Альфа" and 2 "Бета", reading from `server`.
    QString newDatabase(const QString &server = QStringLiteral("http://127.0.0.1:9/api.php"))
    {
        const QString path = m_dir.filePath(QStringLiteral("u%1.rxd").arg(++m_files));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        db.exec(QStringLiteral("INSERT INTO items (id, name) VALUES (1, 'Альфа'), (2, 'Бета');"));
        Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_prog_upd = 0"));
        st.bind(1, server);
        st.run();
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void notesKeepTheirLimitAndRemoveThemselvesWhenEmpty()
    {
        Database db;
        db.open(newDatabase(), schema::databasePassword());
        userdata::ensureTables(db);
        userdata::setNote(db, 1, QString(userdata::kMaxNoteLength, QLatin1Char('x')));
        QCOMPARE(userdata::item(db, 1)->note.size(), userdata::kMaxNoteLength);
        QCOMPARE(userdata::item(db, 1)->lastName, u("Альфа"));
        QVERIFY_THROWS_EXCEPTION(RamuxError, userdata::setNote(db, 1, QString(userdata::kMaxNoteLength + 1, QLatin1Char('y'))));
        QCOMPARE(userdata::item(db, 1)->note, QString(userdata::kMaxNoteLength, QLatin1Char('x'))); // untouched
        userdata::setNote(db, 1, QStringLiteral(" \n "));
        QVERIFY(!userdata::item(db, 1)); // neither star nor note: no record
        userdata::setFavourite(db, 2, true);
        userdata::setNote(db, 2, QStringLiteral("a"));
        userdata::setNote(db, 2, QString());
        QVERIFY(userdata::item(db, 2)->favourite); // the star stays when the note goes
    }

    void importMergesByTheLaterChangeAndKeepsProductsTheReferenceLacks()
    {
        Database db;
        db.open(newDatabase(), schema::databasePassword());
        userdata::ensureTables(db);
        userdata::setNote(db, 1, u("здесь, старая"));
        stamp(db, 1, QStringLiteral("2026-01-01T10:00:00Z"));
        userdata::setNote(db, 2, u("здесь, новая"));
        userdata::setFavourite(db, 2, true);
        stamp(db, 2, QStringLiteral("2026-03-01T10:00:00Z"));

        const notesfile::ImportResult result = notesfile::importNotes(db, notesJson({
            record(1, u("из файла"), true, QStringLiteral("2026-02-01T10:00:00Z"), u("Другое имя")),
            record(2, u("из файла, старше"), false, QStringLiteral("2026-02-01T10:00:00Z")),
            record(147, u("у кошек — половина дозы"), true, QStringLiteral("2026-12-08T14:03:00Z"), u("Ушедший")),
            record(147, u("та же запись, раньше"), false, QStringLiteral("2026-12-01T00:00:00Z")),
        }));
        QCOMPARE(result.taken, 2);
        QCOMPARE(result.kept, 2);
        QCOMPARE(describe(db), (QStringList{
                                   u("1|1|из файла|Альфа|2026-02-01T10:00:00Z"), // the reference's name wins over the file's
                                   u("2|1|здесь, новая|Бета|2026-03-01T10:00:00Z"),
                                   u("147|1|у кошек — половина дозы|Ушедший|2026-12-08T14:03:00Z"),
                               }));

        // Export, then import into a file that has only the reference: the same records.
        const QByteArray exported = notesfile::exportNotes(db);
        Database empty;
        empty.open(newDatabase(), schema::databasePassword());
        QCOMPARE(notesfile::importNotes(empty, exported).taken, 3);
        QCOMPARE(describe(empty), describe(db));
    }

    void refusedFilesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray good = notesJson({record(1, u("новая"), true, QStringLiteral("2030-01-01T00:00:00Z")),
                                           record(2, u("вторая"), true, QStringLiteral("2030-01-01T00:00:00Z"))});
        QTest::newRow("truncated") << good.left(good.size() - 20);
        QTest::newRow("later version") << notesJson({record(1, u("x"), true, QStringLiteral("2030-01-01T00:00:00Z"))}, 2);
        QTest::newRow("other format") << QByteArray(R"({"format": "something", "version": 1, "items": []})");
        QTest::newRow("note too long, after a good record")
            << notesJson({record(2, u("вторая"), true, QStringLiteral("2030-01-01T00:00:00Z")),
                          record(1, QString(userdata::kMaxNoteLength + 1, QLatin1Char('z')), true, QStringLiteral("2030-01-01T00:00:00Z"))});
        QTest::newRow("id not an integer") << notesJson({record(1, u("x"), true, QStringLiteral("2030-01-01T00:00:00Z")),
                                                         QJsonObject{{QStringLiteral("id"), 1.5}, {QStringLiteral("changed"), QStringLiteral("2030-01-01T00:00:00Z")}}});
        QTest::newRow("no change date") << notesJson({QJsonObject{{QStringLiteral("id"), 2}, {QStringLiteral("note"), u("x")}}});
        QTest::newRow("not json") << QByteArray("<notes/>");
        QTest::newRow("lone surrogate")
            << QByteArray(R"({"format": "ramux-notes", "version": 1, "items": [{"id": 2,)"
                          R"( "note": "a\ud800b", "changed": "2030-01-01T00:00:00Z"}]})");
    }

    void refusedFilesChangeNothing()
    {
        QFETCH(QByteArray, json);
        Database db;
        db.open(newDatabase(), schema::databasePassword());
        userdata::ensureTables(db);
        userdata::setNote(db, 1, u("моя"));
        const QStringList before = describe(db);
        try {
            notesfile::importNotes(db, json);
            QFAIL("the file was taken");
        } catch (const RamuxError &e) {
            QVERIFY2(e.message().contains(u("Ничего не изменено")), qPrintable(e.message()));
        }
        QCOMPARE(describe(db), before);
    }

    // Two edits of one product from two connections at the same moment, as the window and
    // ramuxctl (or an import) make them: neither may undo the other.
    void editsAtOnceFromTwoPlacesKeepBoth()
    {
        const QString path = newDatabase();
        Database db;
        db.open(path, schema::databasePassword());
        userdata::ensureTables(db);
        const auto atOnce = [&](const std::function<void(Database &)> &a,
                                const std::function<void(Database &)> &b) {
            std::atomic<int> ready{0};
            QStringList errors;
            const auto run = [&](const std::function<void(Database &)> &edit, int slot) {
                try {
                    Database own; // one connection per thread
                    own.open(path, schema::databasePassword());
                    ++ready;
                    while (ready.load() < 2) {
                    }
                    edit(own);
                } catch (const RamuxError &e) {
                    errors.append(QStringLiteral("%1: %2").arg(slot).arg(e.message()));
                }
            };
            std::thread first(run, a, 1), second(run, b, 2);
            first.join();
            second.join();
            QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        };
        for (int round = 0; round < 40; ++round) {
            db.exec(QStringLiteral("DELETE FROM user_items"));
            const QString note = QStringLiteral("note %1").arg(round);
            atOnce([](Database &c) { userdata::setFavourite(c, 1, true); },
                   [&](Database &c) { userdata::setNote(c, 1, note); });
            const std::optional<userdata::UserItem> both = userdata::item(db, 1);
            QVERIFY2(both && both->favourite && both->note == note,
                     qPrintable(QStringLiteral("round %1").arg(round)));

            // An import of a starred record beside a note: in either order the star stays.
            const QByteArray file =
                notesJson({record(2, QString(), true, QStringLiteral("2099-01-01T00:00:00Z"))});
            atOnce([&](Database &c) { notesfile::importNotes(c, file); },
                   [&](Database &c) { userdata::setNote(c, 2, note); });
            const std::optional<userdata::UserItem> imported = userdata::item(db, 2);
            QVERIFY2(imported && imported->favourite,
                     qPrintable(QStringLiteral("import, round %1").arg(round)));
        }
    }

    // A device or a huge file is refused after a bounded read; NUL in a note is listed escaped.
    void hostileFilesAndCharactersStayBounded()
    {
        const QString path = newDatabase();
        Database db;
        db.open(path, schema::databasePassword());
        try {
            notesfile::importFromFile(db, QStringLiteral("/dev/zero"));
            QFAIL("/dev/zero was taken");
        } catch (const RamuxError &e) {
            QVERIFY2(e.message().contains(u("слишком большой")), qPrintable(e.message()));
        }
        notesfile::importNotes(db, notesJson({record(1, u("до") + QChar(0) + u("после\tтаб"), true,
                                                     QStringLiteral("2030-01-01T00:00:00Z"))}));
        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                            {QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("--db"), path},
                            &out),
                 0);
        QVERIFY2(!out.contains('\0'), out.toHex().constData());
        QCOMPARE(QString::fromUtf8(out), u("1\t1\tАльфа\tдо\\0после\\tтаб\n"));
    }

    void eachRunIsRecordedWithItsReason()
    {
        // A good run: every table read to the end, the items counted.
        SyncServer good(itemsServer("<ROW id=\"3\" last_update=\"5\"><name>Гамма</name></ROW>"
                                    "<ROW id=\"1\" last_update=\"6\"><name>Альфа 2</name></ROW>"
                                    "<ROW id=\"2\" last_update=\"7\" action=\"DELETE\"/>"));
        const QString path = newDatabase(good.address());
        Host host(path);
        {
            UpdateRun run(host);
            run.Execute();
        }
        Database db;
        db.open(path, schema::databasePassword());
        std::optional<RunRecord> last = runstatus::latestRun(db);
        QVERIFY(last && last->succeeded);
        QCOMPARE(last->products.added, 1);
        QCOMPARE(last->products.changed, 1);
        QCOMPARE(last->products.deleted, 1);
        QCOMPARE(last->groups.total(), 0);
        QVERIFY(qAbs(last->when.secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(runstatus::statusLine(last),
                 u("Данные обновлены: %1, изменено препаратов: 3").arg(last->when.toString(QStringLiteral("dd.MM.yyyy HH:mm"))));

        const auto lastReason = [&](const QString &server) {
            Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1"));
            st.bind(1, server);
            st.run();
            UpdateRun run(host);
            run.Execute();
            const std::optional<RunRecord> r = runstatus::latestRun(db);
            return r && !r->succeeded ? r->reason : QStringLiteral("(succeeded)");
        };
        SyncServer failing([](const QMap<QString, QString> &) { return failEnvelope(5, "internal"); });
        QCOMPARE(lastReason(failing.address()), u("ошибка сервера 5"));
        SyncServer foreign([](const QMap<QString, QString> &) { return QByteArray("<html><body>proxy login</body></html>"); });
        QCOMPARE(lastReason(foreign.address()), u("ответ сервера не распознан"));
        SyncServer garbage([](const QMap<QString, QString> &) { return QByteArray("Service Unavailable"); });
        QCOMPARE(lastReason(garbage.address()), u("ответ сервера не распознан"));
        QCOMPARE(lastReason(QStringLiteral("http://127.0.0.1:9/api.php")), u("сервер недоступен"));
        // After failures the line still dates the data: the first run's end, the last that succeeded.
        const QString dataAsOf = last->when.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        last = runstatus::latestRun(db);
        QCOMPARE(runstatus::statusLine(last), u("Последняя попытка обновления %1 не удалась: сервер недоступен. Данные от %2")
                                                  .arg(last->when.toString(QStringLiteral("dd.MM.yyyy HH:mm")), dataAsOf));
        QCOMPARE(runstatus::statusLine(std::nullopt), u("Данные ещё не обновлялись"));

        // However many failures follow, the success that dates the data is kept.
        RunRecord failed;
        failed.when = QDateTime(QDate(2026, 12, 9), QTime(22, 49), Qt::OffsetFromUTC, 3 * 3600);
        failed.reason = runstatus::serverUnreachable();
        for (int i = 0; i < 120; ++i)
            runstatus::recordRun(db, failed);
        QCOMPARE(runstatus::statusLine(db),
                 u("Последняя попытка обновления 09.12.2026 22:49 не удалась: сервер недоступен. Данные от %1").arg(dataAsOf));
        Statement count = db.prepare(QStringLiteral("SELECT count(*) FROM user_update_runs"));
        QVERIFY(count.step());
        QCOMPARE(count.int64(0), 51);

        // A reference never updated says so after its failure.
        Database fresh;
        fresh.open(newDatabase(), schema::databasePassword());
        runstatus::recordRun(fresh, failed);
        QCOMPARE(runstatus::statusLine(fresh),
                 u("Последняя попытка обновления 09.12.2026 22:49 не удалась: сервер недоступен. Данные ещё не обновлялись"));
    }

    void hostileAnswerNamingTheUserTablesChangesNothingInThem()
    {
        SyncServer hostile(itemsServer(
            "<ROW id=\"1\" last_update=\"5\"><name>Альфа</name><note>взлом</note><favourite>0</favourite>"
            "<item_id>2</item_id><last_name>x</last_name><changed>2099-01-01T00:00:00Z</changed>"
            "<user_items>1</user_items><NOTE>взлом</NOTE></ROW>"
            "<ROW id=\"77\" last_update=\"6\"><item_id>1</item_id><note>новая</note></ROW>"));
        const QString path = newDatabase(hostile.address());
        QStringList before;
        {
            Database db;
            db.open(path, schema::databasePassword());
            userdata::ensureTables(db);
            userdata::setFavourite(db, 1, true);
            userdata::setNote(db, 1, u("моя заметка"));
            userdata::setNote(db, 2, u("вторая"));
            before = userRows(db);
        }
        Host host(path);
        UpdateRun run(host);
        run.Execute();
        QCOMPARE(run.fields.AddedCount, 1); // the page itself was applied

        Database db;
        db.open(path, schema::databasePassword());
        QCOMPARE(userRows(db), before);
        QCOMPARE(db.columns(QStringLiteral("items")).contains(QStringLiteral("note"), Qt::CaseInsensitive), false);
        QCOMPARE(userdata::referenceName(db, 77).value_or(QStringLiteral("absent")), QString()); // came in bare
    }
};

QTEST_GUILESS_MAIN(TestUserData)
#include "tst_userdata.moc"
