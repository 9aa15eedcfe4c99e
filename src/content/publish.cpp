// Publishing sources into a content database.
#include "content/publish.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/sourcereader.h"
#include "content/publishguard.h"
#include "content/structuredpublish.h"
#include "db/schema.h"
#include "search/textindex.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <map>
#include <memory>
#include <sqlcipher/sqlite3.h>

namespace {

const QString kCounterKey = QStringLiteral("stamp_counter");

class Applier
{
public:
    Applier(Database &db, bool dryRun) : m_db(db), m_dryRun(dryRun)
    {
        // The text index in the file (the web reader's search) follows every product change in
        // the same transaction; a file without one stays without (ramuxctl index --content).
        if (!dryRun)
            m_index = std::make_unique<textindex::Writer>(db);
        Statement st = m_db.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?1"));
        st.bind(1, kCounterKey);
        m_counter = st.step() ? st.text(0).toLongLong() : 0;
        // Above every stamp in the file, whatever the counter says.
        for (const QString &table : schema::servedTables()) {
            if (!m_db.hasTable(table))
                continue;
            Statement high = m_db.prepare(QStringLiteral("SELECT coalesce(max(last_update), 0) FROM %1").arg(quoteIdentifier(table)));
            high.step();
            m_counter = std::max(m_counter, high.int64(0));
        }
        Statement tombs = m_db.prepare(QStringLiteral("SELECT coalesce(max(last_update), 0) FROM tombstones"));
        tombs.step();
        m_counter = std::max(m_counter, tombs.int64(0));
    }

    void update(const ContentTable &t, qint64 id, const std::vector<int> &columns, const ContentRow &from)
    {
        if (m_dryRun)
            return;
        QString shape = QStringLiteral("U:") + t.name;
        for (int c : columns)
            shape += QLatin1Char(':') + QString::number(c);
        Statement &st = statement(shape, [&] {
            QString sets = QStringLiteral("last_update = ?1");
            for (size_t i = 0; i < columns.size(); ++i)
                sets += QStringLiteral(", %1 = ?%2").arg(quoteIdentifier(t.columns.at(columns[i]))).arg(i + 3);
            return QStringLiteral("UPDATE %1 SET %2 WHERE id = ?2").arg(quoteIdentifier(t.name), sets);
        });
        st.bind(1, ++m_counter).bind(2, id);
        for (size_t i = 0; i < columns.size(); ++i)
            st.bind(int(i) + 3, from.values.value(columns[i]));
        st.run();
        st.reset();
        if (t.name == QLatin1String("items")) {
            textindex::FieldMask changed = 0;
            for (int c : columns) {
                const qsizetype field = textindex::fieldColumns().indexOf(t.columns.at(c).toLower());
                if (field >= 0)
                    changed |= textindex::FieldMask(1u << field);
            }
            m_index->reindex(id, changed);
        }
    }

    void insert(const ContentTable &t, qint64 id, const QList<FieldValue> &values)
    {
        if (m_dryRun)
            return;
        Statement &st = statement(QStringLiteral("I:") + t.name, [&] {
            QString names = QStringLiteral("id, last_update");
            QString marks = QStringLiteral("?1, ?2");
            for (int i = 0; i < t.columns.size(); ++i) {
                names += QStringLiteral(", ") + quoteIdentifier(t.columns.at(i));
                marks += QStringLiteral(", ?%1").arg(i + 3);
            }
            return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoteIdentifier(t.name), names, marks);
        });
        st.bind(1, id).bind(2, ++m_counter);
        for (int i = 0; i < t.columns.size(); ++i)
            st.bind(i + 3, values.value(i));
        st.run();
        st.reset();
        // A row added again under its old id is no longer deleted.
        Statement &drop = statement(QStringLiteral("T-"), [] {
            return QStringLiteral("DELETE FROM tombstones WHERE tbl = ?1 AND id = ?2");
        });
        drop.bind(1, t.name).bind(2, id);
        drop.run();
        drop.reset();
        if (t.name == QLatin1String("items"))
            m_index->reindex(id);
    }

