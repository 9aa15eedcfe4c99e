#include "pages/pdfname.h"

QString pdfFileName(const QString &name)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString out;
    out.reserve(name.size() + 4);
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c))
            out += QLatin1Char('_');
        else if (c.isSpace())
            out += QLatin1Char(' ');
        else
            out += c;
    }
    qsizetype from = 0, to = out.size();
    while (from < to && (out[from] == QLatin1Char(' ') || out[from] == QLatin1Char('.')))
        ++from;
    while (to > from && (out[to - 1] == QLatin1Char(' ') || out[to - 1] == QLatin1Char('.')))
        --to;
    out = out.mid(from, to - from);
    if (out.isEmpty())
        out = QStringLiteral("page");
    return out + QStringLiteral(".pdf");
}
