// Macro files and voxel selection mask files, as the user applies them to the work set.
// The first input byte picks what the rest of the input is:
//  - bit 0 set: a selection mask file, read into a set of 1 + bits 1-3 by 1 + bits 4-6 by
//    1 + bit 7 voxels and, when it reads, written back with the k-space mask;
//  - bits 0-1 = 2: a selection for a set of 1 + bits 2-3 by 1 + bits 4-5 by 1 + bit 6
//    voxels, one input byte a voxel (x fastest, then y, then z; zero where the input has
//    no more), from which the target writes a mask file in the format's own layout (the
//    byte as a signed value, followed by a blank, a tab or a line end as bit 7 of the first
//    input byte and the value's parity choose). The mask read must select the voxels whose
//    value is not 0 and no other, and so must the mask the program then saves;
//  - bits 0-1 = 0, bit 7 clear: a macro file, run as the program runs a file the user chose
//    (one that is not a macro file is refused first) on a loaded 8 x 8 x 1 set of 64 points
//    through the project's "run macro file" with the processing library installed. Its
//    recorded steps are then saved as a macro file, which must read again and, when every
//    step was applied without a message, hold a block of each type of the input's blocks in
//    their order (as the format reads them, where it decides: not for an integer beyond 32
//    bits). The file must be read where the format reads it and refused where it
//    refuses it, and the steps the program reads of it, written back as a macro file before
//    any is applied, must hold every block's type in order and the value of every key the
//    block gives (its last line, read by the format's rule for the key's field);
//  - bits 0-1 = 0, bit 7 clear, bit 6 set: steps that keep an undo state (zero fill,
//    windows, filters, baseline), chosen by the input, which the target writes as a macro
//    file and runs on the work set: it must be applied, and the set must record the sum of
//    the filters' Lorentzian widths and the root of the sum of squares of their Gaussian
//    ones; then Edit > Undo (TProject::Undo) with one call of the
//    file layer failing (a write, the making of a file, a read, a read at a place, a size
//    look-up or an open to read, at its first to 16th call), or with the grid and point
//    count of a state file the input rewrites (or its field of view made 0). An undo that
//    is made must give back the samples the set held before the steps, to the bit, and no
//    broadening; one
//    that is refused must leave those after them and say why, and is refused, naming the
//    state file, where that file's shape is not the set's before its step or its field of
//    view is 0. An undo refused for a failing call is made again without it;
//  - bits 0-1 = 0, bit 7 set: the rest is a macro file (bit 6 clear) or a mask file (bit 6
//    set) replaced by a FIFO, a folder or a link to a FIFO (bits 2-3, modulo 3): it must be
//    refused with a message that says what stands there, and change nothing.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cctype>
#include <cstring>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <list>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/FileFaults.h"
#include "model/SelectionMaskFile.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "platform/Paths.h"
#include "platform/TTextFile.h"
#include "processing/InstallProcessing.h"
#include "processing/MacroFile.h"
#include "processing/TMacroStep.h"
#include "processing/TProcessHistory.h"
#include "processing/TProcessStep.h"