    void remove(const ContentTable &t, qint64 id)
    {
        if (m_dryRun)
            return;
        Statement &del = statement(QStringLiteral("D:") + t.name, [&] {
            return QStringLiteral("DELETE FROM %1 WHERE id = ?1").arg(quoteIdentifier(t.name));
        });
        del.bind(1, id);
        del.run();
        del.reset();
        Statement &tomb = statement(QStringLiteral("T+"), [] {
            return QStringLiteral("INSERT OR REPLACE INTO tombstones (tbl, id, last_update) VALUES (?1, ?2, ?3)");
        });
        tomb.bind(1, t.name).bind(2, id).bind(3, ++m_counter);
        tomb.run();
        tomb.reset();
        if (t.name == QLatin1String("items"))
            m_index->remove(id);
    }

    void setMeta(const QString &key, const std::optional<QString> &value)
    {
        if (m_dryRun)
            return;
        Statement st = m_db.prepare(value ? QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)")
                                          : QStringLiteral("DELETE FROM meta WHERE key = ?1"));
        st.bind(1, key);
        if (value)
            st.bind(2, *value);
        st.run();
    }

    void finish()
    {
        setMeta(kCounterKey, QString::number(m_counter));
    }

    // Highest id a table has used, deleted rows included: a new link row never takes an old id.
    qint64 highestId(const QString &table)
    {
        Statement st = m_db.prepare(QStringLiteral("SELECT max(coalesce((SELECT max(id) FROM %1), 0),"
                                                   " coalesce((SELECT max(id) FROM tombstones WHERE tbl = ?1), 0))")
                                        .arg(quoteIdentifier(table)));
        st.bind(1, table);
        st.step();
        return st.int64(0);
    }

private:
    template <typename F> Statement &statement(const QString &key, F &&sql)
    {
        auto it = m_statements.find(key);
        if (it == m_statements.end())
            it = m_statements.emplace(key, m_db.prepare(sql())).first;
        return it->second;
    }

    Database &m_db;
    bool m_dryRun;
    std::unique_ptr<textindex::Writer> m_index;
    qint64 m_counter = 0;
    std::map<QString, Statement> m_statements;
};

// Rows keyed by id: changed fields, new rows, rows the sources no longer have.
TableChanges compareById(const ContentTable &wanted, const ContentTable &current, Applier &apply)
{
    TableChanges changes{wanted.name};
    QHash<qint64, const ContentRow *> have;
    for (const ContentRow &row : current.rows)
        have.insert(row.id, &row);
    QSet<qint64> kept;
    for (const ContentRow &row : wanted.rows) {
        kept.insert(row.id);
        const auto it = have.constFind(row.id);
        if (it == have.constEnd()) {
            apply.insert(wanted, row.id, row.values);
            ++changes.added;
            continue;
        }
        std::vector<int> differing;
        for (int i = 0; i < wanted.columns.size(); ++i) {
            if (row.values.value(i) != (*it)->values.value(i))
                differing.push_back(i);
        }
        if (!differing.empty()) {
            // An emptied field becomes NULL: that is how a client learns it was cleared.
            apply.update(wanted, row.id, differing, row);
            ++changes.changed;
        }
    }
    for (const ContentRow &row : current.rows) {
        if (!kept.contains(row.id)) {
            apply.remove(current, row.id);
            ++changes.deleted;
        }
    }
    return changes;
}

