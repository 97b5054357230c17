#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/PhilipsCSITestFiles.h"
#include "readers/PhilipsEPCSITestFiles.h"
#include "readers/ReaderTestSupport.h"
#include "readers/TPhilipsEPCSIReader.h"
#include "support/FileFaultScope.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using namespace vx::test;

// In a batch run (TBatchMode) no question is asked and base.PAR is read.
std::unique_ptr<TCSISet> ReadEPCSI(const std::string& path, const TEPCSIScan& scan, bool rawData = false)
{
    TCSIReadParams params;
    params.m_nSweepWidth = int(scan.bandwidth);
    params.m_fFrequency = 127.7f;
    params.m_bLoadRawData = rawData ? 1 : 0;
    return ReadAs(11, path, params);
}

int Points(const TEPCSIScan& scan)
{
    return (scan.echoes * scan.cardiacPhases + 1) / 2;
}

// The spectral point of the line: the transform to the frequency domain puts
// exp(2 pi i f t) at -f from the centre of the spectrum.
int LinePoint(const TEPCSIScan& scan)
{
    const int points = Points(scan);
    return points / 2 - int(std::lround(scan.offsetHz * points / scan.bandwidth));
}

// The set holds the line at `voxel` and point `point`; every other voxel and every other
// point of that voxel stay below `leak` times the line.
void ExpectOneLine(const TCSISet& set, const int voxel[3], int point, float leak, const std::string& what)
{
    const TSpectrum* line = set.GetVoxel(voxel[0], voxel[1], voxel[2]);
    ASSERT_NE(line, nullptr) << what;
    const float peak = line->GetMagnitude(point);
    ASSERT_GT(peak, 0.0f) << what;
    for (int i = 0; i < set.m_nPoints; ++i) {
        if (i != point) {
            ASSERT_LT(line->GetMagnitude(i), leak * peak) << what << ", point " << i;
        }
    }
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        if (set.GetVoxel(v) != line) {
            ASSERT_LT(set.GetVoxel(v)->GetMaxMagnitude(), leak * peak) << what << ", voxel " << v;
        }
    }
}

}  // namespace

