// The dose calculation. Everything is exact decimal arithmetic; each rounding names its
// direction: a range's lower bound up, its upper bound down, a single value to the nearest step.
#include "answers/dosecalc.h"

#include "answers/amounttext.h"

namespace {

const Decimal kMinWeight = Decimal::fromRaw(Decimal::One / 100); // 0,01 kg
const Decimal kMaxWeight = Decimal::fromInt(2000);
const Decimal kTenthMl = Decimal::fromRaw(Decimal::One / 10);
const Decimal kHundredthMl = Decimal::fromRaw(Decimal::One / 100);

QString weightRange()
{
    return QStringLiteral("Масса тела должна быть от %1 до %2")
        .arg(amountText(kMinWeight), amountText(kMaxWeight, QStringLiteral("кг")));
}

DoseResult refusal(const QString &reason)
{
    DoseResult result;
    result.refusal = reason;
    return result;
}

// The weight is bounded, so only numbers of the row or the strength can carry a result this far.
QString outOfRange(const DoseRow &row, const Strength &strength)
{
    return QStringLiteral(
               "Расчёт выходит за пределы допустимых чисел: проверьте данные препарата (доза %1; %2)")
        .arg(row.describe(QLatin1Char(',')), strength.describe(QLatin1Char(',')));
}

QString notComputedReason(Basis basis)
{
    switch (basis) {
    case Basis::WaterLitre:
        return QStringLiteral("Доза указана на 1 л воды и по массе тела не рассчитывается");
    case Basis::FeedKg:
        return QStringLiteral("Доза указана на 1 кг корма и по массе тела не рассчитывается");
    case Basis::Hive:
        return QStringLiteral("Доза указана на улей и по массе тела не рассчитывается");
    case Basis::SquareMetre:
        return QStringLiteral("Доза указана на 1 м² и по массе тела не рассчитывается");
    case Basis::Kg:
    case Basis::Animal:
        break;
    }
    return {};
}

// A computed value for reading: at most four fraction digits, never rounded to zero.
Decimal computedShown(Decimal value)
{
    const auto shown = Decimal::parse(value.toFixed(4, Rounding::HalfUp));
    if (!shown || (shown->isZero() && !value.isZero()))
        return value;
    return *shown;
}

// |a - b| > b / 10, exactly.
bool moreThanTenPercentApart(Decimal a, Decimal b)
{
    const Decimal diff = a > b ? *a.minus(b) : *b.minus(a);
    const auto tenfold = diff.times(Decimal::fromInt(10), Rounding::Up);
    return !tenfold || *tenfold > b;
}

int digitsOf(Decimal step)
{
    int digits = 0;
    for (qint64 raw = step.raw(); digits < Decimal::Digits && raw % Decimal::One != 0; raw *= 10)
        ++digits;
    return digits;
}

} // namespace

WeightInput parseWeight(const QString &text)
{
    WeightInput input;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        input.refusal = QStringLiteral("Укажите массу тела в килограммах");
        return input;
    }
    const auto kg = Decimal::parse(trimmed);
    if (!kg) {
        input.refusal =
            QStringLiteral("Масса тела — не число: «%1»; пишите цифрами, например 12,5").arg(trimmed);
        return input;
    }
    if (*kg < kMinWeight || *kg > kMaxWeight) {
        input.refusal = weightRange();
        return input;
    }
    input.kg = kg;
    return input;
}

bool doseRowFitsStrength(const DoseRow &row, const Strength &strength)
{
    return row.substance.isNull() || row.substance == strength.substance;
}

bool doseUnitFitsStrength(Unit doseUnit, const Strength &strength)
{
    return convertible(doseUnit, strength.substanceUnit()) || convertible(doseUnit, strength.perUnit);
}

