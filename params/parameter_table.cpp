#include "params/parameter_table.h"

#include <algorithm>

namespace moravel {
namespace {

// ---- Accessors: one instantiation per member, so each row holds plain function pointers.

template <auto Member>
std::int32_t& scalarLong(ParameterSet& s, std::size_t)
{
    return s.*Member;
}

template <auto Member>
std::int32_t& quadLong(ParameterSet& s, std::size_t axis)
{
    return (s.*Member)[axis];
}

template <auto Member, std::size_t Axis>
std::int32_t& axisLong(ParameterSet& s, std::size_t)
{
    return (s.*Member)[Axis];
}

template <auto Member>
float& scalarFloat(ParameterSet& s)
{
    return s.*Member;
}

template <auto Member, std::size_t Axis>
float& axisFloat(ParameterSet& s)
{
    return (s.*Member)[Axis];
}

std::int32_t& homingLong(ParameterSet& s, std::size_t i) { return i < 4 ? s.Richtung[i] : s.Reihenfolge[i - 4]; }

std::string& controllerNameText(ParameterSet& s) { return s.controllerName; }

// ---- Element lists.

using Elements = std::array<ElementInfo, 8>;

constexpr Elements scalarElement(std::string_view name, std::string_view text, double def, double lo, double hi)
{
    return {{{name, text, def, lo, hi}}};
}

constexpr Elements quadrupleElements(std::array<std::string_view, 4> names, std::string_view text, double def,
                                     double lo, double hi)
{
    return {{{names[0], text, def, lo, hi},
             {names[1], text, def, lo, hi},
             {names[2], text, def, lo, hi},
             {names[3], text, def, lo, hi}}};
}

// ---- Enumerated value texts.

constexpr std::string_view kSignalTexts[] = {"Low aktiv", "High aktiv", "deaktiv"};
constexpr std::string_view kHomingDirectionTexts[] = {"positive", "negative", "wird nicht referenziert"};
constexpr std::string_view kAxisConfigTexts[] = {"linear", "rotativ", "deaktiv"};
constexpr std::string_view kToolChangeTexts[] = {"ignorieren", "an Parkposition", "an aktueller Position",
                                                 "nur Parameter übernehmen"};
constexpr std::string_view kHomingTimeTexts[] = {"nur Manuell", "auch beim Einschalten",
                                                 "zusätzlich vor Programmstart"};
constexpr std::string_view kUnknownCommandTexts[] = {"ignorieren", "abbrechen", "fragen"};

// ---- The table.

using Kind = ParameterKind;
using Shape = ExchangeShape;
using Form = MessageForm;
using Control = DialogControl;

// Speed fields: a file may hold 0.01 mm/s and up, the dialog accepts 0.1 mm/s and up.
constexpr double kSpeedMin = 0.01;
constexpr double kSpeedDialogMin = 0.1;
constexpr double kPosition = 32767; // mm, either way from the origin

// A row's key and the name of its item constant, which is taken from the constant itself.
#define KEY(group, item) .key = ParameterKey(group, item), .itemMacro = #item

// One row per key. Fields left out keep ParameterInfo's defaults (empty texts, zero ranges,
// null accessors).
constexpr ParameterInfo kTable[] = {
    // Motortest
    {KEY(HBYTE_MOTORTEST, LBYTE_MOTORTEST_WEGLAENGE_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Weglänge", "400 Schritte", 400, 0, 65535), .control = Control::Number,
     .dialogLabel = "Weglänge ( Schritte )", .dialogMin = 0, .dialogMax = 65535,
     .longAt = &scalarLong<&ParameterSet::motortestWeglaenge>},
    {KEY(HBYTE_MOTORTEST, LBYTE_MOTORTEST_START_STOP_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Start-Stop Geschwindigkeit", "0.5 mm/s", 0.5, kSpeedMin, 999),
     .control = Control::Number, .dialogLabel = "Start/Stop Geschwindigkeit ( mm/s )", .dialogMin = kSpeedDialogMin,
     .dialogMax = 999, .floatAt = &scalarFloat<&ParameterSet::motortestStartStop>},
    {KEY(HBYTE_MOTORTEST, LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Maximalgeschwindigkeit", "10.0 mm/s", 10.0, kSpeedMin, 999), .control = Control::Number,
     .dialogLabel = "Fahrgeschwindigkeit ( mm/s )", .dialogMin = kSpeedDialogMin, .dialogMax = 999,
     .floatAt = &scalarFloat<&ParameterSet::motortestMaxGeschwindigkeit>},
    {KEY(HBYTE_MOTORTEST, LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Motortestbeschleunigung", "10 mm/s²", 10, 1, 999), .control = Control::Number,
     .dialogLabel = "Beschleunigung  ( mm/s*s )", .dialogMin = 1, .dialogMax = 999,
     .longAt = &scalarLong<&ParameterSet::motortestBeschleunigung>},

    // Geschwindigkeiten
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Startgeschwindigkeit", "0.5 mm/s", 0.5, kSpeedMin, 999), .control = Control::Number,
     .dialogLabel = "Start/Stop Geschwindigkeit ( mm/s )", .dialogMin = kSpeedDialogMin, .dialogMax = 999,
     .floatAt = &scalarFloat<&ParameterSet::startStopGeschwindigkeit>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Fahrgeschwindigkeit", "4.0 mm/s", 4.0, kSpeedMin, 999), .control = Control::Number,
     .dialogLabel = "Fahrgeschwindigkeit ( mm/s )", .dialogMin = kSpeedDialogMin, .dialogMax = 999,
     .floatAt = &scalarFloat<&ParameterSet::fahrGeschwindigkeit>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Eilgang", "10.0 mm/s", 10.0, kSpeedMin, 999), .control = Control::Number,
     .dialogLabel = "Eilgang ( mm/s )", .dialogMin = kSpeedDialogMin, .dialogMax = 999,
     .floatAt = &scalarFloat<&ParameterSet::eilgang>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT), .kind = Kind::Float,
     .shape = Shape::Float, .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("'Manuelles Fahren langsam'", "0.5 mm/s", 0.5, kSpeedMin, 999),
     .control = Control::Number, .dialogLabel = "Manuelles Fahren langsam ( mm/s )", .dialogMin = kSpeedDialogMin,
     .dialogMax = 999, .floatAt = &scalarFloat<&ParameterSet::manuellLangsam>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT), .kind = Kind::Float,
     .shape = Shape::Float, .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("'Manuelles Fahren schnell'", "2.5 mm/s", 2.5, kSpeedMin, 999),
     .control = Control::Number, .dialogLabel = "Manuelles Fahren schnell ( mm/s )", .dialogMin = kSpeedDialogMin,
     .dialogMax = 999, .floatAt = &scalarFloat<&ParameterSet::manuellSchnell>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT), .kind = Kind::Float,
     .shape = Shape::Float, .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Referenzfahrt", "2.5 mm/s", 2.5, kSpeedMin, 999), .control = Control::Number,
     .dialogLabel = "Referenzfahrt ( mm/s )", .dialogMin = kSpeedDialogMin, .dialogMax = 999,
     .floatAt = &scalarFloat<&ParameterSet::referenzfahrtGeschwindigkeit>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT), .kind = Kind::Float,
     .shape = Shape::Float, .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Referenzfahrt (freifahren)", "0.5 mm/s", 0.5, kSpeedMin, 999),
     .control = Control::Number, .dialogLabel = "Referenzfahrt (frei fahren) ( mm/s )", .dialogMin = kSpeedDialogMin,
     .dialogMax = 999, .floatAt = &scalarFloat<&ParameterSet::referenzfahrtFreiGeschwindigkeit>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG), .kind = Kind::Long,
     .shape = Shape::Long, .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Beschleunigung", "4 mm/s²", 4, 1, 999), .control = Control::Number,
     .dialogLabel = "Beschleunigung  ( mm/s*s )", .dialogMin = 1, .dialogMax = 999,
     .longAt = &scalarLong<&ParameterSet::beschleunigung>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG), .kind = Kind::Long, .shape = Shape::None,
     .messageForm = Form::Regular, .elementCount = 1, .elements = scalarElement("Bremswinkel", "0 grad", 0, 0, 45),
     .control = Control::Number, .dialogLabel = "Bremswinkel  ( grad )", .dialogFrame = "Noch nicht verwendet",
     .dialogMin = 0, .dialogMax = 45, .longAt = &scalarLong<&ParameterSet::bremswinkel>},
    {KEY(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG), .kind = Kind::Long, .shape = Shape::None,
     .messageForm = Form::Regular, .elementCount = 1, .elements = scalarElement("Umschaltzeit", "0 ms", 0, 0, 1000),
     .control = Control::Number, .dialogLabel = "Umschaltzeit ( ms )", .dialogFrame = "Noch nicht verwendet",
     .dialogMin = 0, .dialogMax = 1000, .longAt = &scalarLong<&ParameterSet::umschaltzeit>},

    // Schnittstelle
    {KEY(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Signal, .elementCount = 1,
     .elements = scalarElement("Zusatzsignal Spindel", "deaktiv", 3, 1, 3), .control = Control::Combo,
     .dialogLabel = "Zusatzsignal Spindel", .dialogMin = 1, .dialogMax = 3, .dialogMaxChars = 10,
     .valueTexts = kSignalTexts, .firstValue = 1, .longAt = &scalarLong<&ParameterSet::zusatzsignalSpindel>},
    {KEY(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Signal, .elementCount = 1,
     .elements = scalarElement("Zusatzsignal Kühlung", "deaktiv", 3, 1, 3), .control = Control::Combo,
     .dialogLabel = "Zusatzsignal Kühlung", .dialogMin = 1, .dialogMax = 3, .dialogMaxChars = 10,
     .valueTexts = kSignalTexts, .firstValue = 1, .longAt = &scalarLong<&ParameterSet::zusatzsignalKuehlung>},
    {KEY(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG), .kind = Kind::Long,
     .shape = Shape::Long, .messageForm = Form::Signal, .elementCount = 1,
     .elements = scalarElement("Zusatzsignal Stromabsenkung", "deaktiv", 3, 1, 3), .control = Control::Combo,
     .dialogLabel = "Zusatzsignal Stromabsenkung", .dialogMin = 1, .dialogMax = 3, .dialogMaxChars = 10,
     .valueTexts = kSignalTexts, .firstValue = 1, .listHasEmptyEntry = true,
     .longAt = &scalarLong<&ParameterSet::zusatzsignalStromabsenkung>},
    {KEY(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Signal, .elementCount = 1,
     .elements = scalarElement("Zusatzsignal Boost", "deaktiv", 3, 1, 3), .control = Control::Combo,
     .dialogLabel = "Zusatzsignal Boost", .dialogMin = 1, .dialogMax = 3, .dialogMaxChars = 10,
     .valueTexts = kSignalTexts, .firstValue = 1, .listHasEmptyEntry = true,
     .longAt = &scalarLong<&ParameterSet::zusatzsignalBoost>},

    // Referenzfahrt: items 0 to 3 are reserved, item 4 holds the direction and the axis of
    // each homing step.
    {.key = ParameterKey(HBYTE_REFERENZFAHRT, 0)},
    {.key = ParameterKey(HBYTE_REFERENZFAHRT, 1)},
    {.key = ParameterKey(HBYTE_REFERENZFAHRT, 2)},
    {.key = ParameterKey(HBYTE_REFERENZFAHRT, 3)},
    {KEY(HBYTE_REFERENZFAHRT, LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR), .kind = Kind::HomingRecord,
     .shape = Shape::EightBytes, .messageForm = Form::Regular, .elementCount = 8,
     .elements = {{
         {"Richtung[0]", "1-negative", 1, 0, 2},
         {"Richtung[1]", "1-negative", 1, 0, 2},
         {"Richtung[2]", "0-positive", 0, 0, 2},
         {"Richtung[3]", "0-positive", 0, 0, 2},
         {"Reihenfolge[0]", "2=Z", 2, 0, 3},
         {"Reihenfolge[1]", "1=Y", 1, 0, 3},
         {"Reihenfolge[2]", "0=X", 0, 0, 3},
         {"Reihenfolge[3]", "3=C", 3, 0, 3},
     }},
     .control = Control::Homing, .dialogMaxChars = 23, .valueTexts = kHomingDirectionTexts, .firstValue = 0,
     .listSorted = true, .longAt = &homingLong},

    // Mechanik
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Auflösung X", "100.0 Schritte/mm", 100.0, 0.1, 999), .control = Control::Number,
     .dialogLabel = "Auflösung", .dialogMin = 0.1, .dialogMax = 999,
     .floatAt = &axisFloat<&ParameterSet::aufloesung, kAxisX>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Auflösung Y", "100.0 Schritte/mm", 100.0, 0.1, 999), .control = Control::Number,
     .dialogLabel = "Auflösung", .dialogMin = 0.1, .dialogMax = 999,
     .floatAt = &axisFloat<&ParameterSet::aufloesung, kAxisY>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Auflösung Z", "100.0 Schritte/mm", 100.0, 0.1, 999), .control = Control::Number,
     .dialogLabel = "Auflösung", .dialogMin = 0.1, .dialogMax = 999,
     .floatAt = &axisFloat<&ParameterSet::aufloesung, kAxisZ>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT), .kind = Kind::Float, .shape = Shape::Float,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Auflösung C", "100.0 Schritte/mm", 100.0, 0.1, 999), .control = Control::Number,
     .dialogLabel = "Auflösung", .dialogMin = 0.1, .dialogMax = 999,
     .floatAt = &axisFloat<&ParameterSet::aufloesung, kAxisC>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Umkehrspiel X", "0 Schritte", 0, 0, 500), .control = Control::Number,
     .dialogLabel = "Umkehrspiel", .dialogMin = 0, .dialogMax = 500,
     .longAt = &axisLong<&ParameterSet::umkehrspiel, kAxisX>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Umkehrspiel Y", "0 Schritte", 0, 0, 500), .control = Control::Number,
     .dialogLabel = "Umkehrspiel", .dialogMin = 0, .dialogMax = 500,
     .longAt = &axisLong<&ParameterSet::umkehrspiel, kAxisY>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Umkehrspiel Z", "0 Schritte", 0, 0, 500), .control = Control::Number,
     .dialogLabel = "Umkehrspiel", .dialogMin = 0, .dialogMax = 500,
     .longAt = &axisLong<&ParameterSet::umkehrspiel, kAxisZ>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Umkehrspiel C", "0 Schritte", 0, 0, 500), .control = Control::Number,
     .dialogLabel = "Umkehrspiel", .dialogMin = 0, .dialogMax = 500,
     .longAt = &axisLong<&ParameterSet::umkehrspiel, kAxisC>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG), .kind = Kind::AxisQuadruple, .shape = Shape::FourLongs,
     .messageForm = Form::Regular, .elementCount = 4,
     .elements = quadrupleElements({"Richtungsumkehr X", "Richtungsumkehr Y", "Richtungsumkehr Z", "Richtungsumkehr C"},
                                   "0-Aus", 0, 0, 1),
     .control = Control::CheckBox, .dialogLabel = "Richtungsumkehr", .dialogMin = 0, .dialogMax = 1,
     .longAt = &quadLong<&ParameterSet::richtungsumkehr>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG), .kind = Kind::AxisQuadruple,
     .shape = Shape::FourLongs, .messageForm = Form::Regular, .elementCount = 4,
     .elements = quadrupleElements(
         {"'Verfahrbereich von' X", "'Verfahrbereich von' Y", "'Verfahrbereich von' Z", "'Verfahrbereich von' C"},
         "0 mm", 0, -kPosition, kPosition),
     .control = Control::Number, .dialogLabel = "Verfahrbereich", .dialogColumn = "von", .dialogMin = -kPosition,
     .dialogMax = kPosition, .longAt = &quadLong<&ParameterSet::verfahrbereichVon>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG), .kind = Kind::AxisQuadruple,
     .shape = Shape::FourLongs, .messageForm = Form::Regular, .elementCount = 4,
     .elements = {{
         {"'Verfahrbereich bis' X", "100 mm", 100, -kPosition, kPosition},
         {"'Verfahrbereich bis' Y", "100 mm", 100, -kPosition, kPosition},
         {"'Verfahrbereich bis' Z", "50 mm", 50, -kPosition, kPosition},
         {"'Verfahrbereich bis' C", "50 mm", 50, -kPosition, kPosition},
     }},
     .control = Control::Number, .dialogLabel = "Verfahrbereich", .dialogColumn = "bis", .dialogMin = -kPosition,
     .dialogMax = kPosition, .longAt = &quadLong<&ParameterSet::verfahrbereichBis>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_PARKPOSITION_LONG), .kind = Kind::AxisQuadruple, .shape = Shape::FourLongs,
     .messageForm = Form::Regular, .elementCount = 4,
     .elements = quadrupleElements({"Parkposition X", "Parkposition Y", "Parkposition Z", "Parkposition C"}, "0 mm", 0,
                                   -kPosition, kPosition),
     .control = Control::Number, .dialogLabel = "Parkposition", .dialogMin = -kPosition, .dialogMax = kPosition,
     .longAt = &quadLong<&ParameterSet::parkposition>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_NULLPUNKT_LONG), .kind = Kind::AxisQuadruple, .shape = Shape::FourLongs,
     .messageForm = Form::Regular, .elementCount = 4,
     .elements = quadrupleElements({"Nullpunkt X", "Nullpunkt Y", "Nullpunkt Z", "Nullpunkt C"}, "0 mm", 0, -kPosition,
                                   kPosition),
     .control = Control::Number, .dialogLabel = "Nullpunkt", .dialogMin = -kPosition, .dialogMax = kPosition,
     .longAt = &quadLong<&ParameterSet::nullpunkt>},
    {KEY(HBYTE_MECHANIK, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR), .kind = Kind::EnumQuadruple,
     .shape = Shape::FourBytes, .messageForm = Form::Regular, .elementCount = 4,
     .elements = quadrupleElements(
         {"Achsenconfiguration X", "Achsenconfiguration Y", "Achsenconfiguration Z", "Achsenconfiguration C"},
         "0-linear", 0, 0, 2),
     .control = Control::Combo, .dialogLabel = "Achsenconfig", .dialogMin = 0, .dialogMax = 2, .dialogMaxChars = 8,
     .valueTexts = kAxisConfigTexts, .firstValue = 0, .longAt = &quadLong<&ParameterSet::achsenconfiguration>},

    // Sonstige
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::BreakLate, .elementCount = 1,
     .elements = scalarElement("Werkzeugwechsel", "4-nur Parameter übernehmen", 4, 1, 4), .control = Control::Combo,
     .dialogLabel = "Werkzeugwechsel", .dialogMin = 1, .dialogMax = 4, .dialogMaxChars = 24,
     .valueTexts = kToolChangeTexts, .firstValue = 1, .longAt = &scalarLong<&ParameterSet::werkzeugwechsel>},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("'Referenzfahrt Zeitpunkt'", "1-nur Manuell", 1, 1, 3), .control = Control::Combo,
     .dialogLabel = "Referenzfahrt Zeitpunkt", .dialogMin = 1, .dialogMax = 3, .dialogMaxChars = 28,
     .valueTexts = kHomingTimeTexts, .firstValue = 1, .longAt = &scalarLong<&ParameterSet::referenzfahrtZeitpunkt>},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1, .elements = scalarElement("Spindelhochlauf", "0 ms", 0, 0, 5000),
     .control = Control::Number, .dialogLabel = "Spindelhochlauf ( Zeit in ms )", .dialogMin = 0, .dialogMax = 5000,
     .longAt = &scalarLong<&ParameterSet::spindelhochlauf>},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Werkzeuganschnitt", "0 ms", 0, 0, 5000), .control = Control::Number,
     .dialogLabel = "Werkzeuganschnitt ( Zeit in ms )", .dialogMin = 0, .dialogMax = 5000,
     .longAt = &scalarLong<&ParameterSet::werkzeuganschnitt>},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("'Unbekannte Programmbefehle'", "1-ignorieren", 1, 1, 3), .control = Control::Combo,
     .dialogLabel = "Unbekannte Programmbefele", .dialogMin = 1, .dialogMax = 3, .dialogMaxChars = 10,
     .valueTexts = kUnknownCommandTexts, .firstValue = 1,
     .longAt = &scalarLong<&ParameterSet::unbekannteProgrammbefehle>},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_CONTROLLERNAME_CHAR), .kind = Kind::String, .shape = Shape::Text16,
     .messageForm = Form::None, .control = Control::Text, .dialogLabel = "Controllername", .dialogMaxChars = 16,
     .textAt = &controllerNameText},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG), .kind = Kind::Long, .shape = Shape::Long,
     .messageForm = Form::Regular, .elementCount = 1,
     .elements = scalarElement("Sicherheitsabstand", "0 mm", 0, 0, 255), .control = Control::Number,
     .dialogLabel = "Sicherheitsabstand ( mm )", .dialogMin = 0, .dialogMax = 255,
     .longAt = &scalarLong<&ParameterSet::sicherheitsabstand>},
    {KEY(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WEITERE_LONG), .kind = Kind::Long, .shape = Shape::None,
     .messageForm = Form::Regular, .elementCount = 1, .elements = scalarElement("Weitere", "0 ms", 0, 0, 0),
     .control = Control::Number, .dialogLabel = "Weitere", .dialogMin = 0, .dialogMax = 0,
     .longAt = &scalarLong<&ParameterSet::weitere>},
};