namespace {

// A block of a macro text: its type and the values its key lines give, each key's in order.
struct TBlock {
    int type = 0;
    std::map<std::string, std::vector<std::string>> values;
};

// The words of a line, split at blanks and tabs.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    for (size_t at = line.find_first_not_of(" \t"); at != std::string::npos; at = line.find_first_not_of(" \t", at)) {
        const size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// The blocks of a macro text in order: after an "<action>" line, the third word of the
// first line of three words whose first is "type" (lines that are empty or begin with "#",
// and other lines of three words, come before it) gives the type; the block then runs to
// the next "</action>" line, each of its lines of three words giving the value (the third)
// of a key (the first).
std::vector<TBlock> Blocks(const std::string& text)
{
    std::vector<TBlock> blocks;
    std::istringstream lines(text);
    bool inBlock = false, afterType = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (afterType) {
            afterType = line != "</action>";
            const std::vector<std::string> words = Words(line);
            if (afterType && !line.empty() && line[0] != '#' && words.size() == 3)
                blocks.back().values[words[0]].push_back(words[2]);
            continue;
        }
        if (line == "<action>" && !inBlock) {
            inBlock = true;
            continue;
        }
        if (!inBlock || line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> words = Words(line);
        if (words.size() == 3 && words[0] != "type")
            continue;
        if (words.size() == 3)
            blocks.push_back({int(std::strtol(words[2].c_str(), nullptr, 10)), {}});
        inBlock = false;
        afterType = words.size() == 3;
    }
    return blocks;
}

std::vector<int> BlockTypes(const std::string& text)
{
    std::vector<int> types;
    for (const TBlock& block : Blocks(text))
        types.push_back(block.type);
    return types;
}

// The keys of each macro step type, with the kind of field each fills: a float ('f'), an
// integer ('i') or an angle in degrees ('d', kept in radians and written back in degrees).
// Types 3 to 6 have no keys; type 13 (the baseline fit) is read by its own rule below.
struct TMacroKey {
    const char* key;
    char kind;
};
const std::map<int, std::vector<TMacroKey>>& MacroKeys()
{
    static const std::map<int, std::vector<TMacroKey>> keys = {
        {0, {{"xCenterMoveTo(mm)", 'f'}, {"yCenterMoveTo(mm)", 'f'}, {"zCenterMoveTo(mm)", 'f'},
             {"xOldCenter(mm)", 'f'}, {"yOldCenter(mm)", 'f'}, {"zOldCenter(mm)", 'f'}}},
        {1, {{"ConstantPhaseinDegree", 'd'}, {"LinearPhaseinDegree", 'd'}, {"Pivot", 'i'}, {"IsMultiSlice", 'i'},
             {"SliceIndex", 'i'}}},
        {2, {{"NewPPMCenter", 'f'}, {"NewReferenceinPPM", 'f'}}},
        {3, {}},
        {4, {}},
        {5, {}},
        {6, {}},
        {7, {{"FilterLineWidth", 'f'}}},
        {8, {{"FilterLineWidth", 'f'}}},
        {9, {{"GaussLineWidth", 'f'}, {"LorenLineWidth", 'f'}}},
        {10, {{"methodID", 'i'}, {"WindowType", 'i'}, {"WindowLength", 'i'}, {"NumOfPeaks", 'i'},
              {"WaterStartInHz", 'f'}, {"WaterEndInHz", 'f'}, {"WaterPeakAlignRangeinPPM", 'f'}}},
        {12, {{"LineWidth", 'f'}, {"Scale", 'f'}}},
        {13, {{"methodID", 'i'}}}};
    return keys;
}
constexpr int kBaselineFitType = 13;
constexpr int kMaxFitPeaks = 50;

// A value text read by the format's rule: blanks skipped, then the longest leading decimal
// number (an optional sign, digits with an optional point, an optional exponent), 0 when
// there is none. A float field refuses what a float cannot hold: "inf" or "nan" in any
// case, or a number beyond a float's range, a double's too (`finite` false). An integer
// beyond 32 bits has no value the format gives (`defined` false).
struct TValue {
    double value = 0;
    bool finite = true, defined = true;
};
TValue ReadValue(const std::string& text, bool integer)
{
    size_t at = 0;
    while (at < text.size() && std::strchr(" \t\r\n\f\v", text[at]) && text[at] != '\0')
        ++at;
    const size_t begin = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    const auto digits = [&] {
        const size_t from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at - from;
    };
    TValue v;
    if (integer) {
        if (digits() == 0)
            return v;
        errno = 0;
        const long long n = std::strtoll(text.substr(begin, at - begin).c_str(), nullptr, 10);
        v.defined = errno == 0 && n >= INT32_MIN && n <= INT32_MAX;
        v.value = double(n);
        return v;
    }
    std::string word = text.substr(at, 3);
    for (char& c : word)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (word == "inf" || word == "nan") {
        v.finite = false;
        return v;
    }
    size_t count = digits();
    if (at < text.size() && text[at] == '.') {
        ++at;
        count += digits();
    }
    if (count == 0)
        return v;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        const size_t mark = at++;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        if (digits() == 0)
            at = mark;
    }
    v.value = std::strtod(text.substr(begin, at - begin).c_str(), nullptr);
    v.finite = std::isfinite(float(v.value));
    return v;
}

