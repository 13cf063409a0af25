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

std::int32_t& homingLong(ParameterSet& s, std::size_t i)
{
    return i < 4 ? s.Richtung[i] : s.Reihenfolge[i - 4];
}

std::string& controllerNameText(ParameterSet& s)
{
    return s.controllerName;
}

// ---- Element lists.

using Elements = std::array<ElementInfo, 8>;

constexpr Elements one(std::string_view name, std::string_view text, double def, double lo, double hi)
{
    return {{{name, text, def, lo, hi}}};
}

constexpr Elements four(std::array<std::string_view, 4> names, std::string_view text, double def,
                        double lo, double hi)
{
    return {{{names[0], text, def, lo, hi},
             {names[1], text, def, lo, hi},
             {names[2], text, def, lo, hi},
             {names[3], text, def, lo, hi}}};
}

constexpr ParameterKey K(std::uint8_t group, std::uint8_t item) { return ParameterKey(group, item); }

// ---- Enumerated value texts.

constexpr std::string_view kSignalTexts[] = {"Low aktiv", "High aktiv", "deaktiv"};
constexpr std::string_view kHomingDirectionTexts[] = {"positive", "negative", "wird nicht referenziert"};
constexpr std::string_view kAxisConfigTexts[] = {"linear", "rotativ", "deaktiv"};
constexpr std::string_view kToolChangeTexts[] = {"ignorieren", "an Parkposition", "an aktueller Position",
                                                 "nur Parameter übernehmen"};
constexpr std::string_view kHomingTimeTexts[] = {"nur Manuell", "auch beim Einschalten",
                                                 "zusätzlich vor Programmstart"};
constexpr std::string_view kUnknownCommandTexts[] = {"ignorieren", "abbrechen", "fragen"};

// ---- Row makers for the common shapes; the table below fills in the dialog data.

constexpr ParameterInfo longRow(ParameterKey key, std::string_view macro,
                                std::int32_t& (*at)(ParameterSet&, std::size_t), Elements el,
                                std::string_view label, ExchangeShape shape = ExchangeShape::Long)
{
    ParameterInfo p;
    p.key = key;
    p.itemMacro = macro;
    p.kind = ParameterKind::Long;
    p.shape = shape;
    p.messageForm = MessageForm::Regular;
    p.elementCount = 1;
    p.elements = el;
    p.control = DialogControl::Number;
    p.dialogLabel = label;
    p.dialogMin = el[0].validMin;
    p.dialogMax = el[0].validMax;
    p.longAt = at;
    return p;
}

// Speed fields: the dialog accepts 0.1 mm/s and up, a file down to 0.01 mm/s.
constexpr ParameterInfo floatRow(ParameterKey key, std::string_view macro, float& (*at)(ParameterSet&),
                                 Elements el, std::string_view label, double dialogMin)
{
    ParameterInfo p;
    p.key = key;
    p.itemMacro = macro;
    p.kind = ParameterKind::Float;
    p.shape = ExchangeShape::Float;
    p.messageForm = MessageForm::Regular;
    p.elementCount = 1;
    p.elements = el;
    p.control = DialogControl::Number;
    p.dialogLabel = label;
    p.dialogMin = dialogMin;
    p.dialogMax = el[0].validMax;
    p.floatAt = at;
    return p;
}

constexpr ParameterInfo quadRow(ParameterKey key, std::string_view macro,
                                std::int32_t& (*at)(ParameterSet&, std::size_t), Elements el,
                                std::string_view frame, std::string_view column = {})
{
    ParameterInfo p = longRow(key, macro, at, el, frame, ExchangeShape::FourLongs);
    p.kind = ParameterKind::AxisQuadruple;
    p.elementCount = 4;
    p.dialogColumn = column;
    return p;
}

constexpr ParameterInfo withTexts(ParameterInfo p, std::span<const std::string_view> texts,
                                  std::int32_t first, std::size_t maxChars, bool emptyEntry = false)
{
    p.control = DialogControl::Combo;
    p.valueTexts = texts;
    p.firstValue = first;
    p.dialogMaxChars = maxChars;
    p.listHasEmptyEntry = emptyEntry;
    return p;
}

