#include "search/textindex.h"

#include "db/sqlitedb.h"
#include "search/plaintext.h"
#include "search/textfold.h"

#include <QSet>
#include <limits>

namespace textindex {

namespace {

using namespace indexstate;

const QString kTable = indexTable();
const QString kStateTable = stateTable();

// The columns of items the fields come from, as the table may spell them.
QString itemColumnSql(Database &db, const QString &field)
{
    const std::optional<QString> real = db.findColumn(QStringLiteral("items"), field);
    return real ? quoteIdentifier(*real) : QStringLiteral("NULL");
}

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
// stemmed once). The text is folded whole, so the words are views into one string.
template <typename F> void forEachTerm(QStringView plain, Stemmer &stemmer, F &&f)
{
    const QString folded = textfold::fold(plain);
    QSet<QStringView> seen;
    textfold::forEachWord(folded, [&](qsizetype start, qsizetype length) {
        const QStringView word = QStringView(folded).mid(start, length);
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

// Calls `f(term, mask)` for every term of a stored row. False when the two columns disagree
// (a damaged row): what was read before the fault has been passed on.
template <typename F> bool forEachStoredTerm(QStringView terms, QStringView fields, F &&f)
{
    qsizetype at = 0, fieldAt = 0;
    const qsizetype n = terms.size();
    while (at < n) {
        qsizetype end = terms.indexOf(u' ', at);
        if (end < 0)
            end = n;
        if (end > at) {
            if (fieldAt >= fields.size())
                return false;
            const char16_t lead = fields[fieldAt].unicode();
            if (lead < u'a' || lead > u'i')
                return false;
            FieldMask mask = FieldMask(1u << (lead - u'a'));
            for (++fieldAt; fieldAt < fields.size(); ++fieldAt) {
                const char16_t c = fields[fieldAt].unicode();
                if (c < u'A' || c > u'I')
                    break;
                mask |= FieldMask(1u << (c - u'A'));
            }
            f(terms.mid(at, end - at), mask);
        }
        at = end + 1;
    }
    return fieldAt == fields.size();
}

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

bool TermQuery::matches(int i, QStringView stored) const
{
    return prefix.at(i) ? stored.startsWith(terms.at(i)) : stored == terms.at(i);
}

TermQuery prepareTerms(const QString &text, Stemmer &stemmer)
{
    TermQuery q;
    const QStringList words = textfold::words(textfold::cleanQuery(text)).mid(0, textfold::kMaxQueryWords);
    for (const QString &word : words) {
        const QString term = stemmer.term(word);
        if (term.isEmpty() || q.terms.contains(term))
            continue;
        q.terms << term;
        q.prefix << stemming::isPrefixTerm(term);
    }
    return q;
}

QVector<qint64> matchingProducts(Database &db, const TermQuery &query)
{
    QVector<qint64> ids;
    if (query.isEmpty())
        return ids;
    // Terms hold only letters and digits, in lower case, so nothing in them is query syntax.
    QStringList parts;
    for (int i = 0; i < query.terms.size(); ++i)
        parts << query.terms.at(i) + (query.prefix.at(i) ? QStringLiteral("*") : QString());
    Statement st = db.prepare(QStringLiteral("SELECT docid FROM %1 WHERE %1 MATCH ?1").arg(kTable));
    st.bind(1, parts.join(QLatin1Char(' ')));
    while (st.step())
        ids.push_back(st.int64(0));
    return ids;
}

std::optional<TextHit> cutFragment(const QString &plain, const TermQuery &query, Stemmer &stemmer)
{
    const QVector<textfold::Token> tokens = textfold::tokenize(plain);
    QVector<int> matched;
    for (int t = 0; t < tokens.size(); ++t) {
        const QString term = stemmer.term(tokens[t].folded);
        if (term.isEmpty())
            continue;
        for (int i = 0; i < query.terms.size(); ++i) {
            if (query.matches(i, term)) {
                matched << t;
                break;
            }
        }
    }
    if (matched.isEmpty())
        return std::nullopt;
    TextHit hit;
    const textfold::Token &first = tokens[matched.first()];
    hit.firstWord = plain.mid(first.start, first.length);

    // About a third of the room before the first match, the rest after it, cut at blanks.
    int start = qMax(0, first.start - kFragmentChars / 3);
    if (start > 0) {
        const qsizetype blank = plain.indexOf(QLatin1Char(' '), start);
        start = (blank >= 0 && blank < first.start) ? int(blank + 1) : first.start;
    }
    const QString lead = start > 0 ? QStringLiteral("…") : QString();
    int end = int(plain.size());
    QString trail;
    if (end - start + lead.size() > kFragmentChars) {
        trail = QStringLiteral("…");
        end = start + kFragmentChars - int(lead.size() + trail.size());
        const qsizetype blank = plain.lastIndexOf(QLatin1Char(' '), end);
        if (blank > first.start + first.length)
            end = int(blank);
    }
    hit.fragment = lead + plain.mid(start, end - start) + trail;
    for (int t : matched) {
        const textfold::Token &token = tokens[t];
        if (token.start < start || token.start + token.length > end)
            continue;
        hit.marks.push_back({int(token.start - start + lead.size()), token.length});
    }
    return hit;
}

HitDescriber::HitDescriber(Database &db) : m_db(db) {}

HitDescriber::~HitDescriber() = default;

TextHit HitDescriber::describe(qint64 itemId, const TermQuery &query, Stemmer &stemmer)
{
    TextHit hit;
    hit.id = itemId;
    if (!m_terms)
        m_terms = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("SELECT terms, fields FROM %1 WHERE docid = ?1").arg(kTable)));
    Statement &st = *m_terms;
    st.reset();
    st.bind(1, itemId);
    if (!st.step())
        return hit;
    // Which fields hold each query term, then the first field holding most of them.
    QVector<FieldMask> holding(query.terms.size(), 0);
    forEachStoredTerm(st.text(0), st.text(1), [&](QStringView term, FieldMask mask) {
        for (int i = 0; i < query.terms.size(); ++i)
            if (query.matches(i, term))
                holding[i] |= mask;
    });
    int best = -1, bestCount = 0;
    for (int f = 0; f < fieldCount(); ++f) {
        int count = 0;
        for (FieldMask mask : holding)
            if (mask & (1u << f))
                ++count;
        if (count == query.terms.size() && count > 0)
            ++hit.fieldsWithAll;
        if (count > bestCount) {
            best = f;
            bestCount = count;
        }
    }
    st.reset();
    if (best < 0)
        return hit;
    hit.field = best;
    auto &read = m_fields[best];
    if (!read)
        read = std::make_unique<Statement>(m_db.prepare(QStringLiteral("SELECT %1 FROM items WHERE id = ?1 ORDER BY rowid LIMIT 1")
                                                            .arg(itemColumnSql(m_db, fieldColumns().at(best)))));
    read->reset();
    read->bind(1, itemId);
    if (!read->step())
        return hit;
    const QString packed = read->text(0);
    read->reset();
    if (std::optional<TextHit> cut = cutFragment(packedToPlainText(packed), query, stemmer)) {
        cut->id = itemId;
        cut->field = best;
        cut->fieldsWithAll = hit.fieldsWithAll;
        return *cut;
    }
    return hit;
}

TextHit describeHit(Database &db, qint64 itemId, const TermQuery &query, Stemmer &stemmer)
{
    HitDescriber describer(db);
    return describer.describe(itemId, query, stemmer);
}

} // namespace textindex
