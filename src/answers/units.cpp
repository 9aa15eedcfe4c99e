// Unit names, kinds and the single conversion function.
#include "answers/units.h"

namespace {

struct UnitName
{
    Unit unit;
    const char *text;
};

constexpr UnitName unitNames[] = {
    {Unit::Microgram, "мкг"}, {Unit::Milligram, "мг"},    {Unit::Gram, "г"},
    {Unit::IU, "МЕ"},         {Unit::Millilitre, "мл"},   {Unit::Tablet, "таблетка"},
    {Unit::Bolus, "болюс"},   {Unit::Capsule, "капсула"}, {Unit::Pipette, "пипетка"},
    {Unit::Dose, "доза"},     {Unit::Percent, "%"},
};

struct BasisName
{
    Basis basis;
    const char *text;
};

constexpr BasisName basisNames[] = {
    {Basis::Kg, "kg"},          {Basis::Animal, "animal"}, {Basis::WaterLitre, "water_l"},
    {Basis::FeedKg, "feed_kg"}, {Basis::Hive, "hive"},     {Basis::SquareMetre, "m2"},
};

// Micrograms in one unit of mass.
qint64 microgramsIn(Unit unit)
{
    switch (unit) {
    case Unit::Gram:
        return 1000000;
    case Unit::Milligram:
        return 1000;
    default:
        return 1;
    }
}

} // namespace

std::optional<Unit> unitFromText(const QString &text)
{
    for (const UnitName &name : unitNames) {
        if (text == QString::fromUtf8(name.text))
            return name.unit;
    }
    return std::nullopt;
}

QString unitText(Unit unit)
{
    for (const UnitName &name : unitNames) {
        if (name.unit == unit)
            return QString::fromUtf8(name.text);
    }
    return {};
}

UnitKind unitKind(Unit unit)
{
    switch (unit) {
    case Unit::Microgram:
    case Unit::Milligram:
    case Unit::Gram:
        return UnitKind::Mass;
    case Unit::IU:
        return UnitKind::IU;
    case Unit::Millilitre:
        return UnitKind::Volume;
    case Unit::Percent:
        return UnitKind::Percent;
    case Unit::Tablet:
    case Unit::Bolus:
    case Unit::Capsule:
    case Unit::Pipette:
    case Unit::Dose:
        break;
    }
    return UnitKind::Countable;
}

bool isCountable(Unit unit)
{
    return unitKind(unit) == UnitKind::Countable;
}

bool isDivisible(Unit unit)
{
    return unit == Unit::Tablet || unit == Unit::Bolus;
}

bool convertible(Unit from, Unit to)
{
    if (unitKind(from) == UnitKind::Mass)
        return unitKind(to) == UnitKind::Mass;
    return from == to && from != Unit::Percent;
}

std::optional<Decimal> convert(Decimal value, Unit from, Unit to)
{
    if (!convertible(from, to))
        return std::nullopt;
    if (unitKind(from) != UnitKind::Mass || from == to)
        return value;
    const qint64 fromFactor = microgramsIn(from);
    const qint64 toFactor = microgramsIn(to);
    // Towards the smaller unit the product is exact; towards the larger one nothing may fall below
    // the grid, else the conversion is refused rather than silently rounded.
    if (fromFactor > toFactor)
        return value.times(Decimal::fromInt(fromFactor / toFactor), Rounding::Down);
    const auto converted = value.dividedBy(Decimal::fromInt(toFactor / fromFactor), Rounding::Down);
    if (!converted || converted->times(Decimal::fromInt(toFactor / fromFactor), Rounding::Down) != value)
        return std::nullopt; // finer than the grid in the larger unit: not exact, so refused
    return converted;
}

Unit finerUnit(Unit a, Unit b)
{
    if (unitKind(a) == UnitKind::Mass && unitKind(b) == UnitKind::Mass)
        return microgramsIn(a) <= microgramsIn(b) ? a : b;
    return a;
}

std::optional<Basis> basisFromText(const QString &text)
{
    for (const BasisName &name : basisNames) {
        if (text == QLatin1String(name.text))
            return name.basis;
    }
    return std::nullopt;
}

std::optional<Basis> parseBasis(const QString &text, Decimal *perKg)
{
    *perKg = Decimal::fromInt(1);
    if (text.endsWith(QLatin1String(" kg"))) {
        const auto n = Decimal::parse(text.chopped(3));
        if (!n || *n <= Decimal() || text.contains(QLatin1Char(',')))
            return std::nullopt;
        *perKg = *n;
        return Basis::Kg;
    }
    return basisFromText(text);
}

QString basisText(Basis basis)
{
    for (const BasisName &name : basisNames) {
        if (name.basis == basis)
            return QLatin1String(name.text);
    }
    return {};
}

bool isComputed(Basis basis)
{
    return basis == Basis::Kg || basis == Basis::Animal;
}