TEST(PhilipsEPCSIReader, PointSourceLandsInItsVoxelForEveryOrientation)
{
    // The flips that restore each orientation, worked out by hand for the source at
    // (2, 1, 0) along kx, ky, kz of an 8 x 6 x 3 grid.
    struct Case {
        int sliceAxis;
        const char* prep;
        int axes[3];
        int voxel[3];
    };
    const Case cases[] = {
        {0, "Feet-Head", {1, 2, 0}, {2, 5, 4}},
        {0, "Anterior-Posterior", {2, 1, 0}, {2, 4, 2}},
        {1, "Feet-Head", {0, 2, 1}, {5, 0, 4}},
        {1, "Right-Left", {2, 0, 1}, {4, 0, 2}},
        {2, "Right-Left", {1, 0, 2}, {4, 2, 2}},
        {2, "Anterior-Posterior", {0, 1, 2}, {5, 4, 2}},
    };
    TScriptedReport report;
    TBatchMode batch;
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.sliceAxis) + " " + c.prep;
        TTempFolder folder;
        TEPCSIScan scan;
        scan.sliceAxis = c.sliceAxis;
        scan.prepDirection = c.prep;
        std::copy(c.axes, c.axes + 3, scan.axes);
        auto set = ReadEPCSI(WriteEPCSIScan(folder.Path(), scan), scan);
        ASSERT_NE(set, nullptr) << what << ": " << g_batchLog;
        EXPECT_EQ(set->m_strName, "scan");
        EXPECT_EQ(set->m_nSliceAxis, c.sliceAxis);
        EXPECT_EQ(set->m_bFrequencyDomain, 1);
        EXPECT_EQ(set->m_bKSpace, 0);
        for (int d = 0; d < 3; ++d) {
            EXPECT_EQ(set->m_nDim[c.axes[d]], scan.n[d]) << what;
            EXPECT_FLOAT_EQ(set->m_fFOV[c.axes[d]], scan.fov[d]) << what;
        }
        EXPECT_FLOAT_EQ(set->m_fSliceThickness, scan.fov[2] / float(scan.n[2]));
        ExpectOneLine(*set, c.voxel, LinePoint(scan), 1e-3f, what);
        // Both halves of the echo train add up: 100 per sample, twice, over 16 points.
        EXPECT_NEAR(set->GetVoxel(c.voxel[0], c.voxel[1], c.voxel[2])->GetMagnitude(LinePoint(scan)),
                    2 * 100 * Points(scan), 0.5) << what;
        EXPECT_EQ(set->m_kSpaceMask.size(), set->VoxelCount());
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(PhilipsEPCSIReader, EchoTrainsAveragesAndOversampling)
{
    struct Case {
        const char* what;
        std::function<void(TEPCSIScan&)> change;
        float leak;  // an odd echo count leaves the last odd point empty
    };
    const Case cases[] = {
        {"an odd echo count keeps its last echo", [](TEPCSIScan& s) { s.echoes = 31; }, 0.1f},
        {"cardiac phases within each echo", [](TEPCSIScan& s) { s.echoes = 8, s.cardiacPhases = 2; }, 1e-3f},
        {"an odd count of echoes and phases", [](TEPCSIScan& s) { s.echoes = 5, s.cardiacPhases = 3; }, 0.2f},
        {"three averages are summed and divided", [](TEPCSIScan& s) { s.averages = 3; }, 1e-3f},
        {"no stated averages count as one", [](TEPCSIScan& s) { s.statedAverages = 0; }, 1e-3f},
        {"an oversampled readout widens the field of view", [](TEPCSIScan& s) { s.kxOversample = 2.0f; }, 1e-3f},
        {"vectors right at the start of the file", [](TEPCSIScan& s) { s.dataOffset = 0; }, 1e-3f},
    };
    TScriptedReport report;
    TBatchMode batch;
    const int voxel[3] = {5, 4, 2};  // transverse, "Anterior-Posterior" (above)
    for (const Case& c : cases) {
        TTempFolder folder;
        TEPCSIScan scan;
        c.change(scan);
        auto set = ReadEPCSI(WriteEPCSIScan(folder.Path(), scan), scan);
        ASSERT_NE(set, nullptr) << c.what << ": " << g_batchLog;
        const int points = Points(scan);
        EXPECT_EQ(set->m_nPoints, points) << c.what;
        EXPECT_EQ(set->m_nLastPoint, points - 1) << c.what;
        EXPECT_EQ(set->m_fPPMCentrePoint, float(points / 2)) << c.what;
        EXPECT_EQ(set->m_fAverages, float(std::max(1, scan.statedAverages < 0 ? scan.averages : scan.statedAverages)));
        EXPECT_FLOAT_EQ(set->m_fFOV[0], scan.fov[0] * scan.kxOversample) << c.what;
        ExpectOneLine(*set, voxel, LinePoint(scan), c.leak, c.what);
        const float peak = set->GetVoxel(voxel[0], voxel[1], voxel[2])->GetMagnitude(LinePoint(scan));
        // Every sample of the train adds 100 to the line.
        EXPECT_NEAR(peak, 100.0f * float(scan.echoes * scan.cardiacPhases), 0.01f * peak) << c.what;
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(PhilipsEPCSIReader, RawLoadKeepsTheReconstructedKSpaceWhateverTheWorkers)
{
    TScriptedReport report;
    TBatchMode batch;
    TProcessorCountGuard guard;
    TTempFolder folder;
    TEPCSIScan scan;
    scan.n[0] = 16, scan.n[1] = 10, scan.n[2] = 2;
    const std::string path = WriteEPCSIScan(folder.Path(), scan);
    vx::SetProcessorCount(1);
    auto one = ReadEPCSI(path, scan, true);
    vx::SetProcessorCount(5);
    auto five = ReadEPCSI(path, scan, true);
    ASSERT_TRUE(one && five) << g_batchLog;
    EXPECT_EQ(one->m_bKSpace, 1);
    EXPECT_EQ(one->m_bFrequencyDomain, 0);
    EXPECT_EQ(one->m_kSpaceMask.size(), one->VoxelCount());
    ASSERT_EQ(one->VoxelCount(), five->VoxelCount());
    for (size_t v = 0; v < one->VoxelCount(); ++v) {
        ASSERT_EQ(std::memcmp(one->GetVoxel(v)->Data(), five->GetVoxel(v)->Data(), size_t(one->m_nPoints) * 8), 0)
            << "voxel " << v;
        // A point source is a plane wave in k-space: both halves of the train, 2 x 100,
        // at every position and time.
        for (int i = 0; i < one->m_nPoints; ++i)
            ASSERT_NEAR(one->GetVoxel(v)->GetMagnitude(i), 200.0f, 0.05f) << "voxel " << v << " point " << i;
    }
}

TEST(PhilipsEPCSIReader, VectorsAreReadFromTheirOwnOffsets)
{
    // The same scan twice: once with its standard vectors back to back, once with the
    // second mix's vector and a noise vector stored between the fifth and sixth of them
    // (their LIST lines giving the offsets). Both give the same grid.
    TScriptedReport report;
    TBatchMode batch;
    TTempFolder folder;
    TEPCSIScan scan;
    scan.n[0] = 8, scan.n[1] = 4, scan.n[2] = 2, scan.echoes = 8;
    auto plain = ReadEPCSI(WriteEPCSIScan(folder.Path(), scan), scan, true);
    ASSERT_NE(plain, nullptr) << g_batchLog;

    const long bytes = scan.n[0] * 8;
    const long gap = scan.dataOffset + 5 * bytes;  // where the sixth standard vector began
    std::string list;
    std::istringstream in(EPCSIListText(scan));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> w = ListWords(line);
        if (line[0] == ' ' && (w[0] == "STD" || w[0] == "NOI")) {
            long offset = std::stol(w.back());
            if (w[0] == "STD" && w[1] == "1")
                offset = gap;
            else if (w[0] == "STD" && offset >= gap)
                offset += 2 * bytes;
            line.clear();
            w.back() = std::to_string(offset);
            for (const auto& word : w)
                line += "  " + word;
        }
        list += line + "\n";
    }
    list += "  NOI  0  0  0  0  0  0  0  0  0  0  0  0  1  0  0  0  0  0  " + std::to_string(bytes) + "  " +
            std::to_string(gap + bytes) + "\n";
    std::string data = EPCSIDataBytes(scan);
    data.insert(size_t(gap), std::string(size_t(2 * bytes), 'm'));
    WriteBytes(folder.File("gaps.LIST"), list);
    WriteBytes(folder.File("gaps.DATA"), data);
    WriteBytes(folder.File("gaps.PAR"), EPCSIParText(scan));
    auto gaps = ReadEPCSI(folder.File("gaps.LIST"), scan, true);
    ASSERT_NE(gaps, nullptr) << g_batchLog;
    ASSERT_EQ(gaps->VoxelCount(), plain->VoxelCount());
    for (size_t v = 0; v < plain->VoxelCount(); ++v)
        ASSERT_EQ(std::memcmp(gaps->GetVoxel(v)->Data(), plain->GetVoxel(v)->Data(), size_t(plain->m_nPoints) * 8), 0)
            << "voxel " << v;
}

TEST(PhilipsEPCSIReader, OffCentreKeepsItsPartAlongTheSliceNormal)
{
    TScriptedReport report;
    TBatchMode batch;
    struct Case {
        float angulation[3];
    };
    const Case cases[] = {{{0, 0, 0}}, {{10, -20, 30}}};
    for (const Case& c : cases) {
        TTempFolder folder;
        TEPCSIScan scan;
        const float offCentre[3] = {5, 7, 9};
        std::copy(offCentre, offCentre + 3, scan.offCentre);
        std::copy(c.angulation, c.angulation + 3, scan.angulation);
        auto set = ReadEPCSI(WriteEPCSIScan(folder.Path(), scan), scan);
        ASSERT_NE(set, nullptr) << g_batchLog;
        // The slice normal is the third row of the rotation into the grid.
        float m[9];
        AngulationMatrix(c.angulation[0], c.angulation[1], c.angulation[2], m, 0);
        const float* normal = m + 6;
        const float along = normal[0] * 5 + normal[1] * 7 + normal[2] * 9;
        for (int d = 0; d < 3; ++d)
            EXPECT_NEAR(set->m_fOffCentre[d], along * normal[d], 1e-4) << "axis " << d;
    }
}

TEST(PhilipsEPCSIReader, PARFileIsAskedForOutsideABatchRun)
{
    using A = vx::ReportAnswer;
    const std::string question =
        "For Philips EPCSI raw data, PAR file is required. Click Yes to select the PAR file, No to cancel.";
    struct Case {
        A answer;
        std::string chosen;  // "" cancels the dialog
        bool read;
    };
    const Case cases[] = {{A::No, "", false}, {A::Yes, "", false}, {A::Yes, "other.par", true}};
    for (const Case& c : cases) {
        TScriptedReport report;
        TTempFolder folder;
        TEPCSIScan scan;
        const std::string list = WriteEPCSIScan(folder.Path(), scan);
        // The chosen file is read even though scan.PAR is there: a coronal one.
        TEPCSIScan coronal;
        coronal.sliceAxis = 1;
        coronal.prepDirection = "Right-Left";
        WriteBytes(folder.File("other.par"), EPCSIParText(coronal));
        TScriptedFileChooser files(c.chosen.empty() ? "" : folder.File(c.chosen));
        report.PlanAnswer(c.answer);
        auto set = ReadEPCSI(folder.File("scan.data"), scan);
        EXPECT_EQ(set != nullptr, c.read);
        ASSERT_EQ(report.Count(), 1u);
        EXPECT_EQ(report.Questions(), std::vector<std::string>{question});
        EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Exclamation);
        if (c.answer == A::No) {
            EXPECT_TRUE(files.Requests().empty());
            continue;
        }
        ASSERT_EQ(files.Requests().size(), 1u);
        const vx::TFileRequest& r = files.Requests()[0];
        EXPECT_EQ(r.title, "Please select PAR file...");
        EXPECT_EQ(r.filter, "All Files (*.*)|*.*|Philips PAR File(*.PAR)|*.PAR");
        EXPECT_EQ(r.filterIndex, 1);
        EXPECT_EQ(r.folder, folder.Path());
        if (set) {
            EXPECT_EQ(set->m_nSliceAxis, 1);
            EXPECT_EQ(set->m_nDim[2], scan.n[0]);  // the kx axis of a coronal "Right-Left" scan
        }
    }
}