// What a block of a macro file gives: its type, and the values of the keys that its step
// writes back as it read them (the last line of a key counts), in the order the step writes
// them; for a baseline fit also its peak count and each peak's start and end.
struct TExpectedStep {
    int type = 0;
    std::vector<std::pair<std::string, double>> values;
    int peaks = 0;  // a baseline fit's count
    std::vector<double> starts, ends;
};

// The lines of a text file as the program reads them: split at line feeds, each without
// one carriage return before its line feed.
std::vector<std::string> TextLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The steps a macro text gives by the format's rule (see processing/MacroFile.h): false
// where it must be refused (a line of other than three words where a type or key line is
// read, a block that the text ends in, a type no step has, a float value no float holds,
// a baseline fit of a peak count below 0 or above 50). `decided` is false for a text whose
// reading the format leaves open (an integer beyond 32 bits).
bool ExpectedSteps(const std::string& text, std::vector<TExpectedStep>& steps, bool& decided)
{
    decided = true;
    const std::vector<std::string> lines = TextLines(text);
    size_t at = 0;
    const auto skipped = [](const std::string& line) { return line.empty() || line[0] == '#'; };
    while (at < lines.size()) {
        if (lines[at++] != "<action>")
            continue;
        // The type line.
        TExpectedStep step;
        bool typed = false;
        while (!typed) {
            if (at == lines.size())
                return false;
            const std::string& line = lines[at++];
            if (skipped(line))
                continue;
            const std::vector<std::string> words = Words(line);
            if (words.size() != 3)
                return false;
            if (words[0] == "type") {
                const TValue type = ReadValue(words[2], true);
                decided = decided && type.defined;
                if (!decided)
                    return false;
                step.type = int(type.value);
                typed = true;
            }
        }
        const auto keys = MacroKeys().find(step.type);
        if (keys == MacroKeys().end())
            return false;
        const bool keyless = keys->second.empty();
        std::map<std::string, double> given;
        int count = 0;  // a baseline fit's peaks opened so far by "PeakStart"
        std::vector<double> starts(kMaxFitPeaks, 0.0), ends(kMaxFitPeaks, 0.0);
        for (bool ended = false; !ended;) {
            if (at == lines.size())
                return false;
            const std::string& line = lines[at++];
            if (skipped(line))
                continue;
            if (line == "</action>") {
                // The empty line after a block is taken with it; any other is read anew.
                if (at < lines.size() && lines[at].empty())
                    ++at;
                ended = true;
                continue;
            }
            if (keyless)
                continue;
            const std::vector<std::string> words = Words(line);
            if (words.size() != 3)
                return false;
            const std::string& key = words[0];
            for (const TMacroKey& k : keys->second)
                if (key == k.key) {
                    const TValue v = ReadValue(words[2], k.kind == 'i');
                    decided = decided && v.defined;
                    if (!v.finite)
                        return false;
                    given[key] = v.value;
                }
            if (step.type != kBaselineFitType)
                continue;
            if (key == "NumofPeaks") {
                const TValue v = ReadValue(words[2], true);
                decided = decided && v.defined;
                if (v.value < 0 || v.value > kMaxFitPeaks)
                    return false;
                step.peaks = int(v.value);
            } else if (key == "PeakStart" || key == "PeakEnd") {
                const TValue v = ReadValue(words[2], false);
                decided = decided && v.defined;
                if (!v.finite)
                    return false;
                count += key == "PeakStart";
                if (count >= 1 && count <= std::max(step.peaks, 0))
                    (key == "PeakStart" ? starts : ends)[size_t(count - 1)] = v.value;
            }
        }
        for (const TMacroKey& k : keys->second)
            if (given.contains(k.key))
                step.values.emplace_back(k.key, given[k.key]);
        if (step.type == kBaselineFitType) {
            step.starts.assign(starts.begin(), starts.begin() + step.peaks);
            step.ends.assign(ends.begin(), ends.begin() + step.peaks);
        }
        steps.push_back(std::move(step));
    }
    return true;
}