#undef KEY

static_assert(std::size(kTable) == 45, "the table has one row per key");

constexpr bool ascending()
{
    for (std::size_t i = 1; i < std::size(kTable); ++i)
        if (!(kTable[i - 1].key < kTable[i].key))
            return false;
    return true;
}
static_assert(ascending(), "rows are in ascending key order");

constexpr bool groupsIndexedByNumber()
{
    for (std::size_t i = 0; i < kParameterGroups.size(); ++i)
        if (kParameterGroups[i].number != i)
            return false;
    return true;
}
static_assert(groupsIndexedByNumber(), "kParameterGroups[g] describes group g");

// LBYTE_<group>_..., where HBYTE_<group> is the row's group; reserved rows have no macro.
constexpr bool itemMacroMatchesGroup(const ParameterInfo& p)
{
    if (p.kind == ParameterKind::Reserved)
        return p.itemMacro.empty();
    const std::string_view group = p.groupMacro().substr(std::string_view("HBYTE_").size());
    std::string_view item = p.itemMacro;
    if (!item.starts_with("LBYTE_"))
        return false;
    item.remove_prefix(std::string_view("LBYTE_").size());
    return item.starts_with(group) && item.substr(group.size()).starts_with('_');
}

// The element count follows from the kind. (Which accessor a row sets is checked by the
// table test: a sanitizer build cannot compare function addresses at compile time.)
constexpr bool shapedByKind(const ParameterInfo& p)
{
    std::size_t count = 0;
    switch (p.kind) {
    case ParameterKind::Long:
    case ParameterKind::Float:
        count = 1;
        break;
    case ParameterKind::AxisQuadruple:
    case ParameterKind::EnumQuadruple:
        count = 4;
        break;
    case ParameterKind::HomingRecord:
        count = 8;
        break;
    case ParameterKind::String:
    case ParameterKind::Reserved:
        count = 0;
        break;
    }
    return p.elementCount == count;
}