TEST(PhilipsEPCSIReader, RefusedFilesGiveTheirMessage)
{
    struct Case {
        const char* what;
        std::function<void(const TTempFolder&, TEPCSIScan&)> change;  // after the files are written
        std::string message;  // "$" stands for the folder
        std::string chosen = "scan.LIST";
        std::vector<vx::TFileFault> faults = {};  // armed for the read
    };
    auto remove = [](const char* name) {
        return [=](const TTempFolder& f, TEPCSIScan&) { std::remove(f.File(name).c_str()); };
    };
    // Cuts the DATA file one byte into its last standard vector (a vector of the second
    // mix follows it).
    auto truncate = [](const TTempFolder& f, TEPCSIScan& scan) {
        const std::string data = ReadBytes(f.File("scan.DATA"));
        WriteBytes(f.File("scan.DATA"), data.substr(0, data.size() - size_t(scan.n[0]) * 8 - 1));
    };
    // Rewrites a line of the LIST text (the first that contains `from`), or appends
    // `to` when `from` is empty.
    auto editList = [](const std::string& from, const std::string& to) {
        return [=](const TTempFolder& f, TEPCSIScan&) {
            std::string text = ReadBytes(f.File("scan.LIST"));
            if (from.empty()) {
                text += to;
            } else {
                const size_t at = text.rfind('\n', text.find(from)) + 1;
                const size_t end = text.find('\n', at);
                text.replace(at, end - at, to);
            }
            WriteBytes(f.File("scan.LIST"), text);
        };
    };
    auto editScan = [](std::function<void(TEPCSIScan&)> edit) {
        return [=](const TTempFolder& f, TEPCSIScan& scan) {
            edit(scan);
            WriteEPCSIScan(f.Path(), scan);
        };
    };
    auto writePar = [](const std::string& text) {
        return [=](const TTempFolder& f, TEPCSIScan&) { WriteBytes(f.File("scan.PAR"), text); };
    };
    const std::string firstStd = "  STD  0  0  0  0  0  0  0  0  -3  -1";
    const Case cases[] = {
        {"a PAR file chosen as the data", [](const TTempFolder&, TEPCSIScan&) {},
         "Philips EPCSI raw data should be LIST/DATA files.", "scan.PAR"},
        {"no LIST file", remove("scan.LIST"), "LIST file $/scan.LIST does not exist or cannot be read."},
        {"no DATA file", remove("scan.DATA"), "Data file $/scan.DATA does not exist or cannot be read."},
        {"a DATA file that fails while it is read", [](const TTempFolder&, TEPCSIScan&) {},
         "Data file $/scan.DATA cannot be read to its end: input/output error.", "scan.LIST",
         {{vx::kFileRead, EIO, 4}}},
        {"no PAR file", remove("scan.PAR"), "Fail to read metabolic map PAR file $/scan.PAR."},
        {"no PAR file by its name, in a folder that cannot be listed", remove("scan.PAR"),
         "Could not look for PAR file scan.PAR: the folder $ cannot be listed: input/output error.", "scan.LIST",
         {{vx::kFileList, EIO, 1}}},
        {"no LIST file by its name, in a folder that cannot be listed", remove("scan.LIST"),
         "Could not look for LIST file scan.LIST: the folder $ cannot be listed: input/output error.", "scan.DATA",
         {{vx::kFileList, EIO, 1}}},
        {"no DATA file by its name, in a folder that cannot be listed", remove("scan.DATA"),
         "Could not look for data file scan.DATA: the folder $ cannot be listed: permission denied.", "scan.LIST",
         {{vx::kFileList, EPERM, 1}}},
        {"DATA one byte short", truncate,
         "Data file $/scan.DATA holds 36927 bytes, fewer than the 36928 bytes its samples need."},
        {"a data-vector line of 20 words", editList(firstStd, "  STD  0  0  0  0  0  0  0  0  -3  -1  0  0  1  0  0  0  0  64  64"),
         "The LIST file $/scan.LIST has a data vector line of 20 words, without the offset of word 21."},
        {"a vector beyond the partitions", editList(firstStd, "  STD  0  0  0  0  0  0  0  0  -3  2  0  0  1  0  0  0  0  0  64  64"),
         "The LIST file $/scan.LIST lists a data vector outside the sizes, echoes or phases its header lines give."},
        {"an echo beyond the echo count", editList(firstStd, "  STD  0  0  0  32  0  0  0  0  -3  -1  0  0  1  0  0  0  0  0  64  64"),
         "The LIST file $/scan.LIST lists a data vector outside the sizes, echoes or phases its header lines give."},
        {"sizes shrunk after the vectors", editList("", ".    0    0    0  ky_range  :  -1  0\n"),
         "The LIST file of $/scan.DATA places a data vector outside its grid of 8 x 2 x 3 voxels of 16 points."},
        {"two thousand million echoes", editList("number_of_echoes", ".    0    0    0  number_of_echoes  :  2000000000"),
         "The LIST file of $/scan.DATA lists 576 data vectors of 8 samples, far too few for a grid of 8 x 6 x 3 "
         "voxels of 1000000000 points."},
        {"a kx range beyond the voxel limit", editList("kx_range", ".    0    0    0  kx_range  :  0  99999999"),
         "The LIST file $/scan.LIST is invalid. Its grid of 100000000 x 6 x 3 voxels of 16 points is larger than a "
         "set can hold."},
        {"a negative data offset", editList(firstStd, firstStd + "  0  0  1  0  0  0  0  0  64  -8"),
         "The LIST file $/scan.LIST gives a data vector the offset \"-8\", which is no position in its DATA file."},
        {"no oversampled field of view", editList("kx_oversample", ".    0    0    0  kx_oversample_factor  :  0"),
         "The LIST file $/scan.LIST gives an oversampling factor (kx_oversample_factor, ky_, kz_) that leaves no "
         "field of view."},
        {"a point count the FFT refuses", editScan([](TEPCSIScan& s) { s.echoes = 82; }),
         "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor."},
        {"a PAR file without image lines", writePar(ParText({{"Preparation direction", "Right-Left"}})),
         "Fail to read metabolic map PAR file $/scan.PAR."},
        {"a PAR orientation code of -2", writePar(ParText({}, {[] {
                                                      std::string line;
                                                      for (int c = 0; c < 41; ++c)
                                                          line += c == 25 ? " -2" : " 1";
                                                      return line;
                                                  }()})),
         "The PAR file $/scan.PAR gives no slice orientation of sagittal, coronal or transverse."},
    };
    for (const Case& c : cases) {
        TScriptedReport report;
        TBatchMode batch;
        TTempFolder folder;
        TEPCSIScan scan;
        WriteEPCSIScan(folder.Path(), scan);
        c.change(folder, scan);
        TFileFaultScope fault(c.faults);
        EXPECT_EQ(ReadEPCSI(folder.File(c.chosen), scan), nullptr) << c.what;
        std::string message = c.message;
        if (const size_t at = message.find('$'); at != std::string::npos)
            message.replace(at, 1, folder.Path());
        EXPECT_EQ(g_batchLog, message + "\r\n") << c.what;
        EXPECT_EQ(report.Count(), 0u) << c.what;
    }
}

