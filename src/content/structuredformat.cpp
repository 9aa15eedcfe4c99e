// The spelling of the structured blocks.
#include "content/structuredformat.h"

#include "answers/decimal.h"

#include <QHash>
#include <QRegularExpression>

namespace structuredsource::format {

const QStringList &keys(const QString &section)
{
    static const QHash<QString, QStringList> all = {
        {QString::fromLatin1(Strengths),
         {QStringLiteral("form"), QStringLiteral("substance"), QStringLiteral("amount"),
          QStringLiteral("per"), QStringLiteral("fractions")}},
        {QString::fromLatin1(Doses),
         {QStringLiteral("species"), QStringLiteral("route"), QStringLiteral("indication"),
          QStringLiteral("substance"), QStringLiteral("dose"), QStringLiteral("unit"),
          QStringLiteral("of"), QStringLiteral("basis"), QStringLiteral("frequency"), QStringLiteral("duration"),
          QStringLiteral("max_single"), QStringLiteral("source"), QStringLiteral("quote")}},
        {QString::fromLatin1(Withdrawal),
         {QStringLiteral("species"), QStringLiteral("tissue"), QStringLiteral("period"),
          QStringLiteral("source"), QStringLiteral("quote")}},
    };
    static const QStringList none;
    const auto it = all.constFind(section);
    return it == all.constEnd() ? none : *it;
}

const QStringList &requiredKeys(const QString &section)
{
    static const QHash<QString, QStringList> all = {
        {QString::fromLatin1(Strengths), {QStringLiteral("amount"), QStringLiteral("per")}},
        {QString::fromLatin1(Doses),
         {QStringLiteral("species"), QStringLiteral("dose"), QStringLiteral("unit"), QStringLiteral("basis"),
          QStringLiteral("source"), QStringLiteral("quote")}},
        {QString::fromLatin1(Withdrawal),
         {QStringLiteral("species"), QStringLiteral("tissue"), QStringLiteral("period"),
          QStringLiteral("source"), QStringLiteral("quote")}},
    };
    static const QStringList none;
    const auto it = all.constFind(section);
    return it == all.constEnd() ? none : *it;
}

std::optional<QString> decimalText(const QString &text)
{
    // At most nine fraction digits, and no larger than the exact decimal the programs compute
    // with holds (about 9.2·10⁹).
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,10}([.,][0-9]{1,9})?$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    QString stored = text;
    stored.replace(QLatin1Char(','), QLatin1Char('.'));
    if (!Decimal::parse(stored))
        return std::nullopt;
    return stored;
}

std::optional<std::pair<QString, QString>> amountAndWord(const QString &text)
{
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (space <= 0 || space + 1 >= text.size())
        return std::nullopt;
    const QString word = text.mid(space + 1);
    if (word.contains(QLatin1Char(' ')))
        return std::nullopt;
    return std::make_pair(text.left(space), word);
}

QString foldBlanks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool blank = true;
    for (const QChar c : text) {
        if (c.isSpace() || c.unicode() < 0x20) {
            if (!blank)
                out += QLatin1Char(' ');
            blank = true;
        } else {
            out += c;
            blank = false;
        }
    }
    if (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out;
}

namespace {

bool isDigit(const QString &text, qsizetype at)
{
    return at >= 0 && at < text.size() && text.at(at).unicode() >= '0' && text.at(at).unicode() <= '9';
}

bool isSeparator(const QString &text, qsizetype at)
{
    return at >= 0 && at < text.size() &&
           (text.at(at) == QLatin1Char('.') || text.at(at) == QLatin1Char(','));
}

} // namespace

bool numberOccurs(const QString &text, const QString &number)
{
    QStringList spellings{number};
    if (number.contains(QLatin1Char('.')))
        spellings.append(QString(number).replace(QLatin1Char('.'), QLatin1Char(',')));
    for (const QString &spelling : spellings) {
        for (qsizetype at = text.indexOf(spelling); at >= 0; at = text.indexOf(spelling, at + 1)) {
            const qsizetype end = at + spelling.size();
            // Not the tail of a longer number ("15", "2,5") nor its head ("50", "5,5").
            const bool before = isDigit(text, at - 1) || (isSeparator(text, at - 1) && isDigit(text, at - 2));
            const bool after = isDigit(text, end) || (isSeparator(text, end) && isDigit(text, end + 1));
            if (!before && !after)
                return true;
        }
    }
    return false;
}

} // namespace structuredsource::format
