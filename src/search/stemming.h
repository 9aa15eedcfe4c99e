// The terms the full-text index holds: Russian words reduced to their Snowball stem, other
// words (Latin names) kept whole and matched by their beginning, numbers kept whole and matched
// exactly, and a number with the word right after it ("10 мл") as one more term.
#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

struct sb_stemmer;

class Stemmer final
{
public:
    Stemmer();
    ~Stemmer();
    Stemmer(const Stemmer &) = delete;
    Stemmer &operator=(const Stemmer &) = delete;

    // The index term of a folded word (a run of letters, or a number as termwords reads it):
    // empty for a single letter, unless `keepLetter` (a unit after a number: "5 г"). Russian
    // stems come out in a compact spelling of their own, other words and numbers marked as such.
    // Remembers what it has stemmed, so a long text costs one look-up per repeated word.
    QString term(const QString &foldedWord, bool keepLetter = false);

private:
    sb_stemmer *m_stemmer = nullptr;
    QHash<QString, QString> m_cache;
};

namespace stemming {
// Whether a term is matched by its beginning (a word not in Russian letters).
bool isPrefixTerm(QStringView term);
// Whether a term is a number, or a number with its word (matched exactly).
bool isNumberTerm(QStringView term);
// Whether a term is a Russian stem.
bool isStemTerm(QStringView term);
// The term of a number and the word right after it; empty when either is.
QString pairTerm(const QString &numberTerm, const QString &wordTerm);
} // namespace stemming
