// The small readers of a source file's fields: ids, id lists, names, UTF-8 checks, and the error
// that names a file and line.
#pragma once

#include "content/content.h"
#include "text/ramuxerror.h"

#include <QList>
#include <QString>

namespace sourcefields {

// "file:line: what", or "file: what" without a line.
RamuxError sourceError(const QString &file, const QString &what, int line = 0);
// Whether text holds word (lower-case ASCII letters) in any letter case; a cheap test before an expression.
bool containsWord(QStringView text, const char *word);
// The 1-based line of an offset into text.
int lineAt(const QString &text, qsizetype offset);
// Offset of the first byte that is not part of well-formed UTF-8, or -1.
qsizetype invalidUtf8At(const QByteArray &bytes);
// A record id (0 to 2147483647); throws sourceError otherwise.
qint64 parseId(const QString &text, const QString &file, int line);
// Comma-separated ids, each once, in the written order.
QList<qint64> parseIdList(const QString &text, const QString &file, int line);
// A name as the client will store it (NULL when blank); throws for angle brackets or characters
// Windows-1251 lacks.
FieldValue nameValue(const QString &text, const QString &file, int line);

} // namespace sourcefields