constexpr ParameterInfo inFrame(ParameterInfo p, std::string_view frame)
{
    p.dialogFrame = frame;
    return p;
}

constexpr ParameterInfo withForm(ParameterInfo p, MessageForm form)
{
    p.messageForm = form;
    return p;
}

constexpr ParameterInfo reservedRow(std::uint8_t item)
{
    ParameterInfo p;
    p.key = K(HBYTE_REFERENZFAHRT, item);
    return p;
}

constexpr ParameterInfo homingRow()
{
    ParameterInfo p;
    p.key = K(HBYTE_REFERENZFAHRT, LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR);
    p.itemMacro = "LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR";
    p.kind = ParameterKind::HomingRecord;
    p.shape = ExchangeShape::EightBytes;
    p.messageForm = MessageForm::Regular;
    p.elementCount = 8;
    p.elements = {{
        {"Richtung[0]", "1-negative", 1, 0, 2},
        {"Richtung[1]", "1-negative", 1, 0, 2},
        {"Richtung[2]", "0-positive", 0, 0, 2},
        {"Richtung[3]", "0-positive", 0, 0, 2},
        {"Reihenfolge[0]", "2=Z", 2, 0, 3},
        {"Reihenfolge[1]", "1=Y", 1, 0, 3},
        {"Reihenfolge[2]", "0=X", 0, 0, 3},
        {"Reihenfolge[3]", "3=C", 3, 0, 3},
    }};
    p.control = DialogControl::Homing;
    p.valueTexts = kHomingDirectionTexts;
    p.firstValue = 0;
    p.dialogMaxChars = 23;
    p.listSorted = true;
    p.longAt = &homingLong;
    return p;
}

constexpr ParameterInfo controllerNameRow()
{
    ParameterInfo p;
    p.key = K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_CONTROLLERNAME_CHAR);
    p.itemMacro = "LBYTE_SONSTIGE_CONTROLLERNAME_CHAR";
    p.kind = ParameterKind::String;
    p.shape = ExchangeShape::Text16;
    p.control = DialogControl::Text;
    p.dialogLabel = "Controllername";
    p.dialogMaxChars = 16;
    p.textAt = &controllerNameText;
    return p;
}

using PS = ParameterSet;
constexpr double kSpeedMin = 0.01;     // file
constexpr double kSpeedDialogMin = 0.1; // dialog
constexpr double kPosition = 32767;

