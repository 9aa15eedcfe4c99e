// A spelling-tolerant sound key that Russian and Latin spellings of a name share, so that
// "amoxicillin", "amoksitsillin" and "амоксициллин" all come out the same.
#pragma once

#include <QString>
#include <QStringView>

namespace translit {

// The key of a text: letters of both alphabets mapped to one sound alphabet (digits kept,
// everything else a single space), with the usual spelling variants merged: x = кс, c before
// e/i/y = ц, ts/tz = ц, ph = ф, w = в, y/j/й = и, h/х/г = one sound, s/z/с/з = one sound,
// doubled letters once, ь and ъ dropped.
QString key(QStringView text);

} // namespace translit

namespace translit {
// A readable rendering of the text in the other alphabet (Latin text in Cyrillic letters and
// the other way round), to tell the reader how the text was read. Folded.
QString otherAlphabet(QStringView text);
} // namespace translit