// Whether a value a step wrote back (with five decimals) is the float `expected`.
bool SameValue(const std::string& written, double expected)
{
    char* end = nullptr;
    const double value = std::strtod(written.c_str(), &end);
    const double wanted = double(float(expected));
    return end == written.c_str() + written.size() && std::fabs(value - wanted) <= 5e-6 + 1e-6 * std::fabs(wanted);
}

// Whether the values written back under `key` are `expected`, one line each.
bool SameValues(const TBlock& block, const std::string& key, const std::vector<double>& expected)
{
    const auto it = block.values.find(key);
    const std::vector<std::string> none;
    const std::vector<std::string>& written = it == block.values.end() ? none : it->second;
    if (written.size() != expected.size())
        return false;
    for (size_t k = 0; k < expected.size(); ++k)
        if (!SameValue(written[k], expected[k]))
            return false;
    return true;
}

// The steps a macro file's blocks give, as the program reads them, written back as a macro
// file: read where the format reads the text and refused where it refuses it, every block
// of the input in order, and every key that the input's block gives with the value read
// from it (a baseline fit's peaks as its rule keeps them).
void CheckRoundTrip(const std::string& path, const std::string& input)
{
    std::vector<TExpectedStep> expected;
    bool decided = true;
    const bool readable = ExpectedSteps(input, expected, decided);
    vx::TTextFile in;
    std::list<TProcessStep*> steps;
    const bool read = in.Open(path, vx::TTextFile::Mode::Read) && ReadMacroSteps(in, steps);
    in.Close();
    const std::string written = vx::JoinPath(vx::fuzz::ScratchFolder(), "read.mcr");
    vx::TTextFile out;
    const bool wrote = read && out.Open(written, vx::TTextFile::Mode::Write);
    for (TProcessStep* step : steps) {
        if (wrote)
            step->WriteMacro(out);
        delete step;
    }
    if (!decided)
        return;
    vx::fuzz::Require(read == readable, "a macro file is read where its format reads it, and refused where not");
    std::string text;
    if (!wrote || !out.Close() || !vx::ReadWholeFile(written, text))
        return;
    const std::vector<TBlock> back = Blocks(text);
    vx::fuzz::Require(back.size() == expected.size(), "a macro file's steps are written back, each once");
    for (size_t k = 0; k < back.size(); ++k) {
        const TExpectedStep& step = expected[k];
        vx::fuzz::Require(back[k].type == step.type, "a macro file's steps are written back in its order");
        for (const auto& [key, value] : step.values)
            vx::fuzz::Require(SameValues(back[k], key, {value}), "a macro step is written back with the values its block gave");
        if (step.type == kBaselineFitType)
            vx::fuzz::Require(SameValues(back[k], "NumofPeaks", {double(step.peaks)}) &&
                                  SameValues(back[k], "PeakStart", step.starts) && SameValues(back[k], "PeakEnd", step.ends),
                              "a baseline fit is written back with the peaks its block gave");
    }
}

// The project of the macro runs, with its loaded work set; null when it cannot be made.
std::unique_ptr<TProject> MacroProject()
{
    const std::string folder = vx::JoinPath(vx::fuzz::ScratchFolder(), "macro");
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    auto project = std::make_unique<TProject>();
    if (!project->Create(folder, "macro"))
        return nullptr;
    TCSISet* set = vx::fuzz::LoadedSet(8, 8, 1, 64);
    if (!set)
        return nullptr;
    project->m_pCSISetList->Add(set);
    project->m_pWorkSet = set;
    project->m_bRecording = true;
    return project;
}

