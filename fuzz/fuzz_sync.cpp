// A get_table page from the server applied to a scratch reference database, through the real
// path (envelope, page reader, TableSync), with the page also read through a DOM, which must
// give the same rows. The first input byte picks the table. After every page the
// file passes its integrity check; a page that stops short leaves the table's position where it
// was; a complete page stores its newest stamp, and the table then holds exactly what the rows
// said, row for row.
#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "update/serverrequest.h"
#include "update/syncapply.h"
#include "update/syncpage.h"

#include <QDomDocument>
#include <QTemporaryDir>

#include <cstdlib>
#include <map>
#include <memory>

namespace {

constexpr qint64 startPosition = 4242;

struct Scratch
{
    QTemporaryDir dir;
    Database db;
    std::map<QString, std::unique_ptr<TableSync>> syncs;

    Scratch()
    {
        if (!dir.isValid())
            std::abort();
        const QString path = dir.filePath(QStringLiteral("fuzz.rxd"));
        db.open(path, schema::databasePassword(), Database::OpenMode::Create);
        schema::createSchema(db);
        // Durability is not under test; each page's commit would otherwise wait for the disk.
        db.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    }

    // One TableSync per table for the whole run, as the update run keeps one per table.
    TableSync &sync(const QString &table, bool counted)
    {
        auto &slot = syncs[table];
        if (!slot)
            slot = std::make_unique<TableSync>(db, table, counted);
        return *slot;
    }
};

Scratch &scratch()
{
    static Scratch *instance = new Scratch; // left alive: the fuzzer ends the process
    return *instance;
}

QString text(Database &db, const QString &sql)
{
    Statement st = db.prepare(sql);
    return st.step() ? st.text(0) : QString();
}

// What a table should hold after a complete page, read independently of the apply code: the
// later row for an id wins, a field named twice keeps its later value, DELETE removes the id.
struct Expected
{
    bool present = false;
    std::map<QString, QString> fields; // declared column -> value
};

bool sameRow(const PageRowText &a, const PageRowText &b)
{
    if (a.isElement != b.isElement || a.id != b.id || a.lastUpdate != b.lastUpdate || a.action != b.action
        || a.fields.size() != b.fields.size())
        return false;
    for (size_t i = 0; i < a.fields.size(); ++i) {
        if (a.fields[i] != b.fields[i] || a.fields[i].second.isNull() != b.fields[i].second.isNull())
            return false;
    }
    return true;
}

bool samePage(const SyncPageText &a, const SyncPageText &b)
{
    if (a.hasTable != b.hasTable || a.detailsText != b.detailsText || a.detailsUrl != b.detailsUrl
        || a.nodes != b.nodes || a.rows.size() != b.rows.size())
        return false;
    for (size_t i = 0; i < a.rows.size(); ++i) {
        if (!sameRow(a.rows[i], b.rows[i]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QStringList &tables = schema::dataTables();
    const int index = data[0] % int(tables.size());
    const QString &table = tables.at(index);
    const QByteArray body(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    EnvelopeResult envelope;
    try {
        envelope = parseEnvelope(body);
    } catch (const XmlAnswerError &) {
        return 0;
    }
    if (envelope.code != 0)
        return 0;
    const std::optional<SyncPageText> streamed = readSyncPage(envelope.answer);
    QDomDocument document;
    if (!streamed || !document.setContent(envelope.answer, false))
        std::abort(); // the envelope hands on well-formed markup only
    const QDomElement page = document.documentElement().firstChildElement(QStringLiteral("TABLE"));
    // The streaming reader and the DOM read every page alike.
    if (!samePage(*streamed, syncPageFromElement(page)))
        std::abort();
    if (page.isNull() || !page.hasChildNodes())
        return 0;

    Scratch &s = scratch();
    Database &db = s.db;
    // Each input starts from an empty table at a known position.
    db.exec(QStringLiteral("DELETE FROM %1").arg(quoteIdentifier(table)));
    writeTablePosition(db, table, startPosition);

    TableSync &sync = s.sync(table, index < 5);
    const PageOutcome outcome = sync.applyPage(*streamed);

    if (text(db, QStringLiteral("PRAGMA integrity_check")) != QLatin1String("ok"))
        std::abort();
    const qint64 position = readTablePosition(db, table);
    if (outcome.rows != page.childNodes().count())
        std::abort();
    if (outcome.applied + outcome.skipped > outcome.rows || outcome.newest < 0)
        std::abort();
    if (!outcome.complete) {
        if (position != startPosition || outcome.error.isEmpty())
            std::abort();
        return 0;
    }
    if (position != outcome.newest || !outcome.error.isEmpty())
        std::abort();

    std::map<qint64, Expected> expected;
    int withId = 0;
    for (QDomNode node = page.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (!node.isElement())
            continue;
        const SyncRow row = sync.readRow(node.toElement());
        if (!row.id)
            continue;
        ++withId;
        Expected &e = expected[*row.id];
        if (row.isDelete) {
            e = Expected();
            continue;
        }
        if (!e.present)
            e.fields.clear();
        e.present = true;
        for (const auto &[column, value] : row.fields) {
            if (column.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                std::abort(); // a field must never move a row
            e.fields[column] = value;
        }
    }
    if (outcome.applied != withId)
        std::abort();

    qint64 present = 0;
    for (const auto &[id, e] : expected) {
        if (!e.present)
            continue;
        ++present;
        for (const auto &[column, value] : e.fields) {
            // Integer columns store numbers by affinity; text columns keep the value exactly.
            if (column.endsWith(QLatin1String("_id"), Qt::CaseInsensitive))
                continue;
            Statement st = db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?1")
                                          .arg(quoteIdentifier(column), quoteIdentifier(table)));
            st.bind(1, id);
            if (!st.step() || st.text(0) != value)
                std::abort();
        }
    }
    if (text(db, QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdentifier(table))).toLongLong() != present)
        std::abort();
    return 0;
}