TEST(PhilipsEPCSIReader, ReadoutDwell)
{
    // (1 - 4 * 0.12 ms) / 2 over 16 samples: the ramps' floor of 0.12 ms.
    EXPECT_NEAR(TPhilipsEPCSIReader::ReadoutDwell(1000, 16, 200.0f), (1 - 0.48) * 0.5 * 0.001 / 16, 1e-11);
    struct Case {
        int bandwidth, nx;
        float fov;
    };
    // Ramps above the floor, ramps that do not fit (floor), and the usual sizes.
    const Case cases[] = {{500, 48, 100.0f}, {500, 64, 100.0f}, {1250, 32, 220.0f}, {2000, 24, 160.0f}};
    for (const Case& c : cases)
        EXPECT_NEAR(TPhilipsEPCSIReader::ReadoutDwell(c.bandwidth, c.nx, c.fov),
                    EPCSIReadoutDwell(c.bandwidth, c.nx, c.fov), 1e-9)
            << c.bandwidth << " Hz, " << c.nx << " samples, " << c.fov << " mm";
    for (const Case& c : {Case{0, 16, 200.0f}, Case{1000, 0, 200.0f}, Case{1000, 16, 0.0f}})
        EXPECT_EQ(TPhilipsEPCSIReader::ReadoutDwell(c.bandwidth, c.nx, c.fov), 0.0f);
}

