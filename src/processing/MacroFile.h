#pragma once
// The macro file: processing steps with their parameters as text, written from the
// recorded steps of the history and read back into steps that replay them.
//
// Layout (every line ends in "\r\n"):
//   #Vexara Macro File#
//   (empty line)
//   <action>                  one block per step, in the order they were performed
//   #Lorentzian filtering     title
//   type = 7                  the step's type (its m_nKind)
//   FilterLineWidth = 2.5     one "key = value" line per parameter
//   </action>
//   (empty line)
// Numbers are written by FloatToString with 5 decimals (integers without a point) and
// read like atof/atoi: the leading number of the value, 0 when there is none.
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

namespace vx {
class TTextFile;
}

class TProcessStep;

inline constexpr const char* kMacroFileHeader = "#Vexara Macro File#";
inline constexpr const char* kInvalidMacroLine = "Invalid macro file in line: ";

// One parameter of a step's block: its key and the field it is written from and read
// into. Angles are kept in radians and stored in degrees.
struct TMacroField {
    static TMacroField Float(const char* key, float& value) { return {key, &value, nullptr, false}; }
    static TMacroField Int(const char* key, int32_t& value) { return {key, nullptr, &value, false}; }
    static TMacroField Degrees(const char* key, float& radians) { return {key, &radians, nullptr, true}; }

    const char* key;
    float* pFloat;
    int32_t* pInt;
    bool degrees;
};

// Writes a step's block: "<action>", the title line (with its "#"), the type line,
// the fields in order, "</action>" and an empty line. Failures stay in the file.
void WriteMacroBlock(vx::TTextFile& file, int type, const char* title, const std::vector<TMacroField>& fields);

// Reads the rest of a block after its type line, up to and including "</action>" and
// the empty line after it (any other line there is left for the next read). Empty
// lines and lines that begin with "#" are skipped; every other line must read
// "key = value" (three tokens; the middle one is not looked at) and goes to onKey with
// its key and value text; onKey returns false for a value it cannot take. A null onKey
// passes the lines over without looking at them (steps without parameters).
// False at the end of the file before "</action>", and after reporting
// "Invalid macro file in line: " with the line for a line that does not read.
using TMacroKeyFn = std::function<bool(const std::string& key, const std::string& value)>;
bool ReadMacroKeyLines(vx::TTextFile& file, const TMacroKeyFn& onKey);

// ReadMacroKeyLines into the fields whose key matches exactly; other keys are ignored.
bool ReadMacroBlock(vx::TTextFile& file, const std::vector<TMacroField>& fields);

// Values of key lines: the leading number as atof/atoi read it (0 when there is none).
// False for a number that a float cannot hold (nan, inf, beyond its range): such a
// value would turn every sample it touches into nonsense.
bool ParseMacroFloat(const std::string& text, float& value);
int32_t ParseMacroInt(const std::string& text);

// Reads a whole macro file, appending the steps of its blocks to `steps` (owned by the
// caller, each made by CreateMacroStep and then its ReadMacro). Lines outside blocks
// other than "<action>" are ignored, the header too. False for a block of an unknown
// type, one that ends before its type line, or one whose step does not read (a line
// that does not read is reported); the steps read before stay in the list.
bool ReadMacroSteps(vx::TTextFile& file, std::list<TProcessStep*>& steps);

// What a file chosen as a macro is: a macro file holds the header line or a line
// "<action>" that opens a step block, or nothing but blanks and line ends (a macro of
// no steps). Only the first 64 KiB are looked at, so that a large file of another kind
// is not read whole. Unreadable when the file does not open or its read fails: the reader
// of the macro says why.
enum class TMacroFileKind { Unreadable, Other, Macro };
TMacroFileKind MacroFileKind(const std::string& path);
// The message for a file that is not a macro file.
std::string NotAMacroFileText(const std::string& path);
