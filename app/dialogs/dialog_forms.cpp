// The six dialogs as data: fields in exchange order with their control ids, and the screen and
// write-back orders as indices into the fields. Everything else about a field comes from its
// parameter table row.

#include "app/dialogs/dialog_rules.h"

#include <array>

namespace moravel {
namespace {

constexpr DialogField labelled(std::uint16_t id, std::uint8_t group, std::uint8_t item)
{
    return {id, ParameterKey(group, item), 0, -1};
}

// A per-axis scalar row (Auflösung, Umkehrspiel: one key per axis).
constexpr DialogField axisRow(std::uint16_t id, std::uint8_t item, int axis)
{
    return {id, ParameterKey(HBYTE_MECHANIK, item), 0, static_cast<std::int8_t>(axis)};
}

// One element of a Mechanik quadruple.
constexpr DialogField axisElement(std::uint16_t id, std::uint8_t item, int axis)
{
    return {id, ParameterKey(HBYTE_MECHANIK, item), static_cast<std::uint8_t>(axis), static_cast<std::int8_t>(axis)};
}

constexpr ParameterKey kHoming(HBYTE_REFERENZFAHRT, LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR);

constexpr DialogField direction(std::uint16_t id, int axis)
{
    return {id, kHoming, static_cast<std::uint8_t>(axis), static_cast<std::int8_t>(axis)};
}

// A column's id is that of its first (X) button.
constexpr DialogField column(std::uint16_t id, int step)
{
    return {id, kHoming, static_cast<std::uint8_t>(4 + step), -1};
}

template <std::size_t N>
constexpr std::array<std::uint8_t, N> inOrder()
{
    std::array<std::uint8_t, N> order{};
    for (std::size_t i = 0; i < N; ++i)
        order[i] = static_cast<std::uint8_t>(i);
    return order;
}

// ---- Geschwindigkeiten: all three orders are the order of the fields.

constexpr DialogField kGeschwindigkeiten[] = {
    labelled(1015, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT),
    labelled(1017, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT),
    labelled(1019, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT),
    labelled(1021, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT),
    labelled(1023, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT),
    labelled(1026, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT),
    labelled(1027, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT),
    labelled(1029, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG),
    labelled(1032, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG),
    labelled(1034, HBYTE_GESCHWINDIGKEITEN, LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG),
};
constexpr auto kGeschwindigkeitenOrder = inOrder<10>();

// ---- Schnittstelle: checked Kühlung, Boost, Spindel, Stromabsenkung; on the screen and
// written back Spindel, Kühlung, Stromabsenkung, Boost.

constexpr DialogField kSchnittstelle[] = {
    labelled(1040, HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG),
    labelled(1042, HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG),
    labelled(1037, HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG),
    labelled(1041, HBYTE_SCHNITTSTELLE, LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG),
};
constexpr std::uint8_t kSchnittstelleOrder[] = {2, 0, 3, 1};

// ---- Motortest: checked from the bottom row up; on the screen and written back top down.

constexpr DialogField kMotortest[] = {
    labelled(1133, HBYTE_MOTORTEST, LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG),
    labelled(1130, HBYTE_MOTORTEST, LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT),
    labelled(1129, HBYTE_MOTORTEST, LBYTE_MOTORTEST_START_STOP_FLOAT),
    labelled(1127, HBYTE_MOTORTEST, LBYTE_MOTORTEST_WEGLAENGE_LONG),
};
constexpr std::uint8_t kMotortestOrder[] = {3, 2, 1, 0};

// ---- Sonstige: all three orders are the order of the fields.

constexpr DialogField kSonstige[] = {
    labelled(1135, HBYTE_SONSTIGE, LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG),
    labelled(1137, HBYTE_SONSTIGE, LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG),
    labelled(1139, HBYTE_SONSTIGE, LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG),
    labelled(1142, HBYTE_SONSTIGE, LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG),
    labelled(1141, HBYTE_SONSTIGE, LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG),
    labelled(1145, HBYTE_SONSTIGE, LBYTE_SONSTIGE_CONTROLLERNAME_CHAR),
    labelled(1147, HBYTE_SONSTIGE, LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG),
    labelled(1149, HBYTE_SONSTIGE, LBYTE_SONSTIGE_WEITERE_LONG),
};
constexpr auto kSonstigeOrder = inOrder<8>();

// ---- Mechanik: eight groups of four fields, C first within each group.

constexpr DialogField kMechanik[] = {
    axisRow(1054, LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT, kAxisC), // 0  Auflösung
    axisRow(1051, LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT, kAxisX),
    axisRow(1052, LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT, kAxisY),
    axisRow(1053, LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT, kAxisZ),
    axisRow(1067, LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG, kAxisC), // 4  Umkehrspiel
    axisRow(1064, LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG, kAxisX),
    axisRow(1065, LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG, kAxisY),
    axisRow(1066, LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG, kAxisZ),
    axisElement(1086, LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG, kAxisC), // 8  Verfahrbereich bis
    axisElement(1080, LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG, kAxisX),
    axisElement(1082, LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG, kAxisY),
    axisElement(1084, LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG, kAxisZ),
    axisElement(1085, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG, kAxisC), // 12 Verfahrbereich von
    axisElement(1079, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG, kAxisX),
    axisElement(1081, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG, kAxisY),
    axisElement(1083, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG, kAxisZ),
    axisElement(1117, LBYTE_MECHANIK_NULLPUNKT_LONG, kAxisC), // 16 Nullpunkt
    axisElement(1114, LBYTE_MECHANIK_NULLPUNKT_LONG, kAxisX),
    axisElement(1115, LBYTE_MECHANIK_NULLPUNKT_LONG, kAxisY),
    axisElement(1116, LBYTE_MECHANIK_NULLPUNKT_LONG, kAxisZ),
    axisElement(1105, LBYTE_MECHANIK_PARKPOSITION_LONG, kAxisC), // 20 Parkposition
    axisElement(1102, LBYTE_MECHANIK_PARKPOSITION_LONG, kAxisX),
    axisElement(1103, LBYTE_MECHANIK_PARKPOSITION_LONG, kAxisY),
    axisElement(1104, LBYTE_MECHANIK_PARKPOSITION_LONG, kAxisZ),
    axisElement(1128, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG, kAxisC), // 24 Richtungsumkehr
    axisElement(1123, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG, kAxisX),
    axisElement(1126, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG, kAxisY),
    axisElement(1127, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG, kAxisZ),
    axisElement(1130, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR, kAxisC), // 28 Achsenconfig
    axisElement(1124, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR, kAxisX),
    axisElement(1125, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR, kAxisY),
    axisElement(1129, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR, kAxisZ),
};
// Frames in reading order (Auflösung, Umkehrspiel; Verfahrbereich row by row, Richtungsumkehr,
// Achsenconfig; Parkposition, Nullpunkt), X to C inside each.
constexpr std::uint8_t kMechanikScreen[] = {1,  2,  3,  0,  5,  6,  7,  4,  13, 9,  14, 10, 15, 11, 12, 8,
                                            25, 26, 27, 24, 29, 30, 31, 28, 21, 22, 23, 20, 17, 18, 19, 16};
// Resolution, backlash, von, bis, park position, zero point, direction reversal, axis
// configuration; X to C inside each.
constexpr std::uint8_t kMechanikWriteBack[] = {1,  2,  3,  0,  5,  6,  7,  4,  13, 14, 15, 12, 9,  10, 11, 8,
                                               21, 22, 23, 20, 17, 18, 19, 16, 25, 26, 27, 24, 29, 30, 31, 28};

// ---- Referenzfahrt: the direction combos C, X, Y, Z, then the columns 1, 4, 2, 3.

constexpr DialogField kReferenzfahrt[] = {
    direction(1159, kAxisC), direction(1156, kAxisX), direction(1157, kAxisY), direction(1158, kAxisZ),
    column(1164, 0),        column(1167, 3),        column(1165, 1),        column(1166, 2),
};
constexpr std::uint8_t kReferenzfahrtScreen[] = {1, 2, 3, 0, 4, 6, 7, 5};
// Steps 1 to 4.
constexpr std::uint8_t kReferenzfahrtWriteBack[] = {4, 6, 7, 5};

constexpr DialogForm kForms[] = {
    {DialogId::Geschwindigkeiten, HBYTE_GESCHWINDIGKEITEN, DialogLayout::LabelRows, kGeschwindigkeiten,
     kGeschwindigkeitenOrder, kGeschwindigkeitenOrder},
    {DialogId::Schnittstelle, HBYTE_SCHNITTSTELLE, DialogLayout::LabelRows, kSchnittstelle, kSchnittstelleOrder,
     kSchnittstelleOrder},
    {DialogId::Mechanik, HBYTE_MECHANIK, DialogLayout::AxisFrames, kMechanik, kMechanikScreen, kMechanikWriteBack},
    {DialogId::Motortest, HBYTE_MOTORTEST, DialogLayout::LabelRows, kMotortest, kMotortestOrder, kMotortestOrder},
    {DialogId::Referenzfahrt, HBYTE_REFERENZFAHRT, DialogLayout::Homing, kReferenzfahrt, kReferenzfahrtScreen,
     kReferenzfahrtWriteBack},
    {DialogId::Sonstige, HBYTE_SONSTIGE, DialogLayout::LabelRows, kSonstige, kSonstigeOrder, kSonstigeOrder},
};

} // namespace

const DialogForm& dialogForm(DialogId id) { return kForms[static_cast<std::size_t>(id)]; }

std::span<const DialogForm> dialogForms() { return kForms; }

} // namespace moravel
