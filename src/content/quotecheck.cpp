// Quantities read out of a quote, in the quote's own spelling.
#include "content/quotecheck.h"

#include <QRegularExpression>

namespace quotecheck {

namespace {

struct UnitWord
{
    const char *word;
    Unit unit;
};

// The closed list of written unit forms, in lower case.
constexpr UnitWord kUnitWords[] = {
    {"мкг", Unit::Microgram},   {"мг", Unit::Milligram},    {"г", Unit::Gram},
    {"ме", Unit::IU},           {"ед", Unit::IU},           {"мл", Unit::Millilitre},
    {"таблетка", Unit::Tablet}, {"таблетки", Unit::Tablet}, {"таблеток", Unit::Tablet},
    {"таблетку", Unit::Tablet}, {"таблетке", Unit::Tablet}, {"табл.", Unit::Tablet},
    {"болюс", Unit::Bolus},     {"болюса", Unit::Bolus},    {"болюсов", Unit::Bolus},
    {"болюсу", Unit::Bolus},    {"капсула", Unit::Capsule}, {"капсулы", Unit::Capsule},
    {"капсул", Unit::Capsule},  {"капсулу", Unit::Capsule}, {"капсуле", Unit::Capsule},
    {"пипетка", Unit::Pipette}, {"пипетки", Unit::Pipette}, {"пипеток", Unit::Pipette},
    {"пипетку", Unit::Pipette}, {"пипетке", Unit::Pipette}, {"доза", Unit::Dose},
    {"дозы", Unit::Dose},       {"доз", Unit::Dose},        {"дозу", Unit::Dose},
    {"дозе", Unit::Dose},
};

struct PeriodWord
{
    const char *word;
    PeriodUnit unit;
};

constexpr PeriodWord kPeriodWords[] = {
    {"ч", PeriodUnit::Hours},     {"час", PeriodUnit::Hours}, {"часа", PeriodUnit::Hours},
    {"часов", PeriodUnit::Hours}, {"сут.", PeriodUnit::Days}, {"суток", PeriodUnit::Days},
    {"сутки", PeriodUnit::Days},  {"день", PeriodUnit::Days}, {"дня", PeriodUnit::Days},
    {"дней", PeriodUnit::Days},
};

QChar charAt(const QString &text, qsizetype at)
{
    return at >= 0 && at < text.size() ? text.at(at) : QChar();
}

bool isWordChar(const QString &text, qsizetype at)
{
    return at >= 0 && at < text.size() && text.at(at).isLetterOrNumber();
}

bool isDigitAt(const QString &text, qsizetype at)
{
    return at >= 0 && at < text.size() && text.at(at) >= QLatin1Char('0') && text.at(at) <= QLatin1Char('9');
}

bool isSeparatorAt(const QString &text, qsizetype at)
{
    return at >= 0 && at < text.size() &&
           (text.at(at) == QLatin1Char(',') || text.at(at) == QLatin1Char('.'));
}

// One quantity of the text: a number or a range, and the word after it.
struct Quantity
{
    Decimal from;
    Decimal to;
    bool range = false;
    std::optional<Unit> unit;
    std::optional<PeriodUnit> period;
    qsizetype end = 0; // just after the unit word
};

// A number at `at` ("5", "2,5", "5 000", "200 000,5"); `at` moves past it.
std::optional<Decimal> readNumber(const QString &t, qsizetype &at)
{
    qsizetype i = at;
    QString digits;
    while (isDigitAt(t, i))
        digits += t.at(i++);
    if (digits.isEmpty())
        return std::nullopt;
    // Thousand groups: "5 000", "200 000", "1 000 000" (blanks are folded to one space).
    if (digits.size() <= 3) {
        while (charAt(t, i) == QLatin1Char(' ') && isDigitAt(t, i + 1) && isDigitAt(t, i + 2) &&
               isDigitAt(t, i + 3) && !isDigitAt(t, i + 4)) {
            digits += t.mid(i + 1, 3);
            i += 4;
        }
    }
    if (isSeparatorAt(t, i) && isDigitAt(t, i + 1)) {
        digits += QLatin1Char('.');
        ++i;
        while (isDigitAt(t, i))
            digits += t.at(i++);
    }
    const auto value = Decimal::parse(digits);
    if (value)
        at = i;
    return value;
}

void skipSpaces(const QString &t, qsizetype &at)
{
    while (charAt(t, at) == QLatin1Char(' '))
        ++at;
}

// The unit word at `at`, if it is one of the list; `at` moves past it.
void readWord(const QString &t, qsizetype &at, Quantity &q)
{
    qsizetype i = at;
    while (i < t.size() && t.at(i).isLetter())
        ++i;
    if (i == at)
        return;
    QString word = t.mid(at, i - at);
    if (charAt(t, i) == QLatin1Char('.') &&
        (unitOfWord(word + QLatin1Char('.')) || periodOfWord(word + QLatin1Char('.')))) {
        word += QLatin1Char('.');
        ++i;
    }
    q.unit = unitOfWord(word);
    q.period = periodOfWord(word);
    if (q.unit || q.period)
        at = i;
}

// Every quantity of the (lower-case, blank-folded) text, in order.
QList<Quantity> quantitiesIn(const QString &t)
{
    QList<Quantity> out;
    for (qsizetype i = 0; i < t.size();) {
        // A number starts after something that is neither a letter, a digit nor a decimal part.
        if (!isDigitAt(t, i) || isWordChar(t, i - 1) || (isSeparatorAt(t, i - 1) && isDigitAt(t, i - 2))) {
            ++i;
            continue;
        }
        const bool afterFrom = i >= 3 && t.mid(i - 3, 3) == QStringLiteral("от ") && !isWordChar(t, i - 4);
        qsizetype at = i;
        const auto first = readNumber(t, at);
        if (!first) {
            ++i;
            continue;
        }
        Quantity q;
        q.from = q.to = *first;
        // "5–10", "5-10", "от 5 до 10"
        qsizetype next = at;
        skipSpaces(t, next);
        bool joined = false;
        if (charAt(t, next) == QChar(0x2013) || charAt(t, next) == QLatin1Char('-')) {
            ++next;
            joined = true;
        } else if (afterFrom && t.mid(next, 3) == QStringLiteral("до ")) {
            next += 3;
            joined = true;
        }
        if (joined) {
            skipSpaces(t, next);
            qsizetype after = next;
            if (const auto second = isDigitAt(t, next) ? readNumber(t, after) : std::nullopt) {
                q.to = *second;
                q.range = true;
                at = after;
            }
        }
        skipSpaces(t, at);
        readWord(t, at, q);
        q.end = at;
        out << q;
        i = at > i ? at : i + 1;
    }
    return out;
}

QString written(const Quantity &q)
{
    const QChar comma = QLatin1Char(',');
    return q.range ? q.from.toString(comma) + QStringLiteral("–") + q.to.toString(comma)
                   : q.from.toString(comma);
}

// What the words after a dose, up to the end of its clause, say it is counted per.
struct Per
{
    Basis basis = Basis::Animal;
    Decimal kg = Decimal::fromInt(1);
};

Per basisAfter(const QString &t, qsizetype from)
{
    // The clause runs to ";", ":", a closing bracket it did not open, or a point or comma that is
    // not inside a number; a bracketed aside ("12,5 мг амоксициллина (в сумме с …) на 1 кг") is
    // passed over.
    QString tail;
    for (qsizetype at = from; at < t.size(); ++at) {
        const QChar c = t.at(at);
        if (c == QLatin1Char('(')) {
            const qsizetype close = t.indexOf(QLatin1Char(')'), at);
            if (close < 0)
                break;
            at = close;
            tail += QLatin1Char(' ');
            continue;
        }
        if (c == QLatin1Char(';') || c == QLatin1Char(')') || c == QLatin1Char(':'))
            break;
        if ((c == QLatin1Char('.') || c == QLatin1Char(',')) &&
            !(isDigitAt(t, at - 1) && isDigitAt(t, at + 1)))
            break;
        tail += c;
    }
    struct Pattern
    {
        const char *regex;
        Basis basis;
    };
    static const Pattern patterns[] = {
        {"^\\s*/\\s*кг", Basis::Kg},
        {"\\bна\\s+(?:1\\s+)?кг\\s+корма", Basis::FeedKg},
        {"\\bна\\s+(?:([0-9]+(?:[.,][0-9]+)?)\\s+)?кг\\b", Basis::Kg},
        {"\\bна\\s+(?:1\\s+)?л\\b", Basis::WaterLitre},
        {"\\bна\\s+(?:улей|пчелиную\\s+семью)", Basis::Hive},
        {"\\bна\\s+(?:1\\s+)?м(?:²|2)", Basis::SquareMetre},
    };
    Per per;
    qsizetype first = tail.size();
    for (const Pattern &p : patterns) {
        const QRegularExpression re(QString::fromUtf8(p.regex),
                                    QRegularExpression::UseUnicodePropertiesOption);
        const QRegularExpressionMatch m = re.match(tail);
        if (m.hasMatch() && m.capturedStart() < first) {
            first = m.capturedStart();
            per.basis = p.basis;
            per.kg = Decimal::fromInt(1);
            if (p.basis == Basis::Kg && m.lastCapturedIndex() >= 1 && !m.captured(1).isEmpty())
                per.kg = Decimal::parse(m.captured(1).replace(QLatin1Char(','), QLatin1Char('.')))
                             .value_or(Decimal::fromInt(1));
        }
    }
    return per;
}

QString perText(Basis basis, Decimal kg)
{
    switch (basis) {
    case Basis::Kg:
        return QStringLiteral("на %1 кг").arg(kg.toString(QLatin1Char(',')));
    case Basis::Animal:
        return QStringLiteral("на животное");
    case Basis::WaterLitre:
        return QStringLiteral("на 1 л воды");
    case Basis::FeedKg:
        return QStringLiteral("на 1 кг корма");
    case Basis::Hive:
        return QStringLiteral("на улей");
    case Basis::SquareMetre:
        return QStringLiteral("на 1 м²");
    }
    return QString();
}

QString missing(const QString &quantity)
{
    return QStringLiteral("в цитате нет «%1»").arg(quantity);
}

} // namespace

std::optional<Unit> unitOfWord(const QString &word)
{
    const QString lower = word.toLower();
    for (const UnitWord &w : kUnitWords) {
        if (lower == QString::fromUtf8(w.word))
            return w.unit;
    }
    return std::nullopt;
}

std::optional<PeriodUnit> periodOfWord(const QString &word)
{
    const QString lower = word.toLower();
    for (const PeriodWord &w : kPeriodWords) {
        if (lower == QString::fromUtf8(w.word))
            return w.unit;
    }
    return std::nullopt;
}

const QStringList &prohibitionWords()
{
    static const QStringList words = {QStringLiteral("не допускается"), QStringLiteral("запрещается"),
                                      QStringLiteral("запрещено"),      QStringLiteral("не применять"),
                                      QStringLiteral("не применяют"),   QStringLiteral("нельзя")};
    return words;
}

bool occursAsWords(const QString &text, const QString &quote)
{
    if (quote.isEmpty())
        return false;
    const qsizetype last = quote.size() - 1;
    for (qsizetype at = text.indexOf(quote); at >= 0; at = text.indexOf(quote, at + 1)) {
        const qsizetype end = at + quote.size();
        // Not inside a word or a number: "5 мг" out of "15 мг" or "2,5 мг", "000 МЕ" out of "5 000 МЕ".
        const bool startInside =
            isWordChar(quote, 0) &&
            (isWordChar(text, at - 1) ||
             (isDigitAt(quote, 0) && isSeparatorAt(text, at - 1) && isDigitAt(text, at - 2)));
        const bool groupInside = isDigitAt(quote, 0) && isDigitAt(quote, 2) && !isDigitAt(quote, 3) &&
                                 charAt(text, at - 1) == QLatin1Char(' ') && isDigitAt(text, at - 2);
        const bool endInside =
            isWordChar(quote, last) &&
            (isWordChar(text, end) ||
             (isDigitAt(quote, last) && isSeparatorAt(text, end) && isDigitAt(text, end + 1)));
        if (!startInside && !groupInside && !endInside)
            return true;
    }
    return false;
}

QString doseProblem(const QString &quote, const DoseRow &row)
{
    const QString t = quote.toLower();
    const QList<Quantity> quantities = quantitiesIn(t);
    Quantity wanted;
    wanted.from = row.from;
    wanted.to = row.to;
    wanted.range = !row.single;
    const QString dose = written(wanted) + QLatin1Char(' ') + unitText(row.unit);
    std::optional<Per> stated;
    for (const Quantity &q : quantities) {
        if (q.unit != row.unit || q.range != wanted.range || q.from != row.from || q.to != row.to)
            continue;
        const Per per = basisAfter(t, q.end);
        if (per.basis == row.basis && (per.basis != Basis::Kg || per.kg == row.perKg))
            return QString();
        if (!stated)
            stated = per;
    }
    if (!stated)
        return missing(dose);
    return QStringLiteral("в цитате доза «%1» %2, а в строке — %3")
        .arg(dose, perText(stated->basis, stated->kg), perText(row.basis, row.perKg));
}

QString capProblem(const QString &quote, const DoseRow &row)
{
    if (!row.maxSingle)
        return QString();
    for (const Quantity &q : quantitiesIn(quote.toLower())) {
        if (!q.range && q.unit == row.maxSingleUnit && q.from == *row.maxSingle)
            return QString();
    }
    return missing(row.maxSingle->toString(QLatin1Char(',')) + QLatin1Char(' ') +
                   unitText(row.maxSingleUnit));
}

QString periodProblem(const QString &quote, const WithdrawalRow &row)
{
    const QString t = quote.toLower();
    if (row.forbidden) {
        for (const QString &word : prohibitionWords()) {
            if (t.contains(word))
                return QString();
        }
        return QStringLiteral("в цитате нет запрета (%1)").arg(prohibitionWords().join(QStringLiteral(", ")));
    }
    bool otherUnit = false;
    for (const Quantity &q : quantitiesIn(t)) {
        if (q.range || !q.period || q.from != row.period)
            continue;
        if (*q.period == row.unit)
            return QString();
        otherUnit = true;
    }
    const bool hours = row.unit == PeriodUnit::Hours;
    if (otherUnit)
        return hours ? QStringLiteral("в цитате срок в сутках, а в строке — в часах")
                     : QStringLiteral("в цитате срок в часах, а в строке — в сутках");
    return missing(row.period.toString(QLatin1Char(',')) +
                   (hours ? QStringLiteral(" ч") : QStringLiteral(" сут.")));
}

} // namespace quotecheck
