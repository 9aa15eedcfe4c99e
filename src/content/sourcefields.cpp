// The small readers of a source file's fields: ids, id lists, names, UTF-8 checks, and the error
// that names a file and line.
#include "content/sourcefields.h"

#include "text/cp1251.h"
#include "text/utf8.h"

#include <cstring>

namespace sourcefields {

RamuxError sourceError(const QString &file, const QString &what, int line)
{
    if (line > 0)
        return RamuxError(QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what));
    return RamuxError(QStringLiteral("%1: %2").arg(file, what));
}

// Whether text holds word (lower-case ASCII letters) in any letter case; a cheap test before an expression.
bool containsWord(QStringView text, const char *word)
{
    const qsizetype n = qsizetype(std::strlen(word));
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < n && (text[i + k].unicode() | 0x20) == char16_t(word[k]))
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

int lineAt(const QString &text, qsizetype offset)
{
    return 1 + int(QStringView(text).left(offset).count(QLatin1Char('\n')));
}

// Offset of the first byte that is not part of well-formed UTF-8, or -1.
qsizetype invalidUtf8At(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int length = utf8SequenceAt(p + i, n - i, &cp);
        if (length == 0)
            return i;
        i += length;
    }
    return -1;
}

qint64 parseId(const QString &text, const QString &file, int line)
{
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok);
    // Record keys are 32-bit in the client's schema.
    if (!ok || id < 0 || id > 0x7FFFFFFF)
        throw sourceError(file, QStringLiteral("неверный номер \"%1\"").arg(text), line);
    return id;
}

QList<qint64> parseIdList(const QString &text, const QString &file, int line)
{
    QList<qint64> ids;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty())
            continue;
        const qint64 id = parseId(part, file, line);
        if (!ids.contains(id))
            ids.append(id);
    }
    return ids;
}

// A name as the client will store it: it travels through Windows-1251. The pages insert names
// as they are, into HTML: no name needs an angle bracket, and one would become markup.
FieldValue nameValue(const QString &text, const QString &file, int line)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    if (text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('>')))
        throw sourceError(file, QStringLiteral("в названии не может быть знаков < и >: %1").arg(text), line);
    if (!fitsCp1251(text))
        throw sourceError(
            file, QStringLiteral("название не помещается в кодировку Windows-1251: %1").arg(text), line);
    return text;
}

} // namespace sourcefields