void RunMacro(const std::string& path, const std::string& input)
{
    if (MacroFileKind(path) == TMacroFileKind::Other)
        return;
    CheckRoundTrip(path, input);
    const std::unique_ptr<TProject> project = MacroProject();
    if (!project)
        return;
    const int reports = vx::fuzz::ReportCount();
    const bool applied = project->RunMacroFile(path);
    const bool quiet = vx::fuzz::ReportCount() == reports;
    // The recorded steps are saved as a macro file, which must read again and hold what the
    // input asked for when all of it was applied: the types of its blocks by the format's
    // rule, where the format decides them (not for an integer beyond 32 bits).
    std::vector<TExpectedStep> expected;
    bool decided = true;
    std::vector<int> types;
    if (ExpectedSteps(input, expected, decided))
        for (const TExpectedStep& step : expected)
            types.push_back(step.type);
    const std::string saved = vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.mcr");
    vx::TTextFile out;
    if (project->m_history && out.Open(saved, vx::TTextFile::Mode::Write) && project->m_history->WriteMacro(out) &&
        out.Close()) {
        vx::TTextFile in;
        std::list<TProcessStep*> steps;
        const bool read = in.Open(saved, vx::TTextFile::Mode::Read) && ReadMacroSteps(in, steps);
        for (TProcessStep* step : steps)
            delete step;
        if (!read)
            __builtin_trap();
        std::string text;
        if (applied && quiet && decided && (!vx::ReadWholeFile(saved, text) || BlockTypes(text) != types))
            __builtin_trap();
    }
}