constexpr bool rowsConsistent()
{
    for (const ParameterInfo& p : kTable)
        if (!itemMacroMatchesGroup(p) || !shapedByKind(p))
            return false;
    return true;
}
static_assert(rowsConsistent(), "every row's item macro names its group, and its kind fixes its element count");

constexpr std::size_t exchangedCount()
{
    std::size_t n = 0;
    for (const ParameterInfo& p : kTable)
        n += p.isExchanged() ? 1 : 0;
    return n;
}
static_assert(exchangedCount() == 38, "38 keys are exchanged with the controller");

struct ExchangeList {
    std::array<const ParameterInfo*, exchangedCount()> rows{};
    constexpr ExchangeList()
    {
        std::size_t n = 0;
        for (const ParameterInfo& p : kTable)
            if (p.isExchanged())
                rows[n++] = &p;
    }
};
constexpr ExchangeList kExchangeList;

} // namespace

bool isValidHomingOrder(const std::array<std::int32_t, 4>& reihenfolge)
{
    unsigned mask = 0;
    for (std::int32_t axis : reihenfolge)
        if (axis >= 0 && axis < 8)
            mask |= 1u << axis;
    return (mask & 0xFFu) == 0x0Fu;
}

std::span<const ParameterInfo> parameterTable() { return kTable; }