// Link rows keyed by their pair (product, target): an existing pair keeps its id, so rows
// that did not change are never rewritten. Clients list a product's links by id, so when the
// order written differs from the order the ids would give, that product's rows are written
// again in the written order under new ids (tombstones for the old).
TableChanges compareLinks(const ContentTable &wanted, const ContentTable &current, const QString &targetColumn,
                          Applier &apply)
{
    TableChanges changes{wanted.name};
    const int itemAt = wanted.columnIndex(QStringLiteral("item_id"));
    const int targetAt = wanted.columnIndex(targetColumn);
    auto pairOf = [&](const ContentRow &row, bool *ok) {
        bool a = false, b = false;
        const qint64 item = row.values.value(itemAt).value_or(QString()).toLongLong(&a);
        const qint64 target = row.values.value(targetAt).value_or(QString()).toLongLong(&b);
        *ok = a && b;
        return qMakePair(item, target);
    };
    using Link = std::pair<qint64, qint64>; // target, id
    std::vector<const ContentRow *> byId;
    for (const ContentRow &row : current.rows)
        byId.push_back(&row);
    std::sort(byId.begin(), byId.end(),
              [](const ContentRow *a, const ContentRow *b) { return a->id < b->id; });
    QHash<qint64, std::vector<Link>> have; // product -> its rows in id order, first row of each pair
    QSet<QPair<qint64, qint64>> seen;
    std::vector<qint64> extra; // duplicates, rows that are no pair at all, pairs gone or rewritten
    for (const ContentRow *row : byId) {
        bool ok = false;
        const auto pair = pairOf(*row, &ok);
        if (!ok || seen.contains(pair)) {
            extra.push_back(row->id);
            continue;
        }
        seen.insert(pair);
        have[pair.first].push_back({pair.second, row->id});
    }
    std::vector<qint64> products;                           // in the order written
    QHash<qint64, std::vector<const ContentRow *>> written; // product -> its rows, one per target
    QSet<QPair<qint64, qint64>> kept;
    for (const ContentRow &row : wanted.rows) {
        bool ok = false;
        const auto pair = pairOf(row, &ok);
        if (kept.contains(pair))
            continue;
        kept.insert(pair);
        if (!written.contains(pair.first))
            products.push_back(pair.first);
        written[pair.first].push_back(&row);
    }
    qint64 nextId = -1;
    for (qint64 product : products) {
        const std::vector<const ContentRow *> &rows = written[product];
        const std::vector<Link> old = have.take(product);
        QList<qint64> targets;
        for (const ContentRow *row : rows) {
            bool ok = false;
            targets.append(pairOf(*row, &ok).second);
        }
        // What clients would show without a rewrite: the kept rows by id, then the new ones.
        QSet<qint64> oldTargets;
        QList<qint64> shown;
        for (const Link &link : old) {
            oldTargets.insert(link.first);
            if (targets.contains(link.first))
                shown.append(link.first);
        }
        for (qint64 target : targets) {
            if (!oldTargets.contains(target))
                shown.append(target);
        }
        const bool rewrite = shown != targets;
        for (int i = 0; i < targets.size(); ++i) {
            if (!rewrite && oldTargets.contains(targets.at(i)))
                continue;
            if (nextId < 0)
                nextId = apply.highestId(wanted.name);
            apply.insert(wanted, ++nextId, rows[size_t(i)]->values);
            ++changes.added;
        }
        for (const Link &link : old) {
            if (rewrite || !targets.contains(link.first))
                extra.push_back(link.second);
        }
    }
    for (auto it = have.constBegin(); it != have.constEnd(); ++it) {
        for (const Link &link : it.value())
            extra.push_back(link.second);
    }
    std::sort(extra.begin(), extra.end());
    for (qint64 id : extra) {
        apply.remove(current, id);
        ++changes.deleted;
    }
    return changes;
}

TableChanges compareMeta(const QMap<QString, QString> &wanted, Database &db, Applier &apply)
{
    TableChanges changes{QStringLiteral("meta")};
    QStringList keys{QString::fromLatin1(contentmeta::Greeting)};
    for (const sourceformat::OfferKey &key : sourceformat::offerKeys())
        keys.append(QString::fromLatin1(key.meta));
    for (const QString &key : keys) {
        Statement st = db.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?1"));
        st.bind(1, key);
        std::optional<QString> have = st.step() ? st.optText(0) : std::nullopt;
        if (have && have->isEmpty())
            have.reset();
        const std::optional<QString> want =
            wanted.contains(key) && !wanted.value(key).isEmpty() ? std::optional<QString>(wanted.value(key)) : std::nullopt;
        if (have == want)
            continue;
        apply.setMeta(key, want);
        if (!have)
            ++changes.added;
        else if (!want)
            ++changes.deleted;
        else
            ++changes.changed;
    }
    return changes;
}

// Structured product rows, paired by product and place in the product's block.
TableChanges compareByItemOrder(const ContentTable &wanted, const ContentTable &current, Applier &apply)
{
    TableChanges changes{wanted.name};
    using Kind = structuredsource::RowChange::Kind;
    for (const auto &change :
         structuredsource::planByItemOrder(wanted, current, [&] { return apply.highestId(wanted.name); })) {
        switch (change.kind) {
        case Kind::Insert:
            apply.insert(wanted, change.id, change.from->values);
            ++changes.added;
            break;
        case Kind::Update:
            apply.update(wanted, change.id, change.columns, *change.from);
            ++changes.changed;
            break;
        case Kind::Remove:
            apply.remove(current, change.id);
            ++changes.deleted;
            break;
        }
    }
    return changes;
}

QString targetColumnOf(const QString &table)
{
    for (const sourceformat::LinkKind &kind : sourceformat::linkKinds()) {
        if (table == QLatin1String(kind.table))
            return QString::fromLatin1(kind.column);
    }
    return QString();
}

