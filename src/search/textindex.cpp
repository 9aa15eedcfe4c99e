#include "search/textindex.h"

#include "db/sqlitedb.h"
#include "search/indexrow.h"
#include "search/plaintext.h"
#include "search/storedrow.h"
#include "search/termwords.h"
#include "search/textfold.h"

#include <QSet>
#include <limits>

namespace textindex {

namespace {

using namespace indexstate;

const QString kTable = indexTable();
const QString kStateTable = stateTable();

using detail::forEachStoredTerm;
using detail::itemColumnSql;
const QString kTermsTable = detail::termsTable();
const QString kFieldsView = detail::fieldsView();

QString itemFieldsSql(Database &db)
{
    QStringList parts;
    for (const QString &field : fieldColumns())
        parts << itemColumnSql(db, field);
    return parts.join(QLatin1String(", "));
}

QString nonNull(const QString &text)
{
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// Calls `f(term)` for the terms of a plain text, at least once each (a repeated word is
// stemmed once), and for a number with a word right after it ("10 мл"), their pair term. The
// text is folded whole, so the words are views into one string.
template <typename F> void forEachTerm(QStringView plain, Stemmer &stemmer, F &&f)
{
    const QString folded = textfold::fold(plain);
    const QStringView text(folded);
    QSet<QStringView> seen, seenPairs;
    qsizetype numberStart = 0, numberEnd = -1;
    termwords::forEach(text, [&](qsizetype start, qsizetype length, termwords::Kind kind) {
        const QStringView word = text.mid(start, length);
        if (kind == termwords::Kind::Number) {
            numberStart = start;
            numberEnd = start + length;
        } else if (numberEnd >= 0) {
            if (termwords::sideBySide(text, numberEnd, start)) {
                const QStringView pair = text.mid(numberStart, start + length - numberStart);
                if (!seenPairs.contains(pair)) {
                    seenPairs.insert(pair);
                    const QString term = stemming::pairTerm(
                        stemmer.term(text.mid(numberStart, numberEnd - numberStart).toString()),
                        stemmer.term(word.toString(), true));
                    if (!term.isEmpty())
                        f(term);
                }
            }
            numberEnd = -1;
        }
        if (seen.contains(word))
            return;
        seen.insert(word);
        const QString term = stemmer.term(word.toString());
        if (!term.isEmpty())
            f(term);
    });
}

QString fieldList()
{
    return fieldColumns().join(QLatin1String(", "));
}

void createTables(Database &db)
{
    // One row per product: its terms, each once (folded and stemmed here, so the plain
    // tokenizer only splits at the spaces), one column per field, so that the term index itself
    // tells which fields hold a word and ranking never reads a row. The terms are stored once,
    // packed, beside it; the full-text table reads its columns from them through a view only
    // to forget a product's old terms. Latin words are matched by their beginning through the
    // term index itself; a prefix index would double the file's growth for them alone.
    db.exec(
        QStringLiteral("CREATE TABLE %1 (docid INTEGER PRIMARY KEY, row BLOB NOT NULL)").arg(kTermsTable));
    QStringList columns;
    for (int f = 0; f < fieldCount(); ++f)
        columns << QStringLiteral("search_field_terms(row, %1) AS %2").arg(f).arg(fieldColumns().at(f));
    db.exec(QStringLiteral("CREATE VIEW %1 AS SELECT docid AS rowid, %2 FROM %3")
                .arg(kFieldsView, columns.join(QLatin1String(", ")), kTermsTable));
    db.exec(QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts4(%2, tokenize=simple, content=\"%3\")")
                .arg(kTable, fieldList(), kFieldsView));
    createStateTable(db);
}

// The terms of one product with the fields holding each, in first-seen order.
class ProductTerms
{
public:
    ProductTerms() { m_at.reserve(512); }
    void add(const QString &term, int field)
    {
        const FieldMask bit = FieldMask(1u << field);
        auto it = m_at.constFind(term);
        if (it != m_at.constEnd()) {
            m_masks[*it] |= bit;
            return;
        }
        m_at.insert(term, int(m_terms.size()));
        m_terms << term;
        m_masks << bit;
    }
    // Field masks are spelled one letter a field: the first lower-case, the others upper-case,
    // so a lower-case letter starts the next term's mask.
    QString termsText() const { return m_terms.join(QLatin1Char(' ')); }
    QString fieldsText() const
    {
        QString out;
        out.reserve(m_masks.size() * 2);
        for (FieldMask mask : m_masks) {
            bool first = true;
            for (int f = 0; f < fieldCount(); ++f) {
                if (!(mask & (1u << f)))
                    continue;
                out += QChar(char16_t((first ? u'a' : u'A') + f));
                first = false;
            }
        }
        return out;
    }

private:
    QStringList m_terms;
    QVector<FieldMask> m_masks;
    QHash<QString, int> m_at;
};

void reset(Database &db)
{
    Transaction tx(db);
    db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kTable));
    db.exec(QStringLiteral("DROP VIEW IF EXISTS %1").arg(kFieldsView));
    db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kTermsTable));
    db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kStateTable));
    createTables(db);
    tx.commit();
}

