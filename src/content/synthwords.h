// Russian sentences for the synthetic reference: real words in their case endings, a few
// thousand distinct forms, so that a full-text search over the large reference finds what a
// real one would (stems shared across forms, words of every length).
#pragma once

#include <QString>
#include <QtGlobal>

class SynthWords final
{
public:
    explicit SynthWords(quint64 seed) : m_state(seed) {}

    // One sentence, capitalised, ending in a full stop.
    QString sentence();
    // The HTML with about half of its paragraphs and list items rewritten in generated
    // sentences of about the same length; the tags stay as they are.
    QString rewrite(const QString &html);

private:
    int below(int n);
    QString nounPhrase(int gender, int grammaticalCase);
    quint64 m_state;
};
