// Withdrawal rows and release dates: calendar days by addDays, elapsed hours by addSecs, both in
// local time, so a clock change moves one and not the other.
#include "answers/withdrawal.h"

#include "answers/amounttext.h"

#include <algorithm>

namespace {

struct TissueName
{
    Tissue tissue;
    const char *code;
    const char *name;
};

constexpr TissueName tissueNames[] = {
    {Tissue::Meat, "meat", "мясо"},
    {Tissue::Milk, "milk", "молоко"},
    {Tissue::Eggs, "eggs", "яйца"},
    {Tissue::Honey, "honey", "мёд"},
};

// Ten years: longer than any withdrawal period, and far from the date arithmetic's limits.
const Decimal kLongestDays = Decimal::fromInt(3650);

std::optional<WithdrawalRow> refuse(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}

qint64 wholeUp(Decimal value)
{
    return value.roundedTo(Decimal::fromInt(1), Rounding::Up).value_or(Decimal()).raw() / Decimal::One;
}

} // namespace

std::optional<Tissue> tissueFromText(const QString &text)
{
    for (const TissueName &t : tissueNames) {
        if (text == QLatin1String(t.code))
            return t.tissue;
    }
    return std::nullopt;
}

QString tissueText(Tissue tissue)
{
    return QLatin1String(tissueNames[int(tissue)].code);
}

QString tissueName(Tissue tissue)
{
    return QString::fromUtf8(tissueNames[int(tissue)].name);
}

std::optional<PeriodUnit> periodUnitFromText(const QString &text)
{
    if (text == QLatin1String("h"))
        return PeriodUnit::Hours;
    if (text == QLatin1String("d"))
        return PeriodUnit::Days;
    return std::nullopt;
}

std::optional<WithdrawalRow> parseWithdrawalRow(const WithdrawalRowText &text, QString *why)
{
    WithdrawalRow row;
    row.id = text.id;
    row.ord = text.ord;
    row.speciesId = text.speciesId;
    row.sourceField = text.sourceField;
    row.sourceQuote = text.sourceQuote;
    const auto tissue = tissueFromText(text.tissue);
    if (!tissue)
        return refuse(why, QStringLiteral("неизвестная продукция «%1»").arg(text.tissue));
    row.tissue = *tissue;
    row.forbidden = text.forbidden.value_or(0) != 0;
    if (row.forbidden) {
        if (!text.period.isNull() || !text.periodUnit.isNull())
            return refuse(why, QStringLiteral("срок указан вместе с «не допускается»"));
        return row;
    }
    const auto period = Decimal::parse(text.period);
    if (!period || period->isNegative())
        return refuse(why, QStringLiteral("срок ожидания не число или отрицателен: «%1»").arg(text.period));
    const auto unit = periodUnitFromText(text.periodUnit);
    if (!unit)
        return refuse(why,
                      QStringLiteral("у срока ожидания нет единицы (h или d): «%1»").arg(text.periodUnit));
    const Decimal longest =
        *unit == PeriodUnit::Days ? kLongestDays : Decimal::fromInt(3650 * 24); // the same in hours
    if (*period > longest)
        return refuse(why, QStringLiteral("срок ожидания больше 3650 суток: «%1»").arg(text.period));
    row.period = *period;
    row.unit = *unit;
    return row;
}

QString WithdrawalRow::periodText(QChar separator) const
{
    if (forbidden)
        return QStringLiteral("не допускается");
    if (period.isZero())
        return QStringLiteral("0");
    const QString word = unit == PeriodUnit::Hours ? QStringLiteral("ч") : QStringLiteral("сут.");
    if (separator == QLatin1Char(','))
        return amountText(period, word);
    return period.toString(separator) + QLatin1Char(' ') + word;
}