qint64 countOf(Database &db, const QString &sql, std::optional<qint64> bound = std::nullopt)
{
    Statement st = db.prepare(sql);
    if (bound)
        st.bind(1, *bound);
    return st.step() ? st.int64(0) : 0;
}

} // namespace

const QStringList &fieldColumns()
{
    static const QStringList columns = {
        QStringLiteral("description"),       QStringLiteral("form"),
        QStringLiteral("effect"),            QStringLiteral("prescriptions"),
        QStringLiteral("dose"),              QStringLiteral("side_effects"),
        QStringLiteral("contra_indication"), QStringLiteral("special_conditions"),
        QStringLiteral("storage_instructions")};
    return columns;
}

int fieldCount()
{
    return int(fieldColumns().size());
}

QString fieldHeading(int field)
{
    static const QStringList headings = {
        QStringLiteral("Описание"),          QStringLiteral("Форма выпуска:"),
        QStringLiteral("Фармакологические свойства:"), QStringLiteral("Показания:"),
        QStringLiteral("Дозы и способ применения:"),   QStringLiteral("Побочные действия:"),
        QStringLiteral("Противопоказания:"), QStringLiteral("Особые указания:"),
        QStringLiteral("Условия хранения:")};
    return field >= 0 && field < headings.size() ? headings.at(field) : QString();
}

Writer::Writer(Database &db) : m_db(db)
{
    detail::registerViewFunction(db);
    refresh();
}

bool Writer::refresh()
{
    m_active = state(m_db) != State::Missing;
    return m_active;
}

Writer::~Writer() = default;

void Writer::remove(qint64 itemId)
{
    if (!m_active)
        return;
    // The full-text table forgets the terms its view reads from the stored row, so the row goes
    // second. A damaged row's terms cannot be forgotten: the index is rebuilt after this run.
    bool damaged = false;
    detail::readRow(storedRow(), itemId, &damaged);
    if (damaged)
        markStale(m_db);
    if (!m_delete) {
        m_delete = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE docid = ?1").arg(kTable)));
        m_deleteStored = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE docid = ?1").arg(kTermsTable)));
    }
    for (Statement *st : {m_delete.get(), m_deleteStored.get()}) {
        st->reset();
        st->bind(1, itemId);
        st->run();
    }
}

Statement &Writer::storedRow()
{
    if (!m_stored)
        m_stored = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("SELECT row FROM %1 WHERE docid = ?1").arg(kTermsTable)));
    return *m_stored;
}

Statement &Writer::readItem(qint64 itemId)
{
    if (!m_read)
        m_read = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("SELECT %1 FROM items WHERE id = ?1 ORDER BY rowid LIMIT 1")
                             .arg(itemFieldsSql(m_db))));
    m_read->reset();
    m_read->bind(1, itemId);
    return *m_read;
}

FieldMask Writer::changedFields(qint64 itemId, const std::vector<std::pair<QString, QString>> &values)
{
    if (!m_active)
        return 0;
    QVector<std::pair<int, const QString *>> fields;
    for (const auto &value : values) {
        for (int f = 0; f < fieldCount(); ++f)
            if (value.first.compare(fieldColumns().at(f), Qt::CaseInsensitive) == 0)
                fields.push_back({f, &value.second});
    }
    if (fields.isEmpty())
        return 0;
    Statement &read = readItem(itemId);
    FieldMask changed = 0;
    if (!read.step()) {
        changed = kAllFields;
    } else {
        for (const auto &[f, value] : fields)
            if (read.text(f) != *value)
                changed |= FieldMask(1u << f);
    }
    read.reset();
    return changed;
}