const ParameterInfo* findParameter(std::int32_t key)
{
    if (key < 0 || key > 0xFFFF)
        return nullptr;
    const ParameterKey k(static_cast<std::uint16_t>(key));
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), k,
                                      [](const ParameterInfo& p, ParameterKey v) { return p.key < v; });
    return it != std::end(kTable) && it->key == k ? it : nullptr;
}

std::span<const ParameterInfo* const> exchangeList() { return kExchangeList.rows; }

std::string_view enumText(const ParameterInfo& p, std::int32_t value)
{
    const std::int64_t index = std::int64_t{value} - p.firstValue;
    if (index >= 0 && index < static_cast<std::int64_t>(p.valueTexts.size()))
        return p.valueTexts[static_cast<std::size_t>(index)];
    return p.valueTexts.back();
}

std::int32_t enumValue(const ParameterInfo& p, std::string_view text)
{
    for (std::size_t i = 0; i < p.valueTexts.size(); ++i)
        if (p.valueTexts[i] == text)
            return p.firstValue + static_cast<std::int32_t>(i);
    return p.firstValue + static_cast<std::int32_t>(p.valueTexts.size()) - 1;
}

std::string validationMessage(const ParameterInfo& p, std::size_t element)
{
    const ElementInfo& e = p.elements[element];
    std::string text;
    text.append(p.groupName()).append(" -> ").append(e.messageName);
    switch (p.messageForm) {
    case MessageForm::Signal:
        text.append(" war ungültig\nund ist mit '").append(e.defaultText).append("' initialisiert.\n");
        text.append("Bitte definieren Sie den Signal richtig im Dialog.");
        return text;
    case MessageForm::BreakLate:
        text.append(" war ungültig und ist mit\nDEFAULT Wert (");
        break;
    case MessageForm::Regular:
    case MessageForm::None:
        text.append(" war ungültig\nund ist mit DEFAULT Wert (");
        break;
    }
    text.append(e.defaultText).append(") initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.");
    return text;
}