constexpr ParameterInfo kTable[] = {
    // Motortest
    longRow(K(HBYTE_MOTORTEST, LBYTE_MOTORTEST_WEGLAENGE_LONG), "LBYTE_MOTORTEST_WEGLAENGE_LONG",
            &scalarLong<&PS::motortestWeglaenge>, one("Weglänge", "400 Schritte", 400, 0, 65535),
            "Weglänge ( Schritte )"),
    floatRow(K(HBYTE_MOTORTEST, LBYTE_MOTORTEST_START_STOP_FLOAT), "LBYTE_MOTORTEST_START_STOP_FLOAT",
             &scalarFloat<&PS::motortestStartStop>,
             one("Start-Stop Geschwindigkeit", "0.5 mm/s", 0.5, kSpeedMin, 999),
             "Start/Stop Geschwindigkeit ( mm/s )", kSpeedDialogMin),
    floatRow(K(HBYTE_MOTORTEST, LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT),
             "LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT", &scalarFloat<&PS::motortestMaxGeschwindigkeit>,
             one("Maximalgeschwindigkeit", "10.0 mm/s", 10.0, kSpeedMin, 999), "Fahrgeschwindigkeit ( mm/s )",
             kSpeedDialogMin),
    longRow(K(HBYTE_MOTORTEST, LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG), "LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG",
            &scalarLong<&PS::motortestBeschleunigung>, one("Motortestbeschleunigung", "10 mm/s²", 10, 1, 999),
            "Beschleunigung  ( mm/s*s )"),

    // Geschwindigkeiten
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT),
             "LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT", &scalarFloat<&PS::startStopGeschwindigkeit>,
             one("Startgeschwindigkeit", "0.5 mm/s", 0.5, kSpeedMin, 999), "Start/Stop Geschwindigkeit ( mm/s )",
             kSpeedDialogMin),
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT), "LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT",
             &scalarFloat<&PS::fahrGeschwindigkeit>, one("Fahrgeschwindigkeit", "4.0 mm/s", 4.0, kSpeedMin, 999),
             "Fahrgeschwindigkeit ( mm/s )", kSpeedDialogMin),
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT),
             "LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT", &scalarFloat<&PS::eilgang>,
             one("Eilgang", "10.0 mm/s", 10.0, kSpeedMin, 999), "Eilgang ( mm/s )", kSpeedDialogMin),
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT),
             "LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT", &scalarFloat<&PS::manuellLangsam>,
             one("'Manuelles Fahren langsam'", "0.5 mm/s", 0.5, kSpeedMin, 999),
             "Manuelles Fahren langsam ( mm/s )", kSpeedDialogMin),
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT),
             "LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT", &scalarFloat<&PS::manuellSchnell>,
             one("'Manuelles Fahren schnell'", "2.5 mm/s", 2.5, kSpeedMin, 999),
             "Manuelles Fahren schnell ( mm/s )", kSpeedDialogMin),
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT),
             "LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT", &scalarFloat<&PS::referenzfahrtGeschwindigkeit>,
             one("Referenzfahrt", "2.5 mm/s", 2.5, kSpeedMin, 999), "Referenzfahrt ( mm/s )", kSpeedDialogMin),
    floatRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT),
             "LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT",
             &scalarFloat<&PS::referenzfahrtFreiGeschwindigkeit>,
             one("Referenzfahrt (freifahren)", "0.5 mm/s", 0.5, kSpeedMin, 999),
             "Referenzfahrt (frei fahren) ( mm/s )", kSpeedDialogMin),
    longRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG),
            "LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG", &scalarLong<&PS::beschleunigung>,
            one("Beschleunigung", "4 mm/s²", 4, 1, 999), "Beschleunigung  ( mm/s*s )"),
    inFrame(longRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG),
                    "LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG", &scalarLong<&PS::bremswinkel>,
                    one("Bremswinkel", "0 grad", 0, 0, 45), "Bremswinkel  ( grad )", ExchangeShape::None),
            "Noch nicht verwendet"),
    inFrame(longRow(K(HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG),
                    "LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG", &scalarLong<&PS::umschaltzeit>,
                    one("Umschaltzeit", "0 ms", 0, 0, 1000), "Umschaltzeit ( ms )", ExchangeShape::None),
            "Noch nicht verwendet"),

    // Schnittstelle
    withForm(withTexts(longRow(K(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG),
                               "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG",
                               &scalarLong<&PS::zusatzsignalSpindel>,
                               one("Zusatzsignal Spindel", "deaktiv", 3, 1, 3), "Zusatzsignal Spindel"),
                       kSignalTexts, 1, 10),
             MessageForm::Signal),
    withForm(withTexts(longRow(K(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG),
                               "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG",
                               &scalarLong<&PS::zusatzsignalKuehlung>,
                               one("Zusatzsignal Kühlung", "deaktiv", 3, 1, 3), "Zusatzsignal Kühlung"),
                       kSignalTexts, 1, 10),
             MessageForm::Signal),
    withForm(withTexts(longRow(K(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG),
                               "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG",
                               &scalarLong<&PS::zusatzsignalStromabsenkung>,
                               one("Zusatzsignal Stromabsenkung", "deaktiv", 3, 1, 3),
                               "Zusatzsignal Stromabsenkung"),
                       kSignalTexts, 1, 10, true),
             MessageForm::Signal),
    withForm(withTexts(longRow(K(HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG),
                               "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG", &scalarLong<&PS::zusatzsignalBoost>,
                               one("Zusatzsignal Boost", "deaktiv", 3, 1, 3), "Zusatzsignal Boost"),
                       kSignalTexts, 1, 10, true),
             MessageForm::Signal),

    // Referenzfahrt
    reservedRow(0),
    reservedRow(1),
    reservedRow(2),
    reservedRow(3),
    homingRow(),

    // Mechanik
    floatRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT), "LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT",
             &axisFloat<&PS::aufloesung, AxisX>, one("Auflösung X", "100.0 Schritte/mm", 100.0, 0.1, 999),
             "Auflösung", 0.1),
    floatRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT), "LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT",
             &axisFloat<&PS::aufloesung, AxisY>, one("Auflösung Y", "100.0 Schritte/mm", 100.0, 0.1, 999),
             "Auflösung", 0.1),
    floatRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT), "LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT",
             &axisFloat<&PS::aufloesung, AxisZ>, one("Auflösung Z", "100.0 Schritte/mm", 100.0, 0.1, 999),
             "Auflösung", 0.1),
    floatRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT), "LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT",
             &axisFloat<&PS::aufloesung, AxisC>, one("Auflösung C", "100.0 Schritte/mm", 100.0, 0.1, 999),
             "Auflösung", 0.1),
    longRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG), "LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG",
            &axisLong<&PS::umkehrspiel, AxisX>, one("Umkehrspiel X", "0 Schritte", 0, 0, 500), "Umkehrspiel"),
    longRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG), "LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG",
            &axisLong<&PS::umkehrspiel, AxisY>, one("Umkehrspiel Y", "0 Schritte", 0, 0, 500), "Umkehrspiel"),
    longRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG), "LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG",
            &axisLong<&PS::umkehrspiel, AxisZ>, one("Umkehrspiel Z", "0 Schritte", 0, 0, 500), "Umkehrspiel"),
    longRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG), "LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG",
            &axisLong<&PS::umkehrspiel, AxisC>, one("Umkehrspiel C", "0 Schritte", 0, 0, 500), "Umkehrspiel"),
    [] {
        ParameterInfo p = quadRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG),
                                  "LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG", &quadLong<&PS::richtungsumkehr>,
                                  four({"Richtungsumkehr X", "Richtungsumkehr Y", "Richtungsumkehr Z",
                                        "Richtungsumkehr C"},
                                       "0-Aus", 0, 0, 1),
                                  "Richtungsumkehr");
        p.control = DialogControl::CheckBox;
        return p;
    }(),
    quadRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG), "LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG",
            &quadLong<&PS::verfahrbereichVon>,
            four({"'Verfahrbereich von' X", "'Verfahrbereich von' Y", "'Verfahrbereich von' Z",
                  "'Verfahrbereich von' C"},
                 "0 mm", 0, -kPosition, kPosition),
            "Verfahrbereich", "von"),
    quadRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG), "LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG",
            &quadLong<&PS::verfahrbereichBis>,
            Elements{{{"'Verfahrbereich bis' X", "100 mm", 100, -kPosition, kPosition},
                      {"'Verfahrbereich bis' Y", "100 mm", 100, -kPosition, kPosition},
                      {"'Verfahrbereich bis' Z", "50 mm", 50, -kPosition, kPosition},
                      {"'Verfahrbereich bis' C", "50 mm", 50, -kPosition, kPosition}}},
            "Verfahrbereich", "bis"),
    quadRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_PARKPOSITION_LONG), "LBYTE_MECHANIK_PARKPOSITION_LONG",
            &quadLong<&PS::parkposition>,
            four({"Parkposition X", "Parkposition Y", "Parkposition Z", "Parkposition C"}, "0 mm", 0, -kPosition,
                 kPosition),
            "Parkposition"),
    quadRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_NULLPUNKT_LONG), "LBYTE_MECHANIK_NULLPUNKT_LONG",
            &quadLong<&PS::nullpunkt>,
            four({"Nullpunkt X", "Nullpunkt Y", "Nullpunkt Z", "Nullpunkt C"}, "0 mm", 0, -kPosition, kPosition),
            "Nullpunkt"),
    [] {
        ParameterInfo p = withTexts(
            quadRow(K(HBYTE_MECHANIK, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR),
                    "LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR", &quadLong<&PS::achsenconfiguration>,
                    four({"Achsenconfiguration X", "Achsenconfiguration Y", "Achsenconfiguration Z",
                          "Achsenconfiguration C"},
                         "0-linear", 0, 0, 2),
                    "Achsenconfig"),
            kAxisConfigTexts, 0, 8);
        p.kind = ParameterKind::EnumQuadruple;
        p.shape = ExchangeShape::FourBytes;
        return p;
    }(),

    // Sonstige
    withForm(withTexts(longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG),
                               "LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG", &scalarLong<&PS::werkzeugwechsel>,
                               one("Werkzeugwechsel", "4-nur Parameter übernehmen", 4, 1, 4), "Werkzeugwechsel"),
                       kToolChangeTexts, 1, 24),
             MessageForm::BreakLate),
    withTexts(longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG),
                      "LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG", &scalarLong<&PS::referenzfahrtZeitpunkt>,
                      one("'Referenzfahrt Zeitpunkt'", "1-nur Manuell", 1, 1, 3), "Referenzfahrt Zeitpunkt"),
              kHomingTimeTexts, 1, 28),
    longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG), "LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG",
            &scalarLong<&PS::spindelhochlauf>, one("Spindelhochlauf", "0 ms", 0, 0, 5000),
            "Spindelhochlauf ( Zeit in ms )"),
    longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG), "LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG",
            &scalarLong<&PS::werkzeuganschnitt>, one("Werkzeuganschnitt", "0 ms", 0, 0, 5000),
            "Werkzeuganschnitt ( Zeit in ms )"),
    withTexts(longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG),
                      "LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG", &scalarLong<&PS::unbekannteProgrammbefehle>,
                      one("'Unbekannte Programmbefehle'", "1-ignorieren", 1, 1, 3), "Unbekannte Programmbefele"),
              kUnknownCommandTexts, 1, 10),
    controllerNameRow(),
    longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG), "LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG",
            &scalarLong<&PS::sicherheitsabstand>, one("Sicherheitsabstand", "0 mm", 0, 0, 255),
            "Sicherheitsabstand ( mm )"),
    longRow(K(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WEITERE_LONG), "LBYTE_SONSTIGE_WEITERE_LONG", &scalarLong<&PS::weitere>,
            one("Weitere", "0 ms", 0, 0, 0), "Weitere", ExchangeShape::None),
};

