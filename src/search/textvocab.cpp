// A typing slip corrected against the index's own words: a Russian word no text holds is
// replaced by the indexed stem one slip away that the most products hold.
#include "search/indexrow.h"
#include "search/textindex.h"
#include "search/typo.h"

#include <QSet>
#include <algorithm>

namespace textindex {

namespace {

// The letters Russian stems are stored in (see stemming.cpp): а-я as a-z and 0-5.
const QString kStemLetters = QStringLiteral("abcdefghijklmnopqrstuvwxyz012345");

// The index's words with how many products hold each, read through fts4aux, which walks the
// term index alone: a lookup costs a few pages, never a scan of the rows.
class Vocabulary
{
public:
    explicit Vocabulary(Database &db)
    {
        db.exec(QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS temp.search_words USING fts4aux(main, %1)")
                    .arg(detail::indexTable()));
        m_exact = db.prepare(
            QStringLiteral("SELECT documents FROM temp.search_words WHERE term = ?1 AND col = '*'"));
        m_range = db.prepare(QStringLiteral(
            "SELECT term, documents FROM temp.search_words WHERE term >= ?1 AND term < ?2 AND col = '*'"));
    }

    qint64 products(const QString &term)
    {
        m_exact.reset();
        m_exact.bind(1, term);
        const qint64 count = m_exact.step() ? m_exact.int64(0) : 0;
        m_exact.reset();
        return count;
    }

    // Calls `f(term, products)` for every term that begins with `start`.
    template <typename F> void forEachStartingWith(const QString &start, F &&f)
    {
        QString end = start;
        end.back() = QChar(char16_t(end.back().unicode() + 1));
        m_range.reset();
        m_range.bind(1, start);
        m_range.bind(2, end);
        while (m_range.step())
            f(m_range.text(0), m_range.int64(1));
        m_range.reset();
    }

private:
    Statement m_exact, m_range;
};

// The stem one slip from `stem` that the most products hold (the first in term order among
// equals); empty when there is none.
QString nearestStem(Vocabulary &vocabulary, const QString &stem)
{
    QString best;
    qint64 bestCount = 0;
    const auto consider = [&](const QString &term, qint64 count) {
        if (count <= 0 || !stemming::isStemTerm(term) || term == stem || !typo::withinOneSlip(stem, term))
            return;
        if (count > bestCount || (count == bestCount && term < best)) {
            best = term;
            bestCount = count;
        }
    };
    // A slip past the second letter keeps the first two: those stems are one range of the term
    // index. A slip in the first two letters is looked up spelling by spelling.
    const QString head = stem.left(2);
    vocabulary.forEachStartingWith(head, consider);
    QSet<QString> spellings;
    const auto lookUp = [&](const QString &spelling) {
        if (!spelling.startsWith(head) && !spellings.contains(spelling)) {
            spellings.insert(spelling);
            consider(spelling, vocabulary.products(spelling));
        }
    };
    for (qsizetype at = 0; at < 2 && at < stem.size(); ++at) {
        QString without = stem;
        lookUp(without.remove(at, 1));
        if (at + 1 < stem.size()) {
            QString swapped = stem;
            std::swap(swapped[at], swapped[at + 1]);
            lookUp(swapped);
        }
        for (QChar letter : kStemLetters) {
            QString wrong = stem;
            wrong[at] = letter;
            lookUp(wrong);
            lookUp(QString(stem).insert(at, letter));
        }
    }
    return best;
}

// The pair term of a typed number with `word`, spelled with `fixed` instead.
void correctPairs(TermQuery &query, const QString &word, const QString &fixed)
{
    for (QString &pair : query.pairs) {
        const qsizetype cut = pair.size() - word.size() - 1;
        if (cut < 2 || !pair.endsWith(word) || pair.at(cut) != u'x')
            continue;
        const QStringView number = QStringView(pair).left(cut);
        if (stemming::isNumberTerm(number) &&
            std::all_of(number.begin() + 1, number.end(), [](QChar c) { return c.isDigit() || c == u'p'; }))
            pair = pair.left(cut + 1) + fixed;
    }
}

} // namespace

std::optional<TermQuery> correctTerms(Database &db, const TermQuery &query)
{
    std::optional<Vocabulary> vocabulary;
    TermQuery out = query;
    bool any = false;
    for (int i = 0; i < query.terms.size(); ++i) {
        const QString &term = query.terms.at(i);
        // Numbers are meant as typed; Latin words are read by the names' own readings.
        if (!stemming::isStemTerm(term) || query.words.value(i).size() < typo::kMinimumWordLength)
            continue;
        if (!vocabulary)
            vocabulary.emplace(db);
        if (vocabulary->products(term) > 0)
            continue;
        const QString fixed = nearestStem(*vocabulary, term);
        if (fixed.isEmpty())
            continue;
        out.terms[i] = fixed;
        out.corrected[i] = true;
        correctPairs(out, term, fixed);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return out;
}

} // namespace textindex
