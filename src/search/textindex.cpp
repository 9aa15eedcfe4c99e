#include "search/textindex.h"

#include "db/sqlitedb.h"
#include "search/plaintext.h"
#include "search/textfold.h"

#include <QSet>
#include <limits>

namespace textindex {

namespace {

const QString kTable = QStringLiteral("search_text");
const QString kStateTable = QStringLiteral("search_state");

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

void createTables(Database &db)
{
    // Terms are folded and stemmed here, so the plain tokenizer only splits at the spaces;
    // the prefix index serves the Latin words, which are matched by their beginning.
    db.exec(QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts4(%2, tokenize=simple, prefix=\"3\")")
                .arg(kTable, fieldColumns().join(QLatin1String(", "))));
    db.exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, version INTEGER, complete INTEGER,"
                           " next_id INTEGER)")
                .arg(kStateTable));
    Statement st = db.prepare(
        QStringLiteral("INSERT INTO %1 (id, version, complete, next_id) VALUES (1, ?1, 0, ?2)").arg(kStateTable));
    st.bind(1, qint64(kFormatVersion));
    st.bind(2, std::numeric_limits<qint64>::min());
    st.run();
}

void reset(Database &db)
{
    Transaction tx(db);
    db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kTable));
    db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kStateTable));
    createTables(db);
    tx.commit();
}

struct StateRow
{
    bool present = false;
    qint64 version = 0;
    bool complete = false;
    qint64 nextId = std::numeric_limits<qint64>::min();
};

StateRow readState(Database &db)
{
    StateRow row;
    try {
        if (!db.hasTable(kStateTable) || !db.hasTable(kTable))
            return row;
        Statement st = db.prepare(
            QStringLiteral("SELECT version, complete, next_id FROM %1 WHERE id = 1").arg(kStateTable));
        if (!st.step())
            return row;
        row.present = true;
        row.version = st.optInt64(0).value_or(0);
        row.complete = st.optInt64(1).value_or(0) == 1;
        row.nextId = st.optInt64(2).value_or(std::numeric_limits<qint64>::min());
    } catch (const DbError &) {
        row = StateRow(); // an unreadable state is no state
    }
    return row;
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

State state(Database &db)
{
    const StateRow row = readState(db);
    if (!row.present || row.version != kFormatVersion)
        return State::Missing;
    return row.complete ? State::Complete : State::Building;
}

bool isUsable(Database &db)
{
    return state(db) == State::Complete;
}

bool needsBuild(Database &db)
{
    if (state(db) != State::Complete)
        return true;
    try {
        const qint64 indexed = countOf(db, QStringLiteral("SELECT count(*) FROM %1_docsize").arg(kTable));
        const qint64 products = countOf(db, QStringLiteral("SELECT count(*) FROM items WHERE id IS NOT NULL"));
        const qint64 content = countOf(db, QStringLiteral("SELECT count(*) FROM %1_content").arg(kTable));
        countOf(db, QStringLiteral("SELECT count(*) FROM %1_segdir").arg(kTable));
        return indexed != products || content != products;
    } catch (const DbError &) {
        return true; // shadow tables that do not answer: rebuild
    }
}

Writer::Writer(Database &db) : m_db(db)
{
    m_active = db.hasTable(kTable) && db.hasTable(kStateTable);
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

void Writer::reindex(qint64 itemId)
{
    if (!m_active)
        return;
    remove(itemId);
    if (!m_read)
        m_read = std::make_unique<Statement>(m_db.prepare(
            QStringLiteral("SELECT %1 FROM items WHERE id = ?1 ORDER BY rowid LIMIT 1").arg(itemFieldsSql(m_db))));
    Statement &read = *m_read;
    read.reset();
    read.bind(1, itemId);
    if (!read.step())
        return; // the product is gone; so is its row
    if (!m_insert) {
        QStringList marks;
        for (int i = 0; i < fieldCount(); ++i)
            marks << QStringLiteral("?%1").arg(i + 2);
        m_insert = std::make_unique<Statement>(m_db.prepare(
            QStringLiteral("INSERT INTO %1 (docid, %2) VALUES (?1, %3)")
                .arg(kTable, fieldColumns().join(QLatin1String(", ")), marks.join(QLatin1String(", ")))));
    }
    m_insert->reset();
    m_insert->bind(1, itemId);
    for (int i = 0; i < fieldCount(); ++i) {
        const QString packed = read.text(i);
        const QString terms =
            packed.isEmpty() ? QString() : termsOf(packedToPlainText(packed), m_stemmer).join(QLatin1Char(' '));
        m_insert->bind(i + 2, terms.isNull() ? QString(QLatin1String("")) : terms);
    }
    read.reset();
    m_insert->run();
}

void markStale(Database &db)
{
    if (!db.hasTable(kStateTable))
        return;
    Statement st = db.prepare(QStringLiteral("UPDATE %1 SET complete = 0, next_id = ?1 WHERE id = 1").arg(kStateTable));
    st.bind(1, std::numeric_limits<qint64>::min());
    st.run();
}

int build(Database &db, const std::function<void(int, int)> &progress, const std::function<bool()> &stop)
{
    if (!needsBuild(db))
        return 0;
    if (state(db) != State::Building)
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
        Statement ids = db.prepare(QStringLiteral("SELECT id FROM items WHERE id > ?1 AND id IS NOT NULL"
                                                  " GROUP BY id ORDER BY id LIMIT %1")
                                       .arg(kBatchSize));
        ids.bind(1, nextId);
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
        Statement st = db.prepare(
            QStringLiteral("UPDATE %1 SET next_id = ?1, complete = ?2 WHERE id = 1").arg(kStateTable));
        st.bind(1, batch.isEmpty() ? nextId : batch.back());
        st.bind(2, qint64(last ? 1 : 0));
        st.run();
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

QStringList termsOf(const QString &plainText, Stemmer &stemmer)
{
    QStringList out;
    QSet<QString> seen;
    for (const textfold::Token &token : textfold::tokenize(plainText)) {
        const QString term = stemmer.term(token.folded);
        if (term.isEmpty() || seen.contains(term))
            continue;
        seen.insert(term);
        out << term;
    }
    return out;
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

namespace {

// Whether a stored column (terms joined by spaces) holds query term `i`, without splitting it.
bool holds(const QString &stored, const TermQuery &query, int i)
{
    const QString &term = query.terms.at(i);
    qsizetype at = stored.indexOf(term);
    while (at >= 0) {
        const qsizetype end = at + term.size();
        const bool starts = at == 0 || stored.at(at - 1) == QLatin1Char(' ');
        const bool ends = end == stored.size() || stored.at(end) == QLatin1Char(' ');
        if (starts && (ends || query.prefix.at(i)))
            return true;
        at = stored.indexOf(term, at + 1);
    }
    return false;
}

} // namespace

HitDescriber::HitDescriber(Database &db) : m_db(db) {}

HitDescriber::~HitDescriber() = default;

TextHit HitDescriber::describe(qint64 itemId, const TermQuery &query, Stemmer &stemmer)
{
    TextHit hit;
    hit.id = itemId;
    if (!m_terms)
        m_terms = std::make_unique<Statement>(m_db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE docid = ?1")
                                                               .arg(fieldColumns().join(QLatin1String(", ")), kTable)));
    Statement &st = *m_terms;
    st.reset();
    st.bind(1, itemId);
    if (!st.step())
        return hit;
    int best = -1, bestCount = 0;
    for (int f = 0; f < fieldCount(); ++f) {
        const QString stored = st.text(f);
        int count = 0;
        for (int i = 0; i < query.terms.size(); ++i)
            if (holds(stored, query, i))
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