// Undo of steps that keep an undo state: see the head of the file.
void UndoSteps(const uint8_t* data, size_t size)
{
    using vx::fuzz::Require;
    vx::fuzz::TChosen chosen(data, size);
    // The types whose steps keep the whole set in a state file, and the lines of their keys.
    static constexpr int kTypes[] = {3, 4, 5, 6, 7, 8, 9, 12};
    const int members = 1 + chosen.Pick(2);
    std::string text = "#Vexara Macro File#\r\n\r\n";
    // The broadenings the filters record: the sum of the Lorentzian widths, and the root of
    // the sum of the squares of the Gaussian ones.
    double lorentz = 0.0, gaussSquares = 0.0;
    for (int k = 0; k < members; ++k) {
        const int type = kTypes[chosen.Pick(8)];
        const auto width = [&](double* sum, bool squared) {
            const std::string written = vx::fuzz::Printed("%d.%d", 1 + chosen.Pick(8), chosen.Pick(10));
            const double value = std::strtod(written.c_str(), nullptr);
            if (sum)
                *sum += squared ? value * value : value;
            return written;
        };
        text += "<action>\r\ntype = " + std::to_string(type) + "\r\n";
        if (type == 7 || type == 8)
            text += "FilterLineWidth = " + width(type == 7 ? &lorentz : &gaussSquares, type == 8) + "\r\n";
        if (type == 9) {
            text += "GaussLineWidth = " + width(&gaussSquares, true) + "\r\n";
            text += "LorenLineWidth = " + width(&lorentz, false) + "\r\n";
        }
        if (type == 12) {
            text += "LineWidth = " + width(nullptr, false) + "\r\n";
            text += "Scale = " + width(nullptr, false) + "\r\n";
        }
        text += "</action>\r\n\r\n";
    }
    // What fails: 0 nothing, 7 the state file's shape, else a call of the file layer.
    static constexpr unsigned kCalls[] = {0, vx::kFileWrite, vx::kFileCreate, vx::kFileRead,
                                          vx::kFileReadAt, vx::kFileSize, vx::kFileOpenRead, 0};
    const int failing = chosen.Pick(8);
    const int at = 1 + chosen.Pick(16);
    const int member = chosen.Pick(members);
    const int reshape = chosen.Pick(6);
    const std::array<uint8_t, 4> raw = {chosen.Byte(), chosen.Byte(), chosen.Byte(), chosen.Byte()};

    const std::string path = vx::fuzz::WriteScratch("undo.mcr", text);
    const std::unique_ptr<TProject> project = MacroProject();
    if (!project)
        return;
    TCSISet* set = project->m_pWorkSet;
    const vx::fuzz::TSetContents before = vx::fuzz::ContentsOf(*set);
    Require(project->RunMacroFile(path) && project->m_history && !project->m_history->DoneSteps().empty(),
            "a macro of steps that apply to the set is applied");
    const auto* macro = dynamic_cast<const TMacroStep*>(project->m_history->DoneSteps().back());
    Require(macro && int(macro->m_members.size()) == members, "a macro of steps that apply is recorded with each");
    const vx::fuzz::TSetContents after = vx::fuzz::ContentsOf(*set);
    Require(vx::fuzz::Near(set->m_fLorentzBroadening, lorentz) &&
                vx::fuzz::Near(set->m_fGaussBroadening, std::sqrt(gaussSquares)),
            "the filters record the sum of their Lorentzian widths and the root of the sum of squares of their Gaussian ones");

    // The state file's grid and point count (little-endian words at byte 32), rewritten: kept,
    // half as many along y or along the points and twice as many along x or z (the samples
    // still fill the file), or the input's own four bytes; or the first field of view (the
    // float at byte 20) made 0, which no set of a project may have.
    bool otherShape = false;
    const std::string state = (*std::next(macro->m_members.begin(), member))->m_state.Path();
    if (failing == 7) {
        std::fstream file(state, std::ios::in | std::ios::out | std::ios::binary);
        int32_t shape[4] = {};
        if (!file.seekg(32) || !file.read(reinterpret_cast<char*>(shape), sizeof shape))
            return;
        int32_t changed[4] = {shape[0], shape[1], shape[2], shape[3]};
        if (reshape == 1 && shape[1] % 2 == 0)
            changed[0] *= 2, changed[1] /= 2;
        if (reshape == 2 && shape[3] % 2 == 0)
            changed[2] *= 2, changed[3] /= 2;
        if (reshape == 3 && shape[0] % 2 == 0)
            changed[0] /= 2, changed[3] *= 2;
        if (reshape == 4)
            for (int k = 0; k < 4; ++k)
                changed[k] = raw[size_t(k)];
        if (!file.seekp(32) || !file.write(reinterpret_cast<const char*>(changed), sizeof changed) || !file.flush())
            return;
        const float noField = 0;
        if (reshape == 5 && (!file.seekp(20) || !file.write(reinterpret_cast<const char*>(&noField), 4) || !file.flush()))
            return;
        otherShape = reshape == 5 || !std::equal(shape, shape + 4, changed);
    }

    vx::fuzz::ClearReportTexts();
    const int reports = vx::fuzz::ReportCount();
    if (kCalls[failing])
        vx::SetFileFaults({{kCalls[failing], EIO, at}});
    const bool undone = project->Undo();
    const bool struck = vx::FileFaultStruck();
    vx::SetFileFaults({});
    if (undone)
        Require(vx::fuzz::HoldsSamples(before, *set) && set->m_fLorentzBroadening == 0.0f &&
                    set->m_fGaussBroadening == 0.0f,
                "an undo gives back the samples and broadenings the set held before the steps");
    else
        Require(vx::fuzz::HoldsSamples(after, *set) && vx::fuzz::ReportCount() > reports,
                "a refused undo leaves the samples after the steps and says why");
    Require(undone != otherShape || (!undone && struck), "an undo state of another shape or without a field of view is refused, and only it");
    Require(!otherShape || vx::fuzz::ReportedPath(state), "the refusal of an undo state names its file");
    if (undone || otherShape)
        return;
    // The state stays for another try, which nothing makes fail now.
    Require(project->Undo() && vx::fuzz::HoldsSamples(before, *set),
            "an undo refused for a failing call is made when tried again");
}

// Each voxel's selected flag, x fastest.
std::vector<uint8_t> Selection(const TCSISet& set)
{
    std::vector<uint8_t> selected;
    for (int z = 0; z < set.m_nDim[2]; ++z)
        for (int y = 0; y < set.m_nDim[1]; ++y)
            for (int x = 0; x < set.m_nDim[0]; ++x)
                selected.push_back(set.GetVoxel(set.VoxelIndex(x, y, z))->m_bSelected);
    return selected;
}

// Selects every other voxel, so that a read that leaves a flag alone is seen.
void SelectAlternate(TCSISet& set)
{
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        set.GetVoxel(v)->m_bSelected = v % 2;
}