void Writer::reindex(qint64 itemId, FieldMask changed)
{
    if (!m_active || changed == 0)
        return;
    ProductTerms terms;
    if ((changed & kAllFields) != kAllFields) {
        // The unchanged fields keep their stored terms; a missing or damaged row is made anew.
        bool kept = false;
        if (const std::optional<detail::StoredRow> stored = detail::readRow(storedRow(), itemId)) {
            kept = forEachStoredTerm(stored->terms, stored->fields, [&](QStringView term, FieldMask mask) {
                const FieldMask keep = mask & ~changed;
                const QString text = keep ? term.toString() : QString();
                for (int f = 0; f < fieldCount(); ++f)
                    if (keep & (1u << f))
                        terms.add(text, f);
            });
        }
        if (!kept) {
            terms = ProductTerms();
            changed = kAllFields;
        }
    }
    remove(itemId);
    Statement &read = readItem(itemId);
    if (!read.step()) {
        read.reset();
        return; // the product is gone; so is its row
    }
    for (int f = 0; f < fieldCount(); ++f) {
        if (!(changed & (1u << f)))
            continue;
        const QString packed = read.text(f);
        if (!packed.isEmpty())
            forEachTerm(packedToPlainText(packed), m_stemmer,
                        [&](const QString &term) { terms.add(term, f); });
    }
    read.reset();
    if (!m_insert) {
        m_insertStored = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("INSERT INTO %1 (docid, row) VALUES (?1, ?2)").arg(kTermsTable)));
        QStringList values;
        for (int f = 0; f < fieldCount(); ++f)
            values << QStringLiteral("?%1").arg(f + 2);
        m_insert = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("INSERT INTO %1 (docid, %2) VALUES (?1, %3)")
                             .arg(kTable, fieldList(), values.join(QLatin1String(", ")))));
    }
    const detail::StoredRow stored{terms.termsText(), terms.fieldsText()};
    m_insertStored->reset();
    m_insertStored->bind(1, itemId);
    m_insertStored->bindBlob(2, detail::packRow(stored));
    m_insertStored->run();
    // The columns are what the view reads back from the stored row, so a product's terms are
    // always forgotten exactly as they were written.
    m_insert->reset();
    m_insert->bind(1, itemId);
    const std::vector<QString> fieldTerms = detail::allFieldTerms(stored);
    for (int f = 0; f < fieldCount(); ++f)
        m_insert->bind(f + 2, nonNull(fieldTerms[size_t(f)]));
    m_insert->run();
}

int build(Database &db, const std::function<void(int, int)> &progress, const std::function<bool()> &stop)
{
    if (!needsBuild(db))
        return 0;
    // An unfinished build goes on, unless its state row predates positions. One that has not
    // begun starts from empty tables: a stale index may hold terms no stored row names.
    const StateRow begun = readState(db);
    if (state(db) != State::Building || !begun.position || begun.nextId == kNoId)
        reset(db);
    Writer writer(db);
    int indexed = 0;
    for (;;) {
        if (stop && stop())
            return indexed;
        const qint64 nextId = readState(db).nextId;
        if (progress) {
            const qint64 total =
                countOf(db, QStringLiteral("SELECT count(*) FROM items WHERE id IS NOT NULL"));
            const qint64 done =
                countOf(db, QStringLiteral("SELECT count(*) FROM items WHERE id <= ?1"), nextId);
            progress(int(done), int(total));
        }
        Transaction tx(db);
        // Inside the batch's transaction: the position the rows written so far are current
        // with must still be the file's, else products changed behind the index's back (sync
        // pages keep it current between batches) and what was indexed is redone.
        const StateRow row = readState(db);
        const qint64 position = itemsPosition(db);
        if (!row.present)
            return indexed; // dropped by another writer meanwhile; the next call starts anew
        const qint64 from = row.position == position ? row.nextId : kNoId;
        Statement ids = db.prepare(QStringLiteral("SELECT id FROM items WHERE id > ?1 AND id IS NOT NULL"
                                                  " GROUP BY id ORDER BY id LIMIT %1")
                                       .arg(kBatchSize));
        ids.bind(1, from);
        QVector<qint64> batch;
        while (ids.step())
            batch.push_back(ids.int64(0));
        for (qint64 id : batch)
            writer.reindex(id);
        indexed += int(batch.size());
        const bool last = batch.size() < kBatchSize;
        if (last) {
            // Rows of products deleted while the build was under way.
            for (const QString &table : {kTable, kTermsTable})
                db.exec(QStringLiteral(
                            "DELETE FROM %1 WHERE docid NOT IN (SELECT id FROM items WHERE id IS NOT NULL)")
                            .arg(table));
        }
        recordBatch(db, batch.isEmpty() ? from : batch.back(), last, position);
        tx.commit();
        if (last)
            return indexed;
    }
}

int rebuild(Database &db, const std::function<void(int, int)> &progress)
{
    reset(db);
    return build(db, progress);
}

} // namespace textindex
