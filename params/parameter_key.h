#pragma once
// Parameter addresses: a group byte and an item byte.
//
// Every controller parameter is addressed by a 16-bit `ParameterKey`: the high byte is the
// group, the low byte the item within the group. Parameter files write it as four lower-case
// hexadecimal digits ("0100"); the link library takes the two bytes separately, group first.
//
// The group constants are named HBYTE_<group>, the item constants LBYTE_<group>_<item>_<type>,
// where <type> is the value's transfer type (_LONG, _FLOAT, _UCHAR, _CHAR). The reserved keys
// 0x0300 to 0x0303 have no item constant.

#include <compare>
#include <cstdint>

namespace moravel {

struct ParameterKey {
    std::uint16_t value = 0;

    constexpr ParameterKey() = default;
    constexpr explicit ParameterKey(std::uint16_t v) : value(v) {}
    constexpr ParameterKey(std::uint8_t group, std::uint8_t item) : value(static_cast<std::uint16_t>(group << 8 | item))
    {
    }

    constexpr std::uint8_t group() const { return static_cast<std::uint8_t>(value >> 8); }
    constexpr std::uint8_t item() const { return static_cast<std::uint8_t>(value & 0xFF); }

    friend constexpr auto operator<=>(ParameterKey, ParameterKey) = default;
};

// Groups.
inline constexpr std::uint8_t HBYTE_MOTORTEST = 0;
inline constexpr std::uint8_t HBYTE_GESCHWINDIGKEITEN = 1;
inline constexpr std::uint8_t HBYTE_SCHNITTSTELLE = 2;
inline constexpr std::uint8_t HBYTE_REFERENZFAHRT = 3;
inline constexpr std::uint8_t HBYTE_MECHANIK = 4;
inline constexpr std::uint8_t HBYTE_SONSTIGE = 5;

// Motortest.
inline constexpr std::uint8_t LBYTE_MOTORTEST_WEGLAENGE_LONG = 0;
inline constexpr std::uint8_t LBYTE_MOTORTEST_START_STOP_FLOAT = 1;
inline constexpr std::uint8_t LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT = 2;
inline constexpr std::uint8_t LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG = 3;

// Geschwindigkeiten (BREMSWINKEL and UMSCHALTZEIT live only in the file).
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT = 0;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT = 1;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT = 2;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT = 3;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT = 4;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT = 5;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT = 6;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG = 7;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG = 8;
inline constexpr std::uint8_t LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG = 9;

// Schnittstelle.
inline constexpr std::uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG = 0;
inline constexpr std::uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG = 1;
inline constexpr std::uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG = 2;
inline constexpr std::uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG = 3;

// Referenzfahrt (items 0 to 3 are reserved).
inline constexpr std::uint8_t LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR = 4;

// Mechanik.
inline constexpr std::uint8_t LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT = 0;
inline constexpr std::uint8_t LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT = 1;
inline constexpr std::uint8_t LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT = 2;
inline constexpr std::uint8_t LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT = 3;
inline constexpr std::uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG = 4;
inline constexpr std::uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG = 5;
inline constexpr std::uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG = 6;
inline constexpr std::uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG = 7;
inline constexpr std::uint8_t LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG = 8;
inline constexpr std::uint8_t LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG = 9;
inline constexpr std::uint8_t LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG = 10;
inline constexpr std::uint8_t LBYTE_MECHANIK_PARKPOSITION_LONG = 11;
inline constexpr std::uint8_t LBYTE_MECHANIK_NULLPUNKT_LONG = 12;
inline constexpr std::uint8_t LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR = 13;

// Sonstige (WEITERE lives only in the file).
inline constexpr std::uint8_t LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG = 0;
inline constexpr std::uint8_t LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG = 1;
inline constexpr std::uint8_t LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG = 2;
inline constexpr std::uint8_t LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG = 3;
inline constexpr std::uint8_t LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG = 4;
inline constexpr std::uint8_t LBYTE_SONSTIGE_CONTROLLERNAME_CHAR = 5;
inline constexpr std::uint8_t LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG = 6;
inline constexpr std::uint8_t LBYTE_SONSTIGE_WEITERE_LONG = 7;

} // namespace moravel