void ReadWrittenMask(uint8_t pick, const uint8_t* data, size_t size)
{
    const int nx = 1 + ((pick >> 2) & 3), ny = 1 + ((pick >> 4) & 3), nz = 1 + ((pick >> 6) & 1);
    std::unique_ptr<TCSISet> set(vx::fuzz::LoadedSet(nx, ny, nz, 4));
    if (!set)
        return;
    std::string text = "#Vexara voxel selection mask file\r\n#CSI data set: csi\r\n#dimension : (+";
    ((((text += std::to_string(nx)) += " , +") += std::to_string(ny)) += " , +") += std::to_string(nz);
    text += ")\r\n\r\n";
    std::vector<uint8_t> expected;
    size_t k = 0;
    for (int z = 0; z < nz; ++z) {
        for (int y = 0; y < ny; ++y) {
            for (int x = 0; x < nx; ++x, ++k) {
                const int value = k < size ? int(int8_t(data[k])) : 0;
                expected.push_back(value != 0);
                (text += value < 0 ? '-' : '+') += std::to_string(std::abs(value));
                text += (pick & 128) && (value & 1) ? '\t' : ' ';
            }
            text += "\r\n";
        }
        text += "\r\n";
    }
    const std::string path = vx::fuzz::WriteScratch("selection.txt", text);
    SelectAlternate(*set);
    if (!ReadSelectionMask(*set, path) || Selection(*set) != expected)
        __builtin_trap();
    // The mask the program saves selects the same voxels in a set of its grid.
    const std::string saved = vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.txt");
    std::unique_ptr<TCSISet> again(vx::fuzz::LoadedSet(nx, ny, nz, 4));
    if (!again || !WriteSelectionMask(*set, saved))
        return;
    SelectAlternate(*again);
    if (!ReadSelectionMask(*again, saved) || Selection(*again) != expected)
        __builtin_trap();
}

// A FIFO, folder or link to a FIFO where the macro or mask file is read: refused, saying
// what stands there, with the set unchanged.
void ReadSpecialFile(uint8_t pick)
{
    const std::string path = vx::JoinPath(vx::fuzz::ScratchFolder(), (pick & 64) ? "selection.txt" : "run.mcr");
    const std::string what = vx::fuzz::PutSpecialFile(path, (pick >> 2) & 3);
    if (what.empty())
        __builtin_trap();
    vx::fuzz::ClearReportTexts();
    if (pick & 64) {
        std::unique_ptr<TCSISet> set(vx::fuzz::LoadedSet(2, 2, 1, 4));
        if (!set)
            return;
        SelectAlternate(*set);
        const std::vector<uint8_t> before = Selection(*set);
        if (ReadSelectionMask(*set, path) || Selection(*set) != before)
            __builtin_trap();
    } else {
        const std::unique_ptr<TProject> project = MacroProject();
        if (!project)
            return;
        if (MacroFileKind(path) != TMacroFileKind::Other && project->RunMacroFile(path))
            __builtin_trap();
        if (project->m_history && !project->m_history->DoneSteps().empty())
            __builtin_trap();
    }
    if (!vx::fuzz::Reported(path) || !vx::fuzz::EveryReportNaming(path, what + ", not a file"))
        __builtin_trap();
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (vx::fuzz::Prepare(), InstallProcessing(), true);
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    if ((pick & 3) == 2) {
        ReadWrittenMask(pick, data, size);
        return 0;
    }
    if ((pick & 3) == 0) {
        if (pick & 128) {
            ReadSpecialFile(pick);
            return 0;
        }
        if (pick & 64) {
            UndoSteps(data, size);
            return 0;
        }
        const std::string input(reinterpret_cast<const char*>(data), size);
        RunMacro(vx::fuzz::WriteScratch("run.mcr", input), input);
        return 0;
    }
    const std::string path = vx::fuzz::WriteScratch("selection.txt", data, size);
    std::unique_ptr<TCSISet> set(vx::fuzz::LoadedSet(1 + ((pick >> 1) & 7), 1 + ((pick >> 4) & 7), 1 + (pick >> 7), 4));
    // A mask read is saved again as the user may save it, with the k-space mask beside it.
    if (set && ReadSelectionMask(*set, path)) {
        WriteSelectionMask(*set, vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.txt"));
        WriteKSpaceMask(*set, vx::JoinPath(vx::fuzz::ScratchFolder(), "kspace.txt"));
    }
    return 0;
}
