// The closed list of units that doses, strengths and withdrawal periods may use, and the one
// place where a quantity changes unit. Nothing else compares unit strings.
#pragma once

#include "answers/decimal.h"

#include <QString>
#include <optional>

enum class Unit {
    Microgram,  // мкг
    Milligram,  // мг
    Gram,       // г
    IU,         // МЕ
    Millilitre, // мл
    Tablet,     // таблетка
    Bolus,      // болюс
    Capsule,    // капсула
    Pipette,    // пипетка
    Dose,       // доза (a vaccine or a ready single dose)
    Percent,    // % (strengths only)
};

// What a unit measures; only units of one kind convert, and a countable form only to itself.
enum class UnitKind { Mass, IU, Volume, Countable, Percent };

// The unit written exactly as in the list ("мг", "таблетка"); anything else is none.
std::optional<Unit> unitFromText(const QString &text);
QString unitText(Unit unit);
UnitKind unitKind(Unit unit);
bool isCountable(Unit unit);
// The countable forms that may be given in parts (halves, quarters): tablets and boluses.
// Capsules, pipettes and ready doses are given whole.
bool isDivisible(Unit unit);

// Whether a quantity in `from` can be expressed in `to` (мкг/мг/г among themselves, МЕ, мл and
// each countable form only to itself, % to nothing).
bool convertible(Unit from, Unit to);
// The one conversion: none when the units are not convertible or the value leaves the range.
// Exact: the factors are powers of ten and the grid is fine enough for a microgram of a gram.
std::optional<Decimal> convert(Decimal value, Unit from, Unit to);
// Of two convertible units, the one into which both convert exactly (мкг of мкг and мг).
Unit finerUnit(Unit a, Unit b);

// What a dose is counted per. Only Kg and Animal are computed; the others are shown as written.
enum class Basis { Kg, Animal, WaterLitre, FeedKg, Hive, SquareMetre };

// "kg", "animal", "water_l", "feed_kg", "hive", "m2"; anything else is none.
std::optional<Basis> basisFromText(const QString &text);
// A basis as written in a row: one of the above, or "N kg" (per N kg of body weight, N a
// positive number with a point); `perKg` gets N (1 for plain "kg"). Programs that know only
// the words above take "10 kg" for an unknown basis and leave the row out.
std::optional<Basis> parseBasis(const QString &text, Decimal *perKg);
QString basisText(Basis basis);
bool isComputed(Basis basis);