std::optional<QDateTime> WithdrawalRow::releaseAfter(const QDateTime &lastDose) const
{
    if (forbidden || !lastDose.isValid())
        return std::nullopt;
    QDateTime release;
    if (unit == PeriodUnit::Hours) {
        const auto seconds = period.times(Decimal::fromInt(3600), Rounding::Up);
        release = lastDose.addSecs(seconds ? wholeUp(*seconds) : 0);
    } else {
        const auto whole = period.roundedTo(Decimal::fromInt(1), Rounding::Down);
        const qint64 days = whole ? whole->raw() / Decimal::One : 0;
        release = lastDose.addDays(days);
        // A part of a day is waited out as elapsed time.
        const auto rest = whole ? period.minus(*whole) : std::nullopt;
        const auto seconds = rest ? rest->times(Decimal::fromInt(86400), Rounding::Up) : std::nullopt;
        if (seconds && !seconds->isZero())
            release = release.addSecs(wholeUp(*seconds));
    }
    if (!release.isValid())
        return std::nullopt;
    return release;
}

WithdrawalTable withdrawalTable(QList<WithdrawalRow> rowsOfSpecies, bool foodProducing, bool hasDoseRows)
{
    WithdrawalTable table;
    std::stable_sort(rowsOfSpecies.begin(), rowsOfSpecies.end(),
                     [](const WithdrawalRow &a, const WithdrawalRow &b) {
                         return a.tissue != b.tissue ? a.tissue < b.tissue : a.ord < b.ord;
                     });
    table.rows = rowsOfSpecies;
    table.noData = rowsOfSpecies.isEmpty() && foodProducing && hasDoseRows;
    return table;
}

QString noDataText()
{
    return QStringLiteral("нет данных");
}

namespace {

const QString kLastDoseFormat = QStringLiteral("dd.MM.yyyy HH:mm");

// The moments the local clock shows as `wall`: two in the hour it goes back, else one. Qt reads
// such a time as the earlier moment and cannot be asked for the other, so each offset in use
// around it is tried: the moment it gives counts when the clock shows that time then.
QList<QDateTime> readingsOf(const QDateTime &parsed)
{
    const QDateTime wall(parsed.date(), parsed.time(), Qt::UTC);
    QList<QDateTime> readings;
    for (const int hours : {-6, 0, 6}) {
        const int offset = parsed.addSecs(qint64(hours) * 3600).offsetFromUtc();
        const QDateTime moment = wall.addSecs(-offset).toLocalTime();
        if (moment.date() == parsed.date() && moment.time() == parsed.time() && !readings.contains(moment))
            readings << moment;
    }
    std::sort(readings.begin(), readings.end());
    return readings;
}

std::optional<QDateTime> typedMoment(const QString &text)
{
    const QDateTime moment = QDateTime::fromString(text.trimmed(), kLastDoseFormat);
    // A time the clock skips comes back moved; only the time as typed is accepted.
    if (!moment.isValid() || moment.toString(kLastDoseFormat) != text.trimmed())
        return std::nullopt;
    return moment;
}

} // namespace

std::optional<QDateTime> parseLastDose(const QString &text)
{
    const auto moment = typedMoment(text);
    if (!moment)
        return std::nullopt;
    // Of two moments the later one: the release then falls later, never too early.
    const QList<QDateTime> readings = readingsOf(*moment);
    return readings.isEmpty() ? *moment : readings.last();
}

QString repeatedHourNote(const QString &text)
{
    const auto moment = typedMoment(text);
    if (!moment || readingsOf(*moment).size() < 2)
        return QString();
    return QStringLiteral("В этот час часы переводят назад, и %1 наступает дважды; сроки отсчитаны от "
                          "второго, более позднего раза")
        .arg(moment->toString(QStringLiteral("HH:mm")));
}

QString formatDateTime(const QDateTime &moment)
{
    // Shown to the minute, so a release inside a minute is shown as the minute after it.
    const QTime time = moment.time();
    const int past = time.second() * 1000 + time.msec();
    const QDateTime shown = past == 0 ? moment : moment.addMSecs(60000 - past);
    return shown.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}
