#include "readers/BrukerGeometry.h"

#include "model/math/MatrixHelpers.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "readers/TBrukerParameterFile.h"

int BrukerSliceOrientation(const std::string& valueLine)
{
    if (valueLine.find("coronal") != std::string::npos)
        return 1;
    if (valueLine.find("sagittal") != std::string::npos)
        return 0;
    if (valueLine.find("axial") != std::string::npos)
        return 2;
    return -1;
}

bool BrukerReadPhaseAxes(int sliceAxis, const std::string& readOrientation, int& readAxis, int& phaseAxis)
{
    // The read direction names its axis; the phase direction is the remaining in-plane axis.
    int read = -1;
    if (readOrientation == "L_R")
        read = 0;
    else if (readOrientation == "A_P")
        read = 1;
    else if (readOrientation == "H_F")
        read = 2;
    if (read < 0 || sliceAxis < 0 || sliceAxis > 2 || read == sliceAxis)
        return false;
    readAxis = read;
    phaseAxis = 3 - read - sliceAxis;
    return true;
}

TBrukerKeyResult TakeSlicePackageKey(const std::string& key, TBrukerParameterFile& file,
                                     TBrukerSlicePackage& package)
{
    if (key == "##$PVM_SPackArrGradOrient")
        return file.ReadNumbers(package.gradient, 9) ? TBrukerKeyResult::Taken : TBrukerKeyResult::EndOfScan;
    float* offset = nullptr;
    if (key == "##$PVM_SPackArrReadOffset")
        offset = &package.readOffset;
    else if (key == "##$PVM_SPackArrPhase1Offset")
        offset = &package.phaseOffset;
    else if (key == "##$PVM_SPackArrSliceOffset")
        offset = &package.sliceOffset;
    else if (key != "##$PVM_SPackArrSliceOrient" && key != "##$PVM_SPackArrReadOrient")
        return TBrukerKeyResult::NotPackageKey;

    std::string valueLine;
    if (!file.ReadLine(valueLine))
        return TBrukerKeyResult::NoValues;
    if (offset) {
        // Of several packages, the first one's value.
        *offset = static_cast<float>(vx::LeadingDouble(valueLine));
    } else if (key == "##$PVM_SPackArrReadOrient") {
        package.readOrientation = valueLine;
    } else {
        package.sliceAxis = BrukerSliceOrientation(valueLine);
        if (package.sliceAxis < 0)
            return TBrukerKeyResult::NoSliceOrientation;
    }
    return TBrukerKeyResult::Taken;
}

bool ScanMethodKeys(TBrukerParameterFile& file, const char* delimiters, TBrukerSlicePackage& package,
                    const std::function<bool(const std::vector<std::string>& tokens)>& onKey)
{
    std::string line;
    std::vector<std::string> tokens;
    while (file.ReadLine(line)) {
        SplitString(line, tokens, delimiters);
        if (tokens.size() < 2)
            continue;
        switch (TakeSlicePackageKey(tokens[0], file, package)) {
        case TBrukerKeyResult::NoValues:
            file.ReportMissingValues(tokens[0]);
            return false;
        case TBrukerKeyResult::NoSliceOrientation:
            ReportBrukerMessage("Method file " + file.Path() +
                                " gives no slice orientation of axial, sagittal or coronal.");
            return false;
        case TBrukerKeyResult::EndOfScan: return true;
        case TBrukerKeyResult::Taken: break;
        case TBrukerKeyResult::NotPackageKey:
            if (!onKey(tokens))
                return false;
            break;
        }
    }
    return true;
}

void TBrukerPlacement::OffCentre(float offCentre[3]) const
{
    offCentre[0] = -offset[0];
    offCentre[1] = -offset[1];
    offCentre[2] = offset[2];
}

bool PlaceSlicePackage(const TBrukerSlicePackage& package, TBrukerPlacement& placement,
                       const std::string& methodPath)
{
    int read = 0, phase = 0;
    const int slice = package.sliceAxis;
    if (!BrukerReadPhaseAxes(slice, package.readOrientation, read, phase)) {
        const std::string& text = package.readOrientation;
        if (!text.empty() && text.back() == '\r') {
            // A file saved with CR LF line ends keeps the carriage return in the value line.
            ReportBrukerMessage("The read orientation of method file " + methodPath +
                                " ends in a carriage return: the file must end its lines with line feeds only.");
        } else {
            static const char* const kSlices[3] = {"sagittal", "coronal", "axial"};
            ReportBrukerMessage("The read orientation \"" + text + "\" of method file " + methodPath +
                                " does not fit its " + (slice >= 0 && slice <= 2 ? kSlices[slice] : "unknown") +
                                " slices.");
        }
        return false;
    }
    float m[9] = {};
    const int columns[3] = {read, phase, slice};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            m[3 * row + columns[c]] = package.gradient[3 * c + row];
    float inverse[9];
    if (!InvertMatrix3x3(m, inverse, FailureMessage::None)) {
        ReportBrukerMessage("The gradient orientation of method file " + methodPath + " cannot be inverted.");
        return false;
    }
    placement.readAxis = read;
    placement.phaseAxis = phase;
    placement.sliceAxis = slice;
    placement.offset[read] = package.readOffset;
    placement.offset[phase] = package.phaseOffset;
    placement.offset[slice] = package.sliceOffset;
    for (int k = 0; k < 9; ++k) {
        placement.rotation[k] = m[k];
        placement.inverse[k] = inverse[k];
    }
    return true;
}
