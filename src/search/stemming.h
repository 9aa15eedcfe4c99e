// The terms the full-text index holds: Russian words reduced to their Snowball stem, other
// words (Latin names, numbers) kept whole and matched by their beginning.
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

    // The index term of a folded word: empty for words too short to be worth a term. Russian
    // stems come out in a compact spelling of their own, other words marked as such.
    // Remembers what it has stemmed, so a long text costs one look-up per repeated word.
    QString term(const QString &foldedWord);

private:
    sb_stemmer *m_stemmer = nullptr;
    QHash<QString, QString> m_cache;
};

namespace stemming {
// Whether a term is matched by its beginning (not a Russian stem).
bool isPrefixTerm(QStringView term);
} // namespace stemming