DoseResult computeDose(const DoseRow &row, const Strength &strength, std::optional<Decimal> weightKg)
{
    if (!isComputed(row.basis))
        return refusal(notComputedReason(row.basis));
    if (!doseRowFitsStrength(row, strength))
        return refusal(QStringLiteral("Эта дозировка относится к другому веществу: %1").arg(row.substance));
    const bool perAnimal = row.basis == Basis::Animal;
    if (!perAnimal && (!weightKg || *weightKg < kMinWeight || *weightKg > kMaxWeight))
        return refusal(weightRange());
    // Per N kg ("1 мл на 10 кг") counts the weight in steps of N kg.
    const auto perWeight = perAnimal ? Decimal::fromInt(1) : weightKg->dividedBy(row.perKg, Rounding::HalfUp);
    if (!perWeight)
        return refusal(outOfRange(row, strength));
    const Decimal factor = *perWeight;

    // Substance per measured unit of the form, in the finer of the dose's and the strength's
    // units, so that both convert exactly. A dose in г of the product is measured as it is.
    const bool bySubstance = row.of != DoseOf::Product && convertible(row.unit, strength.substanceUnit());
    if (!bySubstance && (row.of == DoseOf::Substance || !convertible(row.unit, strength.perUnit)))
        return refusal(QStringLiteral("Единицы дозы и концентрации несовместимы: %1 и %2")
                           .arg(unitText(row.unit), unitText(strength.amountUnit)));
    const Unit work = finerUnit(strength.substanceUnit(), row.unit);
    const auto concentration = convert(strength.substanceAmount(), strength.substanceUnit(), work);
    if (!concentration || concentration->isZero())
        return refusal(outOfRange(row, strength));
    const Decimal per = strength.perAmount;

    DoseResult result;
    result.perAnimal = perAnimal;
    result.measuredUnit = strength.perUnit;

    // The exact amounts to measure (on the 10^-9 grid, each bound towards its own side) and
    // the substance they hold.
    std::optional<Decimal> low, high;
    if (bySubstance) {
        const auto from = convert(row.from, row.unit, work), to = convert(row.to, row.unit, work);
        const auto dFrom = from ? from->times(factor, Rounding::Up) : std::nullopt;
        const auto dTo = to ? to->times(factor, Rounding::Down) : std::nullopt;
        if (!dFrom || !dTo)
            return refusal(outOfRange(row, strength));
        const auto pFrom = dFrom->times(per, Rounding::Up), pTo = dTo->times(per, Rounding::Down);
        low = pFrom ? pFrom->dividedBy(*concentration, Rounding::Up) : std::nullopt;
        high = pTo ? pTo->dividedBy(*concentration, Rounding::Down) : std::nullopt;
        result.substanceFrom = row.from.times(factor, Rounding::Up);
        result.substanceTo = row.to.times(factor, Rounding::Down);
        result.substanceUnit = row.unit;
    } else {
        const auto mFrom = convert(row.from, row.unit, strength.perUnit);
        const auto mTo = convert(row.to, row.unit, strength.perUnit);
        low = mFrom ? mFrom->times(factor, Rounding::Up) : std::nullopt;
        high = mTo ? mTo->times(factor, Rounding::Down) : std::nullopt;
        if (low && high) {
            const auto sFrom = low->times(*concentration, Rounding::Up);
            const auto sTo = high->times(*concentration, Rounding::Down);
            result.substanceFrom = sFrom ? sFrom->dividedBy(per, Rounding::Up) : std::nullopt;
            result.substanceTo = sTo ? sTo->dividedBy(per, Rounding::Down) : std::nullopt;
            result.substanceUnit = work;
        }
    }
    if (!low || !high || !result.substanceFrom || !result.substanceTo)
        return refusal(outOfRange(row, strength));
    if (row.single) { // one value: both bounds are the same exact amount
        low = high;
        result.substanceFrom = result.substanceTo;
    }

    // The cap on one dose, in the form's own unit.
    std::optional<Decimal> capMeasured;
    if (row.maxSingle) {
        std::optional<Decimal> capSubstance;
        if (bySubstance && convertible(row.maxSingleUnit, work)) {
            const auto capWork = convert(*row.maxSingle, row.maxSingleUnit, work);
            const auto times = capWork ? capWork->times(per, Rounding::Down) : std::nullopt;
            capMeasured = times ? times->dividedBy(*concentration, Rounding::Down) : std::nullopt;
            capSubstance = convert(*row.maxSingle, row.maxSingleUnit, result.substanceUnit);
        } else if (convertible(row.maxSingleUnit, strength.perUnit)) {
            capMeasured = convert(*row.maxSingle, row.maxSingleUnit, strength.perUnit);
            const auto times =
                capMeasured ? capMeasured->times(*concentration, Rounding::Down) : std::nullopt;
            capSubstance = times ? times->dividedBy(per, Rounding::Down) : std::nullopt;
        } else {
            return refusal(QStringLiteral("Единицы максимальной разовой дозы и дозы несовместимы: %1 и %2")
                               .arg(unitText(row.maxSingleUnit), unitText(row.unit)));
        }
        if (!capMeasured)
            return refusal(outOfRange(row, strength));
        if (*high > *capMeasured) {
            result.capped = true;
            result.cap = *row.maxSingle;
            result.capUnit = row.maxSingleUnit;
            high = capMeasured;
            if (*low > *high)
                low = high;
            if (capSubstance) {
                if (*result.substanceTo > *capSubstance)
                    result.substanceTo = capSubstance;
                if (*result.substanceFrom > *capSubstance)
                    result.substanceFrom = capSubstance;
            }
        }
    }

    // The grid the form can be measured on. A volume under 0,1 мл goes to hundredths, with a
    // warning: an ordinary syringe does not measure it.
    Decimal step = strength.measureStep();
    if (strength.perUnit == Unit::Millilitre && *high < kTenthMl) {
        step = kHundredthMl;
        result.warnings << QStringLiteral("Объём меньше 0,1 мл: обычным шприцем его точно не отмерить");
    }
    result.measuredDigits = digitsOf(step);

    // A capped value never rounds upwards past the cap.
    const Decimal exactLow = *low, exactHigh = *high;
    const auto up = exactLow.roundedTo(step, Rounding::Up);
    const auto down = exactHigh.roundedTo(step, Rounding::Down);
    if (!up || !down)
        return refusal(outOfRange(row, strength));
    if (exactLow != exactHigh && *up <= *down) {
        result.measuredFrom = *up;
        result.measuredTo = *down;
    } else {
        // One amount, or a range with no step inside it: the nearest step, if close enough.
        std::optional<Decimal> nearest;
        if (exactLow == exactHigh)
            nearest = exactLow.roundedTo(step, result.capped ? Rounding::Down : Rounding::HalfUp);
        else
            nearest = result.capped || *exactLow.minus(*down) <= *up->minus(exactHigh) ? down : up;
        if (!nearest)
            return refusal(outOfRange(row, strength));
        // The cap bounds what is measured out too: a step past it gives way to the largest under it.
        bool overCap = false;
        if (capMeasured && *nearest > *capMeasured) {
            nearest = capMeasured->roundedTo(step, Rounding::Down);
            if (!nearest)
                return refusal(outOfRange(row, strength));
            overCap = true;
            result.capped = true;
            result.cap = *row.maxSingle;
            result.capUnit = row.maxSingleUnit;
        }
        const Decimal reference = *nearest < exactLow ? exactLow : exactHigh;
        if (*nearest != reference) {
            if (nearest->isZero() || moreThanTenPercentApart(*nearest, reference)) {
                return refusal(
                    QStringLiteral("Отмерить точно нельзя: по расчёту нужно %1, а ближайшее, что можно "
                                   "отмерить%3, — %2 (разница больше 10 %)")
                        .arg(amountText(computedShown(exactLow), computedShown(exactHigh),
                                        unitWordFor(strength.perUnit, exactHigh)),
                             amountText(*nearest, unitWordFor(strength.perUnit, *nearest)),
                             overCap ? QStringLiteral(", не превышая максимальной разовой дозы")
                                     : QString()));
            }
            result.rounded = true;
            result.computedFrom = exactLow;
            result.computedTo = exactHigh;
        }
        result.measuredFrom = *nearest;
        result.measuredTo = *nearest;
    }
    if (result.capped)
        result.warnings << QStringLiteral("Доза ограничена максимальной разовой дозой: %1")
                               .arg(amountText(result.cap, unitText(result.capUnit)));
    if (perAnimal)
        result.warnings << QStringLiteral("Доза на животное: от массы тела не зависит");
    return result;
}