TEST(PhilipsEPCSIReader, PARGeneralAndImageLines)
{
    TTempFolder folder;
    TEPCSIScan scan;
    scan.sliceAxis = 0;
    scan.prepDirection = "Feet-Head";
    scan.axes[0] = 1, scan.axes[1] = 2, scan.axes[2] = 0;
    const float angulation[3] = {2.5f, 10.0f, -5.0f}, offCentre[3] = {-4.0f, 6.0f, 8.0f};
    std::copy(angulation, angulation + 3, scan.angulation);
    std::copy(offCentre, offCentre + 3, scan.offCentre);
    // A version 3 image line gives only the orientation (column 19; 3 is coronal).
    std::string v3Line;
    for (int c = 0; c < 29; ++c)
        v3Line += c == 19 ? " 3" : " 1";
    const std::string v4 = EPCSIParText(scan);
    const std::string v3 = ParText({{"Slice thickness [mm]", "12"}, {"Slice gap [mm]", "3"}}, {v3Line}, "V3");
    WriteBytes(folder.File("v4.PAR"), v4);
    WriteBytes(folder.File("v3.PAR"), v3);

    TEPCSIProbe reader;
    ASSERT_TRUE(reader.ParsePAR(folder.File("v4.PAR")));
    const TCSISet& set = reader.Set();
    EXPECT_EQ(set.m_strPatientName, "Jane  Roe");
    EXPECT_EQ(set.m_strExamName, "EPCSI test");
    EXPECT_EQ(set.m_strExamDate, "2020.01.02");
    EXPECT_EQ(reader.m_strPrepDirection, "Feet-Head");
    EXPECT_EQ(set.m_nSliceAxis, 0);
    for (int d = 0; d < 3; ++d) {
        EXPECT_FLOAT_EQ(set.m_fAngulation[d], angulation[d]);
        EXPECT_FLOAT_EQ(set.m_fOffCentre[d], offCentre[d]);
        EXPECT_FLOAT_EQ(set.m_fFOV[scan.axes[d]], scan.fov[d]);
    }
    // Columns 22 and 23 of the first image line: thickness and gap.
    EXPECT_FLOAT_EQ(set.m_fSliceThickness, 5.0f);
    EXPECT_FLOAT_EQ(set.m_fSliceGap, 1.0f);

    TEPCSIProbe old;
    ASSERT_TRUE(old.ParsePAR(folder.File("v3.PAR")));
    EXPECT_EQ(old.Set().m_nSliceAxis, 1);
    EXPECT_FLOAT_EQ(old.Set().m_fSliceThickness, 12.0f);
    EXPECT_FLOAT_EQ(old.Set().m_fSliceGap, 3.0f);
}