static_assert(std::size(kTable) == 45, "the table has one row per key");

constexpr bool ascending()
{
    for (std::size_t i = 1; i < std::size(kTable); ++i)
        if (!(kTable[i - 1].key < kTable[i].key))
            return false;
    return true;
}
static_assert(ascending(), "rows are in ascending key order");

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

bool IsValidHomingOrder(const std::array<std::int32_t, 4>& reihenfolge)
{
    unsigned mask = 0;
    for (std::int32_t axis : reihenfolge)
        if (axis >= 0 && axis < 8)
            mask |= 1u << axis;
    return (mask & 0xFFu) == 0x0Fu;
}

std::span<const ParameterInfo> parameterTable()
{
    return kTable;
}

const ParameterInfo* findParameter(std::int32_t key)
{
    if (key < 0 || key > 0xFFFF)
        return nullptr;
    const ParameterKey k(static_cast<std::uint16_t>(key));
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), k,
                                      [](const ParameterInfo& p, ParameterKey v) { return p.key < v; });
    return it != std::end(kTable) && it->key == k ? it : nullptr;
}

std::span<const ParameterInfo* const> exchangeList()
{
    return kExchangeList.rows;
}

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
    case SyntaxError::NoEquals: what = "Kein '=' vorhanden"; break;
    case SyntaxError::NoKey: what = "Kein HB LB vorhanden"; break;
    case SyntaxError::NoValue: what = "Kein Wert vorhanden"; break;
    case SyntaxError::BadKey: what = "Syntax Error in HB LB"; break;
    case SyntaxError::BadValue: what = "Syntax Error im Wert"; break;
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