QString DoseResult::measuredText(QChar separator) const
{
    if (!ok())
        return {};
    // On the form's grid already, so the shortest digits are the grid's.
    const auto amount = [separator](Decimal from, Decimal to, const QString &unit) {
        if (separator == QLatin1Char(','))
            return amountText(from, to, unit);
        QString text = from.toString(separator);
        if (to != from)
            text += QStringLiteral("–") + to.toString(separator);
        return text + QLatin1Char(' ') + unit;
    };
    const QString text = amount(measuredFrom, measuredTo, unitWordFor(measuredUnit, measuredTo));
    if (!rounded)
        return text;
    return QStringLiteral("≈ %1 (расчёт: %2)")
        .arg(text, amount(computedShown(computedFrom), computedShown(computedTo),
                          unitWordFor(measuredUnit, computedTo)));
}

QString DoseResult::substanceText() const
{
    if (!ok() || !substanceFrom || !substanceTo)
        return {};
    return amountText(computedShown(*substanceFrom), computedShown(*substanceTo), unitText(substanceUnit));
}

QString unitWordFor(Unit unit, Decimal value)
{
    static const char *const forms[][3] = {
        {"таблетка", "таблетки", "таблеток"},
        {"болюс", "болюса", "болюсов"},
        {"капсула", "капсулы", "капсул"},
        {"пипетка", "пипетки", "пипеток"},
        {"доза", "дозы", "доз"},
    };
    int row = -1;
    switch (unit) {
    case Unit::Tablet:
        row = 0;
        break;
    case Unit::Bolus:
        row = 1;
        break;
    case Unit::Capsule:
        row = 2;
        break;
    case Unit::Pipette:
        row = 3;
        break;
    case Unit::Dose:
        row = 4;
        break;
    default:
        return unitText(unit);
    }
    if (!value.isWhole()) // 1,5 таблетки
        return QString::fromUtf8(forms[row][1]);
    const qint64 n = value.raw() / Decimal::One;
    const qint64 lastTwo = n % 100, last = n % 10;
    if (last == 1 && lastTwo != 11)
        return QString::fromUtf8(forms[row][0]);
    if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14))
        return QString::fromUtf8(forms[row][1]);
    return QString::fromUtf8(forms[row][2]);
}