TEST(PhilipsEPCSIReader, RealFiles)
{
    // Exports of one phantom in three orientations: the slice axis of their orientation
    // codes, slices 3.3 mm apart.
    const struct {
        const char* file;
        int sliceAxis;
        const char* prep;
    } pars[] = {{"parrec/nibabel/Phantom_EPI_3mm_sag_SENSE_7_1.PAR", 0, "Anterior-Posterior"},
                {"parrec/nibabel/Phantom_EPI_3mm_cor_SENSE_8_1.PAR", 1, "Right-Left"},
                {"parrec/nibabel/Phantom_EPI_3mm_tra_SENSE_6_1.PAR", 2, "Anterior-Posterior"}};
    for (const auto& par : pars) {
        VX_REQUIRE_SAMPLE(par.file);
        TEPCSIProbe reader;
        ASSERT_TRUE(reader.ParsePAR(SampleDataPath(par.file))) << par.file;
        EXPECT_EQ(reader.Set().m_nSliceAxis, par.sliceAxis) << par.file;
        EXPECT_EQ(reader.m_strPrepDirection, par.prep);
        EXPECT_EQ(reader.Set().m_strPatientName, "Phantom");
        EXPECT_NEAR(reader.Set().m_fSliceThickness + reader.Set().m_fSliceGap, 3.3f, 1e-4) << par.file;
    }

    // The LIST file of a single-voxel raw export (release 3, 272 averages, one echo):
    // its standard vectors of the first mix fit the single position.
    const char* list = "philips_listdata/MRS_MRI_libs/sub2_MRS.list";
    VX_REQUIRE_SAMPLE(list);
    TScriptedReport report;
    TEPCSIProbe reader;
    ASSERT_TRUE(reader.ParseLIST(SampleDataPath(list)));
    EXPECT_EQ(reader.m_nRelease, 3);
    EXPECT_EQ(reader.m_nSignalAverages, 272);
    EXPECT_EQ(reader.Set().m_fAverages, 272.0f);
    EXPECT_EQ(reader.Set().m_nPoints, 1);
    EXPECT_FALSE(reader.m_kSpaceLines.empty());
    EXPECT_EQ(report.Count(), 0u);
}
