#include "hart/common_tables.h"

#include <algorithm>
#include <array>
#include <span>

namespace hart {

namespace {

struct CodeText {
    std::uint8_t code;
    std::string_view text;
};

// Engineering units whose meaning does not depend on the variable. Plain
// ASCII, the way unit fields are usually typed: "deg" for the degree sign,
// "u" for micro, "2"/"3" for squares and cubes. Water columns without a
// reference temperature are at 68 degF, the first ones the table defined.
constexpr std::array kUnits{
    // pressure
    CodeText{1, "inH2O"},
    CodeText{2, "inHg"},
    CodeText{3, "ftH2O"},
    CodeText{4, "mmH2O"},
    CodeText{5, "mmHg"},
    CodeText{6, "psi"},
    CodeText{7, "bar"},
    CodeText{8, "mbar"},
    CodeText{9, "g/cm2"},
    CodeText{10, "kg/cm2"},
    CodeText{11, "Pa"},
    CodeText{12, "kPa"},
    CodeText{13, "torr"},
    CodeText{14, "atm"},
    // volumetric flow and velocity
    CodeText{15, "ft3/min"},
    CodeText{16, "gal/min"},
    CodeText{17, "L/min"},
    CodeText{18, "ImpGal/min"},
    CodeText{19, "m3/h"},
    CodeText{20, "ft/s"},
    CodeText{21, "m/s"},
    CodeText{22, "gal/s"},
    CodeText{23, "Mgal/d"},
    CodeText{24, "L/s"},
    CodeText{25, "ML/d"},
    CodeText{26, "ft3/s"},
    CodeText{27, "ft3/d"},
    CodeText{28, "m3/s"},
    CodeText{29, "m3/d"},
    CodeText{30, "ImpGal/h"},
    CodeText{31, "ImpGal/d"},
    // temperature
    CodeText{32, "degC"},
    CodeText{33, "degF"},
    CodeText{34, "degR"},
    CodeText{35, "K"},
    // electrical
    CodeText{36, "mV"},
    CodeText{37, "ohm"},
    CodeText{38, "Hz"},
    CodeText{39, "mA"},
    // volume and length
    CodeText{40, "gal"},
    CodeText{41, "L"},
    CodeText{42, "ImpGal"},
    CodeText{43, "m3"},
    CodeText{44, "ft"},
    CodeText{45, "m"},
    CodeText{46, "bbl"},
    CodeText{47, "in"},
    CodeText{48, "cm"},
    CodeText{49, "mm"},
    // time
    CodeText{50, "min"},
    CodeText{51, "s"},
    CodeText{52, "h"},
    CodeText{53, "d"},
    // viscosity, conductance, analytical, EMF
    CodeText{54, "cSt"},
    CodeText{55, "cP"},
    CodeText{56, "uS"},
    CodeText{57, "%"},
    CodeText{58, "V"},
    CodeText{59, "pH"},
    // mass
    CodeText{60, "g"},
    CodeText{61, "kg"},
    CodeText{62, "t"},
    CodeText{63, "lb"},
    CodeText{64, "short ton"},
    CodeText{65, "long ton"},
    CodeText{66, "mS/cm"},
    CodeText{67, "uS/cm"},
    CodeText{68, "N"},
    CodeText{69, "N m"},
    // mass flow
    CodeText{70, "g/s"},
    CodeText{71, "g/min"},
    CodeText{72, "g/h"},
    CodeText{73, "kg/s"},
    CodeText{74, "kg/min"},
    CodeText{75, "kg/h"},
    CodeText{76, "kg/d"},
    CodeText{77, "t/min"},
    CodeText{78, "t/h"},
    CodeText{79, "t/d"},
    CodeText{80, "lb/s"},
    CodeText{81, "lb/min"},
    CodeText{82, "lb/h"},
    CodeText{83, "lb/d"},
    CodeText{84, "short ton/min"},
    CodeText{85, "short ton/h"},
    CodeText{86, "short ton/d"},
    CodeText{87, "long ton/h"},
    CodeText{88, "long ton/d"},
    CodeText{89, "Dth"},
    // mass per volume and concentration
    CodeText{90, "SGU"},
    CodeText{91, "g/cm3"},
    CodeText{92, "kg/m3"},
    CodeText{93, "lb/gal"},
    CodeText{94, "lb/ft3"},
    CodeText{95, "g/mL"},
    CodeText{96, "kg/L"},
    CodeText{97, "g/L"},
    CodeText{98, "lb/in3"},
    CodeText{99, "short ton/yd3"},
    CodeText{100, "degTw"},
    CodeText{101, "degBrix"},
    CodeText{102, "degBaume heavy"},
    CodeText{103, "degBaume light"},
    CodeText{104, "degAPI"},
    CodeText{105, "% solids/wt"},
    CodeText{106, "% solids/vol"},
    CodeText{107, "degBalling"},
    CodeText{108, "proof/vol"},
    CodeText{109, "proof/mass"},
    CodeText{110, "bushel"},
    CodeText{111, "yd3"},
    CodeText{112, "ft3"},
    CodeText{113, "in3"},
    CodeText{114, "in/s"},
    CodeText{115, "in/min"},
    CodeText{116, "ft/min"},
    CodeText{117, "deg/s"},
    CodeText{118, "rev/s"},
    CodeText{119, "rpm"},
    CodeText{120, "m/h"},
    CodeText{121, "Nm3/h"},
    CodeText{122, "NL/h"},
    CodeText{123, "SCFM"},
    CodeText{124, "bbl liq"},
    CodeText{125, "oz"},
    CodeText{126, "ft lbf"},
    CodeText{127, "kW"},
    CodeText{128, "kWh"},
    CodeText{129, "hp"},
    CodeText{130, "ft3/h"},
    CodeText{131, "m3/min"},
    CodeText{132, "bbl/s"},
    CodeText{133, "bbl/min"},
    CodeText{134, "bbl/h"},
    CodeText{135, "bbl/d"},
    CodeText{136, "gal/h"},
    CodeText{137, "ImpGal/s"},
    CodeText{138, "L/h"},
    CodeText{139, "ppm"},
    CodeText{140, "Mcal/h"},
    CodeText{141, "MJ/h"},
    CodeText{142, "BTU/h"},
    CodeText{143, "deg"},
    CodeText{144, "rad"},
    CodeText{145, "inH2O (60F)"},
    CodeText{146, "ug/L"},
    CodeText{147, "ug/m3"},
    CodeText{148, "% consistency"},
    CodeText{149, "vol %"},
    CodeText{150, "% steam quality"},
    CodeText{151, "ft in 1/16"},
    CodeText{152, "ft3/lb"},
    CodeText{153, "pF"},
    CodeText{154, "mL/L"},
    CodeText{155, "uL/L"},
    CodeText{160, "% plato"},
    CodeText{161, "% LEL"},
    CodeText{162, "Mcal"},
    CodeText{163, "kohm"},
    CodeText{164, "MJ"},
    CodeText{165, "BTU"},
    CodeText{166, "Nm3"},
    CodeText{167, "NL"},
    CodeText{168, "SCF"},
    CodeText{169, "ppb"},
    CodeText{235, "gal/d"},
    CodeText{236, "hL"},
    CodeText{237, "MPa"},
    CodeText{238, "inH2O (4C)"},
    CodeText{239, "mmH2O (4C)"},
    CodeText{kCodeNotUsed, "not used"},
    CodeText{kCodeNone, "none"},
    CodeText{kCodeUnknown, "unknown"},
    CodeText{kCodeSpecial, "special"},
};

// The classifications this program names. Codes 64 and up follow the
// common table; 0 is a variable the device does not classify.
constexpr std::uint8_t kTemperature = 64;
constexpr std::uint8_t kPressure = 65;
constexpr std::uint8_t kVolumetricFlow = 66;
constexpr std::uint8_t kVolume = 68;
constexpr std::uint8_t kLength = 69;
constexpr std::uint8_t kTime = 70;
constexpr std::uint8_t kMassPerVolume = 73;
constexpr std::uint8_t kViscosity = 74;
constexpr std::uint8_t kForce = 78;
constexpr std::uint8_t kPower = 79;
constexpr std::uint8_t kCurrent = 84;
constexpr std::uint8_t kResistance = 85;
constexpr std::uint8_t kConcentration = 90;

constexpr std::array kClassifications{
    CodeText{0, "not classified"},
    CodeText{kTemperature, "temperature"},
    CodeText{kPressure, "pressure"},
    CodeText{kVolumetricFlow, "volumetric flow"},
    CodeText{67, "velocity"},
    CodeText{kVolume, "volume"},
    CodeText{kLength, "length"},
    CodeText{kTime, "time"},
    CodeText{71, "mass"},
    CodeText{72, "mass flow"},
    CodeText{kMassPerVolume, "mass per volume"},
    CodeText{kViscosity, "viscosity"},
    CodeText{75, "angular velocity"},
    CodeText{76, "area"},
    CodeText{77, "energy"},
    CodeText{kForce, "force"},
    CodeText{kPower, "power"},
    CodeText{80, "frequency"},
    CodeText{81, "analytical"},
    CodeText{82, "capacitance"},
    CodeText{83, "EMF"},
    CodeText{kCurrent, "current"},
    CodeText{kResistance, "resistance"},
    CodeText{86, "angle"},
    CodeText{87, "conductance"},
    CodeText{88, "volume per volume"},
    CodeText{89, "volume per mass"},
    CodeText{kConcentration, "concentration"},
    CodeText{91, "valve/actuator"},
    CodeText{92, "level"},
    CodeText{93, "vortex flow"},
    CodeText{94, "mag flow"},
    CodeText{95, "Coriolis flow"},
};

// Codes 170-219 were added after the table had run out of free codes; each
// classification gives them its own meaning, so 170 of a pressure is
// another unit than 170 of a flow. "S" is at standard conditions (20 degC,
// 1 atm; 32 degF for cubic feet), "N" at normal conditions (0 degC, 1 atm).
struct ExpandedUnit {
    std::uint8_t classification;
    std::uint8_t code;
    std::string_view text;
};
constexpr std::array kExpandedUnits{
    ExpandedUnit{kPressure, 170, "cmH2O (4C)"},
    ExpandedUnit{kPressure, 171, "mH2O (4C)"},
    ExpandedUnit{kPressure, 172, "cmHg"},
    ExpandedUnit{kPressure, 173, "lb/ft2"},
    ExpandedUnit{kPressure, 174, "hPa"},
    ExpandedUnit{kPressure, 175, "psia"},
    ExpandedUnit{kPressure, 176, "kg/m2"},
    ExpandedUnit{kPressure, 177, "ftH2O (4C)"},
    ExpandedUnit{kPressure, 178, "ftH2O (60F)"},
    ExpandedUnit{kPressure, 179, "mHg"},
    ExpandedUnit{kVolumetricFlow, 170, "beer bbl/s"},
    ExpandedUnit{kVolumetricFlow, 171, "beer bbl/min"},
    ExpandedUnit{kVolumetricFlow, 172, "beer bbl/h"},
    ExpandedUnit{kVolumetricFlow, 173, "beer bbl/d"},
    ExpandedUnit{kVolumetricFlow, 174, "NL/d"},
    ExpandedUnit{kVolumetricFlow, 175, "NL/min"},
    ExpandedUnit{kVolumetricFlow, 176, "NL/s"},
    ExpandedUnit{kVolumetricFlow, 177, "SL/d"},
    ExpandedUnit{kVolumetricFlow, 178, "SL/h"},
    ExpandedUnit{kVolumetricFlow, 179, "SL/min"},
    ExpandedUnit{kVolumetricFlow, 180, "SL/s"},
    ExpandedUnit{kVolumetricFlow, 181, "Nm3/d"},
    ExpandedUnit{kVolumetricFlow, 182, "Nm3/min"},
    ExpandedUnit{kVolumetricFlow, 183, "Nm3/s"},
    ExpandedUnit{kVolumetricFlow, 184, "SCFD"},
    ExpandedUnit{kVolumetricFlow, 185, "SCFH"},
    ExpandedUnit{kVolumetricFlow, 186, "SCFS"},
    ExpandedUnit{kVolumetricFlow, 187, "Sm3/d"},
    ExpandedUnit{kVolumetricFlow, 188, "Sm3/h"},
    ExpandedUnit{kVolumetricFlow, 189, "Sm3/min"},
    ExpandedUnit{kVolumetricFlow, 190, "Sm3/s"},
    ExpandedUnit{kVolume, 170, "beer bbl"},
    ExpandedUnit{kVolume, 171, "SL"},
    ExpandedUnit{kVolume, 172, "Sm3"},
    ExpandedUnit{kLength, 170, "um"},
    ExpandedUnit{kLength, 171, "uin"},
    ExpandedUnit{kTime, 170, "ms"},
    ExpandedUnit{kTime, 171, "us"},
    ExpandedUnit{kTime, 172, "ns"},
    ExpandedUnit{kMassPerVolume, 170, "mg/L"},
    ExpandedUnit{kMassPerVolume, 171, "mg/m3"},
    ExpandedUnit{kViscosity, 170, "Pa s"},
    ExpandedUnit{kForce, 170, "kN"},
    ExpandedUnit{kPower, 170, "MW"},
    ExpandedUnit{kPower, 171, "MJ/d"},
    ExpandedUnit{kCurrent, 170, "nA"},
    ExpandedUnit{kCurrent, 171, "uA"},
    ExpandedUnit{kResistance, 170, "Mohm"},
    ExpandedUnit{kResistance, 171, "ohm cm"},
    ExpandedUnit{kResistance, 172, "kohm cm"},
    ExpandedUnit{kResistance, 173, "Mohm cm"},
    ExpandedUnit{kResistance, 174, "mohm"},
    ExpandedUnit{kConcentration, 170, "ppth"},
};
constexpr std::uint8_t kFirstExpandedUnit = 170;
constexpr std::uint8_t kLastExpandedUnit = 219;

constexpr std::array kFamilies{
    CodeText{4, "temperature"},
    CodeText{5, "pressure"},
    CodeText{6, "valve/actuator"},
    CodeText{7, "simple PID"},
    CodeText{8, "pH"},
    CodeText{9, "conductivity"},
    CodeText{10, "totalizer"},
    CodeText{11, "level"},
    CodeText{12, "vortex flow"},
    CodeText{13, "mag flow"},
    CodeText{14, "Coriolis flow"},
    CodeText{kCodeNotUsed, "not used"},
};

constexpr std::array kDeviceVariableCodes{
    CodeText{kBatteryVoltageCode, "battery voltage"},
    CodeText{kBatteryLifeCode, "battery life"},
    CodeText{kPercentRangeCode, "percent range"},
    CodeText{kLoopCurrentCode, "loop current"},
    CodeText{kPrimaryVariableCode, "PV"},
    CodeText{kSecondaryVariableCode, "SV"},
    CodeText{kTertiaryVariableCode, "TV"},
    CodeText{kQuaternaryVariableCode, "QV"},
    CodeText{kCodeNotUsed, "not used"},
};

constexpr std::array kLoopCurrentModes{
    CodeText{0, "disabled"},
    CodeText{1, "enabled"},
};

constexpr std::array kRealTimeClockFlags{
    BitName{0x02, "clock uninitialized"},
    BitName{0x01, "non-volatile clock"},
};

std::optional<std::string_view> find(std::span<const CodeText> rows, std::uint8_t code) {
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [code](const CodeText& r) { return r.code == code; });
    if (row == rows.end()) return std::nullopt;
    return row->text;
}

std::string textOr(std::span<const CodeText> rows, std::uint8_t code, std::string_view prefix) {
    if (const auto text = find(rows, code)) return std::string(*text);
    return std::string(prefix) + std::to_string(code);
}

} // namespace

