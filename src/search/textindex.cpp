#include "search/textindex.h"

#include "db/sqlitedb.h"
#include "search/indexrow.h"
#include "search/plaintext.h"
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

void createTables(Database &db)
{
    // One row per product: its terms, each once (folded and stemmed here, so the plain
    // tokenizer only splits at the spaces), and beside them, not indexed, which of the nine
    // fields hold each term. Latin words are matched by their beginning through the term
    // index itself; a prefix index would double the file's growth for them alone.
    db.exec(QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts4(terms, fields, tokenize=simple, notindexed=fields)")
                .arg(kTable));
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
    if (!m_delete)
        m_delete = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE docid = ?1").arg(kTable)));
    m_delete->reset();
    m_delete->bind(1, itemId);
    m_delete->run();
}

Statement &Writer::readItem(qint64 itemId)
{
    if (!m_read)
        m_read = std::make_unique<Statement>(m_db.prepare(
            QStringLiteral("SELECT %1 FROM items WHERE id = ?1 ORDER BY rowid LIMIT 1").arg(itemFieldsSql(m_db))));
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
        if (!m_stored)
            m_stored = std::make_unique<Statement>(
                m_db.prepare(QStringLiteral("SELECT terms, fields FROM %1 WHERE docid = ?1").arg(kTable)));
        m_stored->reset();
        m_stored->bind(1, itemId);
        bool kept = false;
        if (m_stored->step()) {
            const QString storedTerms = m_stored->text(0), storedFields = m_stored->text(1);
            kept = forEachStoredTerm(storedTerms, storedFields, [&](QStringView term, FieldMask mask) {
                const FieldMask keep = mask & ~changed;
                const QString text = keep ? term.toString() : QString();
                for (int f = 0; f < fieldCount(); ++f)
                    if (keep & (1u << f))
                        terms.add(text, f);
            });
        }
        m_stored->reset();
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
            forEachTerm(packedToPlainText(packed), m_stemmer, [&](const QString &term) { terms.add(term, f); });
    }
    read.reset();
    if (!m_insert)
        m_insert = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("INSERT INTO %1 (docid, terms, fields) VALUES (?1, ?2, ?3)").arg(kTable)));
    m_insert->reset();
    m_insert->bind(1, itemId);
    m_insert->bind(2, nonNull(terms.termsText()));
    m_insert->bind(3, nonNull(terms.fieldsText()));
    m_insert->run();
}

int build(Database &db, const std::function<void(int, int)> &progress, const std::function<bool()> &stop)
{
    if (!needsBuild(db))
        return 0;
    // An unfinished build goes on, unless its state row predates positions.
    if (state(db) != State::Building || !readState(db).position)
        reset(db);
    Writer writer(db);
    int indexed = 0;
    for (;;) {
        if (stop && stop())
            return indexed;
        const qint64 nextId = readState(db).nextId;
        if (progress) {
            const qint64 total = countOf(db, QStringLiteral("SELECT count(*) FROM items WHERE id IS NOT NULL"));
            const qint64 done = countOf(db, QStringLiteral("SELECT count(*) FROM items WHERE id <= ?1"), nextId);
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
            db.exec(QStringLiteral("DELETE FROM %1 WHERE docid NOT IN (SELECT id FROM items WHERE id IS NOT NULL)")
                        .arg(kTable));
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
