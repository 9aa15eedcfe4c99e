// The query side of the text index: a typed text as terms, the products holding them, and the
// fragment of a hit cut from its decoded field.
#include "search/indexrow.h"
#include "search/plaintext.h"
#include "search/storedrow.h"
#include "search/termwords.h"
#include "search/textfold.h"
#include "search/textindex.h"

namespace textindex {

namespace {

// Enough words as written per term for a correction to choose the one nearest the typed word.
constexpr int kMaxForms = 8;

} // namespace

bool TermQuery::matches(int i, QStringView stored) const
{
    return prefix.at(i) ? stored.startsWith(terms.at(i)) : stored == terms.at(i);
}

bool TermQuery::matchesPair(int i, QStringView stored) const
{
    return pairPrefix.at(i) ? stored.startsWith(pairs.at(i)) : stored == pairs.at(i);
}

TermQuery prepareTerms(const QString &text, Stemmer &stemmer)
{
    TermQuery q;
    const QString folded = textfold::fold(textfold::cleanQuery(text));
    const QStringView view(folded);
    int count = 0;
    qsizetype numberStart = 0, numberEnd = -1;
    termwords::forEach(view, [&](qsizetype start, qsizetype length, termwords::Kind kind) {
        if (++count > textfold::kMaxQueryWords)
            return;
        const QString word = view.mid(start, length).toString();
        if (kind == termwords::Kind::Number) {
            numberStart = start;
            numberEnd = start + length;
        } else if (numberEnd >= 0) {
            if (termwords::sideBySide(view, numberEnd, start)) {
                const QString wordTerm = stemmer.term(word, true);
                const QString pair = stemming::pairTerm(
                    stemmer.term(view.mid(numberStart, numberEnd - numberStart).toString()), wordTerm);
                if (!pair.isEmpty() && !q.pairs.contains(pair)) {
                    q.pairs << pair;
                    q.pairPrefix << stemming::isPrefixTerm(wordTerm);
                }
            }
            numberEnd = -1;
        }
        const QString term = stemmer.term(word);
        if (term.isEmpty() || q.terms.contains(term))
            return;
        q.terms << term;
        q.prefix << stemming::isPrefixTerm(term);
        q.words << word;
        q.corrected << false;
    });
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
    Statement st =
        db.prepare(QStringLiteral("SELECT docid FROM %1 WHERE %1 MATCH ?1").arg(detail::indexTable()));
    st.bind(1, parts.join(QLatin1Char(' ')));
    while (st.step())
        ids.push_back(st.int64(0));
    return ids;
}

std::optional<TextHit> cutFragment(const QString &plain, const TermQuery &query, Stemmer &stemmer)
{
    struct Word
    {
        int start = 0;
        int length = 0;
        termwords::Kind kind = termwords::Kind::Letters;
        QString folded;
    };
    QVector<Word> words;
    termwords::forEach(plain, [&](qsizetype start, qsizetype length, termwords::Kind kind) {
        words.push_back(
            Word{int(start), int(length), kind, textfold::fold(QStringView(plain).mid(start, length))});
    });
    TextHit hit;
    hit.forms.resize(query.terms.size());
    QVector<int> matched;
    int pairAt = -1; // the number of the first typed number and word side by side
    for (int t = 0; t < words.size(); ++t) {
        const Word &word = words[t];
        bool any = false;
        const QString term = stemmer.term(word.folded);
        for (int i = 0; i < query.terms.size() && !term.isEmpty(); ++i) {
            if (!query.matches(i, term))
                continue;
            any = true;
            const QString form = plain.mid(word.start, word.length);
            if (hit.forms[i].size() < kMaxForms && !hit.forms[i].contains(form))
                hit.forms[i] << form;
        }
        if (pairAt < 0 && !query.pairs.isEmpty() && t > 0 && word.kind == termwords::Kind::Letters) {
            const Word &number = words[t - 1];
            if (number.kind == termwords::Kind::Number &&
                termwords::sideBySide(plain, number.start + number.length, word.start)) {
                const QString pair =
                    stemming::pairTerm(stemmer.term(number.folded), stemmer.term(word.folded, true));
                for (int i = 0; i < query.pairs.size(); ++i) {
                    if (query.matchesPair(i, pair)) {
                        pairAt = t - 1;
                        any = true; // a unit of one letter is no term of its own
                        break;
                    }
                }
            }
        }
        if (any)
            matched << t;
    }
    if (matched.isEmpty())
        return std::nullopt;
    const Word &first = words[pairAt >= 0 ? pairAt : matched.first()];
    const int firstEnd =
        pairAt >= 0 ? words[pairAt + 1].start + words[pairAt + 1].length : first.start + first.length;
    hit.firstWord = plain.mid(first.start, firstEnd - first.start);

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
        if (blank > firstEnd)
            end = int(blank);
    }
    hit.fragment = lead + plain.mid(start, end - start) + trail;
    for (int t : matched) {
        const Word &word = words[t];
        if (word.start < start || word.start + word.length > end)
            continue;
        hit.marks.push_back({int(word.start - start + lead.size()), word.length});
    }
    return hit;
}

HitDescriber::HitDescriber(Database &db) : m_db(db) {}

HitDescriber::~HitDescriber() = default;

TextHit HitDescriber::describe(qint64 itemId, const TermQuery &query, Stemmer &stemmer)
{
    if (!m_terms)
        m_terms = std::make_unique<Statement>(m_db.prepare(
            QStringLiteral("SELECT row FROM %1 WHERE docid = ?1").arg(detail::termsTable())));
    const std::optional<detail::StoredRow> row = detail::readRow(*m_terms, itemId);
    if (!row) {
        TextHit hit;
        hit.id = itemId;
        return hit;
    }
    return describe(detail::rankRow(itemId, row->terms, row->fields, query), query, stemmer);
}

TextHit HitDescriber::describe(const RankedMatch &match, const TermQuery &query, Stemmer &stemmer)
{
    TextHit hit;
    hit.id = match.id;
    hit.fieldsWithAll = match.fieldsWithAll;
    hit.sideBySide = match.sideBySide;
    if (match.field < 0 || match.field >= fieldCount())
        return hit;
    hit.field = match.field;
    auto &read = m_fields[match.field];
    if (!read)
        read = std::make_unique<Statement>(
            m_db.prepare(QStringLiteral("SELECT %1 FROM items WHERE id = ?1 ORDER BY rowid LIMIT 1")
                             .arg(detail::itemColumnSql(m_db, fieldColumns().at(match.field)))));
    read->reset();
    read->bind(1, match.id);
    if (!read->step())
        return hit;
    const QString packed = read->text(0);
    read->reset();
    if (std::optional<TextHit> cut = cutFragment(packedToPlainText(packed), query, stemmer)) {
        cut->id = hit.id;
        cut->field = hit.field;
        cut->fieldsWithAll = hit.fieldsWithAll;
        cut->sideBySide = hit.sideBySide;
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
