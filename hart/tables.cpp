#include "hart/tables.h"

#include <algorithm>

namespace hart {

namespace {

// Positions 77-80 hold codes that instruments report but that this program
// never writes; 81 and 82 have no code at all.
constexpr int kLastWritablePosition = 76;

} // namespace

// Row p is item p of every unit list. Codes follow the HART engineering-unit
// code table; the row order is this program's own.
// Item texts stand as users know them ("inH20" with a zero, "kb_l", ...).
const std::array<UnitRow, kUnitCount> kUnitTable{{
    {1, "inH20", "00_inH20"},
    {2, "inhg", "01_inhg"},
    {3, "FtH20", "02_FtH20"},
    {4, "mmH20", "03_mmH20"},
    {5, "mmHg", "04_mmHg"},
    {6, "psi", "05_psi"},
    {7, "bar", "06_bar"},
    {8, "mbar", "06_mbar"},
    {11, "Pa", "08_Pa"},
    {12, "KPa", "09_KPa"},
    {14, "ATM", "10_ATM"},
    {237, "MPa", "11_MPa"},
    {32, "degc", "12_\xE2\x84\x83"}, // U+2103 DEGREE CELSIUS
    {33, "degf", "13_\xE2\x84\x89"}, // U+2109 DEGREE FAHRENHEIT
    {34, "degr", "14_R"},
    {35, "Kelvin", "15_Kelvin"},
    {15, "CuFt_min", "16_CuFt_min"},
    {16, "gal_min", "17_gal_min"},
    {17, "l_min", "18_l_min"},
    {19, "CuMtr_hr", "19_CuMtr_hr"},
    {24, "l_s", "20_l_s"},
    {26, "Cuft_s", "21_Cuft_s"},
    {28, "CuMtr_s", "22_CuMtr_s"},
    {131, "CuMtr_min", "23_CuMtr_min"},
    {136, "gal_hr", "24_gal_hr"},
    {138, "l_hr", "25_l_hr"},
    {20, "ft_s", "26_ft_s"},
    {21, "mtr_s", "27_mtr_s"},
    {114, "in_s", "28_in_s"},
    {115, "in_min", "29_in_min"},
    {116, "ft_min", "30_ft_min"},
    {120, "mtr_hr", "31_mtr_hr"},
    {40, "gal", "32_gal"},
    {41, "liter", "33_liter"},
    {43, "CuMtr", "34_CuMtr"},
    {46, "bbl", "35_bbl"},
    {111, "CuYd", "36_CuYd"},
    {112, "CuFt", "37_CuFt"},
    {113, "CuIn", "38_CuIn"},
    {124, "bbl_liq", "39_bbl_liq"},
    {44, "ft", "40_ft"},
    {45, "M", "41_M"},
    {47, "in", "42_in"},
    {48, "cm", "43_cm"},
    {49, "mm", "44_mm"},
    {60, "gram", "45_gram"},
    {61, "kg", "46_kg"},
    {62, "MetTon", "47_MetTon"},
    {63, "lb", "48_lb"},
    {125, "ounce", "49_ounce"},
    {70, "g_s", "50_g_s"},
    {71, "g_min", "51_g_min"},
    {72, "g_hr", "52_g_hr"},
    {73, "kg_s", "53_kg_s"},
    {74, "kg_min", "54_kg_min"},
    {77, "metTOM_min", "55_metTOM_min"}, // HART 77: metric tons per minute
    {78, "metton_hr", "56_metton_hr"},
    {80, "lb_s", "57_lb_s"},
    {81, "lb_min", "58_lb_min"},
    {82, "lb_hr", "59_lb_hr"},
    {91, "g_CuCM", "60_g_CuCM"},
    {92, "KG_CuMtr", "61_KG_CuMtr"},
    {93, "lb_gal", "62_lb_gal"},
    {94, "lb_Cuft", "63_lb_Cuft"},
    {95, "g_ml", "64_g_ml"},
    {96, "kb_l", "65_kb_l"},
    {97, "g_l", "66_g_l"},
    {54, "centi_stokes", "67_centi_stokes"},
    {55, "cpoise", "68_cpoise"},
    {69, "mewtom_meter", "69_mewtom_meter"},
    {89, "deka_therm", "70_deka_therm"},
    {126, "foot_pound_force", "71_foot_pound_force"},
    {128, "kilo_watt_hour", "72_kilo_watt_hour"},
    {164, "mega_joule", "73_mega_joule"},
    {165, "british_thermal_unit", "74_british_thermal_unit"},
    {57, "%", "75_%"},
    {75, "kg_hr", "76_kg_hr"}, // HART 75: kilograms per hour
    {76, "kg_day", "77_kg_day"},
    {250, "250", "78_250"},
    {39, "mA", "79_mA"},
    {139, "ppm", "80_ppm"},
    {-1, "PH", "81_PH"},
    {-1, "other", "82_other"},
}};

int unitPositionForCode(std::uint8_t code) {
    const auto row = std::find_if(kUnitTable.begin(), kUnitTable.end(),
                                  [code](const UnitRow& r) { return r.code == code; });
    return row != kUnitTable.end() ? static_cast<int>(row - kUnitTable.begin()) : kUnitOther;
}

std::optional<std::uint8_t> unitCodeForPosition(int position) {
    if (position < 0 || position > kLastWritablePosition) return std::nullopt;
    const int code = kUnitTable[static_cast<std::size_t>(position)].code;
    if (code < 0) return std::nullopt;
    return static_cast<std::uint8_t>(code);
}

namespace {

// Index = manufacturer code; an empty name means the code has no entry.
constexpr std::array<std::string_view, 104> kManufacturerNames{
    "",
    "Acromag",
    "Allen_Bradley",
    "Ametek",
    "Analog_Devices",
    "Bailey",
    "Beckman",
    "Bell_Microsensor",
    "Bourns",
    "Bristol_Babcock",
    "Brooks_Instrument",
    "Chessell",
    "Combustion_Engineering",
    "Daniel_Industries",
    "Delta",
    "Dieterich_Standard",
    "Dohrmann",
    "Endress_and_Hauser",
    "Fischer_and_Porter",
    "Fisher_Controls",
    "Foxboro",
    "Fuji",
    "Hartmann_and_Braun",
    "Honeywell",
    "ITT_Barton",
    "KayRay_Sensall",
    "Kent",
    "Leeds_and_Northrup",
    "Leslie",
    "M_System_Co",
    "Measurex",
    "Micro_Motion",
    "Moore_Industries",
    "Moore_Products",
    "Ohkura_Electric",
    "Paine",
    "Rochester_Instrument_Systems",
    "Ronan",
    "Rosemount",
    "Peek_Measurement",
    "Schlumberger",
    "Sensall",
    "Siemens",
    "Camille_Bauer",
    "", // 44
    "Transmation",
    "Rosemount_Analytical",
    "Valmet",
    "Valtek",
    "Varec",
    "Viatran",
    "Weed",
    "Westinghouse",
    "Xomox",
    "Yamatake",
    "Yokogawa",
    "Nuovo_Pignone",
    "Promac",
    "Exac_Corporation",
    "KDG_Mobrey",
    "Acrom_Control_System",
    "Princo",
    "Smar",
    "Eckardt",
    "Measurement_Technology",
    "Applied_System_Technologies",
    "Samson",
    "Sparling_Instruments",
    "Fireye",
    "Krohne",
    "Betz_Equipment",
    "Druck",
    "SOR",
    "Elcon_Instruments",
    "EMCO",
    "Termiflex",
    "VAF_Instruments",
    "Westlock_Controls",
    "Drexelbrook",
    "", // 79
    "K_TEK",
    "Flowdata",
    "Draeger",
    "Raytek",
    "Meridian_Instruments",
    "BTG",
    "Magnetrol",
    "Neles_Jamesbury",
    "Milltronics",
    "HELIOS",
    "Anderson_Instrument_Company",
    "INOR",
    "ROBERTSHAW",
    "PEPPERL_FUCHS",
    "ACCUTECH",
    "KAMSTRUP",
    "Flow_Measurement",
    "Knick",
    "VEGA",
    "MTS_SYS_CORPS_SENSORS",
    "Oval",
    "Masoneilan_DRESSER",
    "Besta",
    "Ohmart",
};

} // namespace

std::optional<std::string_view> knownManufacturerName(std::uint16_t code) {
    if (code >= kManufacturerNames.size() || kManufacturerNames[code].empty()) return std::nullopt;
    return kManufacturerNames[code];
}

std::string_view manufacturerName(std::uint8_t code) {
    return knownManufacturerName(code).value_or("unknown");
}

} // namespace hart