std::string syntaxErrorMessage(SyntaxError error, int lineNumber)
{
    std::string_view what;
    switch (error) {
    case SyntaxError::NoEquals:
        what = "Kein '=' vorhanden";
        break;
    case SyntaxError::NoKey:
        what = "Kein HB LB vorhanden";
        break;
    case SyntaxError::NoValue:
        what = "Kein Wert vorhanden";
        break;
    case SyntaxError::BadKey:
        what = "Syntax Error in HB LB";
        break;
    case SyntaxError::BadValue:
        what = "Syntax Error im Wert";
        break;
    }
    std::string text(what);
    text.append(". Sieh NC-Travo_USB_Param.ncp, Zeile ").append(std::to_string(lineNumber));
    text.append(".\nBitte beenden Sie das Programm und korigieren Sie den File");
    return text;
}

std::string readErrorMessage(const ParameterInfo& p)
{
    std::string text = "Fehler bei ParameterLesen    ";
    text.append(p.groupMacro()).append("  ").append(p.itemMacro).append(".");
    return text;
}

// The transfer messages follow the read messages' rule except in three places, whose texts
// the users know: six blanks for the Mechanik group, a missing "L" for 0x0202, and one blank
// between the names for the controller name.
std::string transferErrorMessage(const ParameterInfo& p)
{
    std::string text = "Fehler bei Parameterübertragung";
    text.append(p.key.group() == HBYTE_MECHANIK ? "      " : "    ");
    text.append(p.groupMacro());
    const ParameterKey stromabsenkung(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG);
    const ParameterKey name(HBYTE_SONSTIGE, LBYTE_SONSTIGE_CONTROLLERNAME_CHAR);
    text.append(p.key == name ? " " : "  ");
    text.append(p.key == stromabsenkung ? p.itemMacro.substr(1) : p.itemMacro);
    text.append(".");
    return text;
}

} // namespace moravel