const BitNames kRealTimeClockFlagBits{kRealTimeClockFlags};

std::optional<std::string_view> unitName(std::uint8_t code) {
    return find(kUnits, code);
}

std::optional<std::string_view> unitName(std::uint8_t code, std::uint8_t classification) {
    if (code < kFirstExpandedUnit || code > kLastExpandedUnit) return unitName(code);
    const auto row =
        std::find_if(kExpandedUnits.begin(), kExpandedUnits.end(), [&](const ExpandedUnit& r) {
            return r.classification == classification && r.code == code;
        });
    if (row == kExpandedUnits.end()) return std::nullopt;
    return row->text;
}

std::string unitText(std::uint8_t code) {
    return textOr(kUnits, code, "unit ");
}

std::string unitText(std::uint8_t code, std::uint8_t classification) {
    if (const auto name = unitName(code, classification)) return std::string(*name);
    return "unit " + std::to_string(code);
}

std::string classificationName(std::uint8_t code) {
    return textOr(kClassifications, code, "classification ");
}

std::string deviceFamilyName(std::uint8_t code) {
    return textOr(kFamilies, code, "family ");
}

std::string deviceVariableCodeText(std::uint8_t code) {
    return textOr(kDeviceVariableCodes, code, "");
}

std::string loopCurrentModeText(std::uint8_t mode) {
    return textOr(kLoopCurrentModes, mode, "mode ");
}

} // namespace hart