// False when the publish is refused (its reasons in report.errors) before anything changed.
bool compareAll(const ContentSet &wanted, ContentDatabase &content, Applier &apply, PublishReport &report,
                bool allowMassDelete)
{
    const ContentSet current = content.readAll();
    if (!allowMassDelete) {
        for (const MassDeletion &deletion : massDeletions(wanted, current))
            report.errors.append(massDeletionMessage(deletion));
        if (!report.errors.isEmpty())
            return false;
    }
    for (const ContentTable &t : wanted.tables) {
        const ContentTable *have = current.findTable(t.name);
        const QString target = targetColumnOf(t.name);
        if (structuredsource::isItemOrderTable(t.name)) {
            report.tables.push_back(compareByItemOrder(t, *have, apply));
            continue;
        }
        report.tables.push_back(target.isEmpty() ? compareById(t, *have, apply)
                                                 : compareLinks(t, *have, target, apply));
    }
    report.tables.push_back(compareMeta(wanted.meta, content.database(), apply));
    apply.finish();
    return true;
}

bool anyChange(const PublishReport &report)
{
    return std::any_of(report.tables.begin(), report.tables.end(),
                       [](const TableChanges &c) { return c.added + c.changed + c.deleted > 0; });
}

} // namespace

PublishReport publishSources(const QString &sourceDir, const QString &contentPath, const PublishOptions &options)
{
    PublishReport report;
    SourceProblems problems;
    ContentSet wanted = readSourceDir(sourceDir, problems, SourceChecks::Publish);
    report.errors = problems.errors;
    report.warnings = problems.warnings;
    if (!report.errors.isEmpty())
        return report;
    if (options.detailsText)
        wanted.meta.insert(QString::fromLatin1(contentmeta::DetailsText), *options.detailsText);
    if (options.detailsUrl)
        wanted.meta.insert(QString::fromLatin1(contentmeta::DetailsUrl), *options.detailsUrl);

    const bool created = !QFileInfo::exists(contentPath);
    try {
        if (created && options.dryRun) {
            // Nothing to compare with: every row and setting would be new.
            for (const ContentTable &t : wanted.tables)
                report.tables.push_back({t.name, int(t.rows.size()), 0, 0});
            TableChanges meta{QStringLiteral("meta")};
            for (auto it = wanted.meta.constBegin(); it != wanted.meta.constEnd(); ++it)
                meta.added += it.value().isEmpty() ? 0 : 1;
            report.tables.push_back(meta);
            return report;
        }
        if (created)
            ContentDatabase::create(contentPath, ContentSet::empty());
        ContentDatabase content(contentPath);
        Database &db = content.database();
        db.setBusyTimeout(std::max(0, options.lockWaitMs));
        if (created)
            textindex::build(db); // empty: the products come in below, each indexed as it is written
        else if (!options.dryRun && textindex::indexstate::readState(db).present && !textindex::isUsable(db))
            textindex::build(db); // an index of an older format or left unfinished: made anew once
        if (options.dryRun) {
            // One read snapshot, so the counts describe one state of the file.
            db.exec(QStringLiteral("BEGIN"));
            Applier apply(db, true);
            compareAll(wanted, content, apply, report, options.allowMassDelete);
            db.exec(QStringLiteral("ROLLBACK"));
            return report;
        }
        // The write lock first, then the comparison: a publish that waited for another one
        // compares with what that one left.
        Transaction tx(db);
        Applier apply(db, false);
        if (!compareAll(wanted, content, apply, report, options.allowMassDelete))
            return report; // refused: the transaction rolls back
        if (anyChange(report)) {
            contentindex::recordPublishTime(db);
            tx.commit();
            report.applied = true;
        }
    } catch (const DbError &e) {
        report.tables.clear();
        if (e.code() == SQLITE_BUSY || e.code() == SQLITE_LOCKED)
            report.errors.append(QStringLiteral("%1: файл занят другой публикацией; ничего не изменено").arg(contentPath));
        else
            report.errors.append(QStringLiteral("%1: %2; ничего не изменено").arg(contentPath, e.message()));
    } catch (const RamuxError &e) {
        report.tables.clear();
        report.errors.append(QStringLiteral("%1: %2; ничего не изменено").arg(contentPath, e.message()));
    }
    if (created && !report.applied && !report.errors.isEmpty()) {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(contentPath + QString::fromLatin1(suffix));
    }
    return report;
}
