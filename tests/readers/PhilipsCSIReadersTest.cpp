#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/TCSISet.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "readers/PhilipsCSITestFiles.h"
#include "readers/PhilipsTestFiles.h"
#include "readers/ReaderTestSupport.h"
#include "readers/TPhilipsCSIReader.h"
#include "support/FileFaultScope.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using namespace vx::test;

enum Family { Slice2D, Multi2D, Volume3D };
enum Release { PreR11, R11, R2 };

Family FamilyOf(int format) { return Family((format - 2) / 3); }
Release ReleaseOf(int format) { return Release((format - 2) % 3); }

// Writes the files of the format for `scan` into the folder under the base "scan" and
// returns the file the user would choose.
std::string WriteScan(const TTempFolder& folder, int format, const TCSIScan& scan)
{
    const int ns = scan.n[2];
    WriteBytes(folder.File("scan.PAR"), ParText(ParLines(ns)));
    const std::string spar = SparText(CSISparLines(scan));
    if (ReleaseOf(format) == PreR11 && FamilyOf(format) != Slice2D) {
        WriteBytes(folder.File("scan.SPAR"), spar);
        // The 3-D reader starts at the first vector's offset; the stack reader at byte 0.
        const int offset = format == 8 ? 96 : 0;
        const auto positions = ShuffledPositions(scan);
        std::string data(size_t(offset), 'x');
        for (const auto& p : positions)
            data += DataBytes(ScanSpectrum(scan, p.data()));
        WriteBytes(folder.File("scan.LIST"), ListText(scan, positions, offset));
        WriteBytes(folder.File("scan.DATA"), data);
        return folder.File("scan.DATA");
    }
    if (ReleaseOf(format) == R11 && FamilyOf(format) != Slice2D) {
        WriteBytes(folder.File("scan_1.SPAR"), spar);
        // Stacks: file k holds slice n - k; volumes: file k holds partition k - 1.
        for (int k = 1; k <= ns; ++k) {
            const int slice = format == 6 ? ns - k : k - 1;
            WriteBytes(folder.File("scan_" + std::to_string(k) + ".SDAT"),
                       SdatBytes(ScanSlices(scan, slice, slice + 1)));
        }
        return folder.File("scan_2.SDAT");
    }
    WriteBytes(folder.File("scan.SPAR"), spar);
    WriteBytes(folder.File("scan.SDAT"), SdatBytes(ScanSlices(scan, 0, ns)));
    return folder.File("scan.sdat");
}

// Where the reader must put the line and the grid's sizes, worked out by hand from the
// orientation each reader family restores: k-space stacks and slices are transposed
// (coronal, transverse) or flipped (sagittal), volumes flipped along the partition axis
// too, image-space stacks and volumes only flipped along a sagittal or transverse slice
// axis, image-space slices kept as they are.
struct TPlacement {
    int voxel[3];
    int dims[3];
};

TPlacement Expected(int format, const TCSIScan& c)
{
    const int na = c.n[0], nb = c.n[1], ns = c.n[2];
    const int ja = c.line[0], jb = c.line[1], js = c.line[2];
    if (ReleaseOf(format) == R2) {
        const int s = c.sliceAxis, a = s == 0 ? 1 : 0, b = s == 2 ? 1 : 2;
        TPlacement p{};
        p.voxel[a] = ja, p.voxel[b] = jb, p.dims[a] = na, p.dims[b] = nb, p.dims[s] = ns;
        p.voxel[s] = (FamilyOf(format) != Slice2D && s != 1) ? ns - 1 - js : js;
        return p;
    }
    const bool volume = FamilyOf(format) == Volume3D;
    switch (c.sliceAxis) {
    case 0: return {{volume ? ns - 1 - js : js, na - 1 - ja, nb - 1 - jb}, {ns, na, nb}};
    case 1: return {{nb - 1 - jb, js, ja}, {nb, ns, na}};
    default: return {{nb - 1 - jb, ja, volume ? ns - 1 - js : js}, {nb, na, ns}};
    }
}

class PhilipsCSIFormats : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(PhilipsCSIFormats, LineLandsInItsVoxelAtItsFrequency)
{
    const auto [format, sliceAxis] = GetParam();
    TScriptedReport report;
    TBatchMode batch;
    TTempFolder folder;
    const TCSIScan scan = ScanFor(format, sliceAxis);
    const std::string chosen = WriteScan(folder, format, scan);
    auto set = ReadAs(format, chosen);
    ASSERT_NE(set, nullptr) << g_batchLog;
    EXPECT_EQ(g_batchLog, "");
    EXPECT_EQ(set->m_strName, "scan");
    // Read for its headers only, as Add Exam's trial reads it, the set has its name, points
    // and grid, and no samples.
    const auto header = ReadAs(format, chosen, {}, true);
    ASSERT_NE(header, nullptr) << g_batchLog;
    EXPECT_EQ(g_batchLog, "");
    EXPECT_FALSE(header->IsLoaded());
    EXPECT_EQ(header->m_strName, "scan");
    EXPECT_EQ(header->m_nPoints, set->m_nPoints);
    EXPECT_EQ(header->m_nDim[0] * header->m_nDim[1] * header->m_nDim[2], set->m_nDim[0] * set->m_nDim[1] * set->m_nDim[2]);
    const Family family = FamilyOf(format);
    EXPECT_EQ((std::vector<int>{set->m_nSpatialDims, set->m_bMultiSlice, int(set->m_slicePhases.size()),
                                set->m_bFrequencyDomain, set->m_bKSpace}),
              (std::vector<int>{family == Volume3D ? 3 : 2, family == Multi2D, family == Multi2D ? scan.n[2] : 0, 1, 0}));

    const TPlacement want = Expected(format, scan);
    for (int d = 0; d < 3; ++d)
        ASSERT_EQ(set->m_nDim[d], want.dims[d]) << "axis " << d;
    // The line's point: the transform to the frequency domain is the inverse FFT, which
    // puts exp(2 pi i f t) at -f, offset from the centre of the spectrum.
    const int peakPoint = scan.points / 2 - int(std::lround(scan.offsetHz * scan.points / scan.bandwidth));
    const TSpectrum* line = set->GetVoxel(want.voxel[0], want.voxel[1], want.voxel[2]);
    ASSERT_NE(line, nullptr);
    const float peak = line->GetMagnitude(peakPoint);
    EXPECT_GT(peak, 0.0f);
    for (int i = 0; i < scan.points; ++i)
        EXPECT_LE(line->GetMagnitude(i), peak) << "point " << i;
    // Every other voxel is empty: the whole line lies in one voxel.
    for (size_t v = 0; v < set->VoxelCount(); ++v) {
        if (set->GetVoxel(v) != line) {
            ASSERT_LT(set->GetVoxel(v)->GetMaxMagnitude(), 1e-3f * peak) << "voxel " << v;
        }
    }
    EXPECT_EQ(set->m_kSpaceMask.size(), set->VoxelCount());
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PhilipsCSIFormats,
                         ::testing::Combine(::testing::Range(2, 11), ::testing::Values(0, 1, 2)),
                         [](const auto& info) {
                             return "Format" + std::to_string(std::get<0>(info.param)) + "Slice" +
                                    std::to_string(std::get<1>(info.param));
                         });

// The file dialog answers from a list ("" cancels) and keeps the requests.
struct TScriptedFiles {
    std::deque<std::string> replies;
    std::vector<vx::TFileRequest> requests;
    vx::FileChooserHandler previous;
    TScriptedFiles()
    {
        previous = vx::SetFileChooserHandler([this](const vx::TFileRequest& r) {
            requests.push_back(r);
            const std::string reply = replies.empty() ? std::string() : replies.front();
            if (!replies.empty())
                replies.pop_front();
            return reply.empty() ? std::vector<std::string>{} : std::vector<std::string>{reply};
        });
    }
    ~TScriptedFiles() { vx::SetFileChooserHandler(previous); }
};

}  // namespace

TEST(PhilipsCSIReaders, CompanionQuestionsAndDialogs)
{
    using A = vx::ReportAnswer;
    // The transverse scan's fields of view along x and y: 200 mm from the SPAR file, 210
    // and 220 from scan.PAR, 160 and 150 from other.PAR; 133.3 = 4 * 200 / 6 for an R2
    // set without a PAR file.
    struct Case {
        int format;
        std::vector<A> answers;
        std::vector<std::string> files;  // "" cancels the dialog
        bool read;
        float fov[2];
    };
    const Case cases[] = {
        {3, {A::No}, {}, false, {}},
        {3, {A::Yes}, {""}, false, {}},
        {3, {A::Yes}, {"other.PAR"}, true, {160, 150}},
        {2, {A::No}, {}, true, {210, 220}},
        {2, {A::Yes}, {""}, true, {210, 220}},
        {2, {A::Yes}, {"other.PAR"}, true, {160, 150}},
        {4, {A::No}, {}, true, {200, 133.33333f}},
        {4, {A::Yes}, {""}, true, {200, 133.33333f}},
        {4, {A::Yes}, {"other.PAR"}, true, {160, 150}},
        {6, {A::No}, {}, false, {}},
        {5, {A::No}, {}, false, {}},                                   // SPAR required
        {5, {A::Yes}, {""}, false, {}},                                // SPAR dialog cancelled
        {5, {A::Yes, A::No}, {"scan.SPAR"}, true, {210, 220}},
        {8, {A::Yes, A::No}, {""}, true, {210, 220}},                  // cancel keeps scan.SPAR
        {8, {A::Yes, A::Yes}, {"scan.SPAR", "other.PAR"}, true, {160, 150}},
        {10, {A::No}, {}, true, {200, 133.33333f}},
    };
    for (const Case& c : cases) {
        const std::string what = "format " + std::to_string(c.format);
        TScriptedReport report;
        TScriptedFiles files;
        TTempFolder folder;
        const std::string chosen = WriteScan(folder, c.format, ScanFor(c.format, 2));
        WriteBytes(folder.File("other.PAR"), ParText({{"Max. number of slices/locations", "3"},
                                                      {"FOV (ap,fh,rl) [mm]", "150  90  160"}}));
        for (A answer : c.answers)
            report.PlanAnswer(answer);
        for (const std::string& file : c.files)
            files.replies.push_back(file.empty() ? file : folder.File(file));
        auto set = ReadAs(c.format, chosen);
        EXPECT_EQ(report.PlannedLeft(), 0u) << what;
        EXPECT_EQ(report.Messages().size(), 0u) << what << ": " << (report.Count() ? report.Entries()[0].text : "");
        ASSERT_EQ(set != nullptr, c.read) << what;
        if (set) {
            EXPECT_NEAR(set->m_fFOV[0], c.fov[0], 1e-3) << what;
            EXPECT_NEAR(set->m_fFOV[1], c.fov[1], 1e-3) << what;
        }
        for (const vx::TFileRequest& r : files.requests) {
            EXPECT_EQ(r.folder, folder.Path());
            EXPECT_EQ(r.filterIndex, 1);
            const bool par = r.title == "Please select metabolic map (.PAR) file...";
            EXPECT_TRUE(par || r.title == "Please select SPAR file...") << r.title;
            EXPECT_EQ(r.filter, par ? "All Files (*.*)|*.*|Philips PAR File(*.PAR)|*.PAR"
                                    : "All Files (*.*)|*.*|Philips SPAR File(*.SPAR)|*.SPAR");
        }
    }
}

TEST(PhilipsCSIReaders, RefusedFilesAreReportedOnceAndGiveNoSet)
{
    struct Case {
        const char* what;
        int format;
        std::function<void(const TTempFolder&, TCSIScan&)> change;  // after the files are written
        std::string message;  // "" for a silent refusal; "$" stands for the folder
        std::vector<vx::TFileFault> faults = {};  // armed for each read
        bool headerToo = true;                    // a read of the headers alone is refused too
    };
    auto rewriteSpar = [](const std::string& name, const std::string& key, const std::string& value) {
        return [=](const TTempFolder& f, TCSIScan& scan) {
            TLines lines = CSISparLines(scan);
            for (auto& line : lines)
                if (line.first == key)
                    line.second = value;
            WriteBytes(f.File(name), SparText(lines));
        };
    };
    // The slice count of the per-slice readers from the SPAR file (its matrix line after
    // it), the PAR file giving none.
    auto sparSlices = [](const std::string& count) {
        return [=](const TTempFolder& f, TCSIScan& scan) {
            TLines lines = CSISparLines(scan);
            lines.insert(lines.begin(), {"nr_of_slices_for_multislice", count});
            lines.erase(std::remove_if(lines.begin() + 1, lines.end(),
                                       [](const auto& l) { return l.first == "nr_of_slices_for_multislice"; }),
                        lines.end());
            WriteBytes(f.File("scan_1.SPAR"), SparText(lines));
            TLines par = ParLines(1);
            par.erase(par.begin());
            WriteBytes(f.File("scan.PAR"), ParText(par));
        };
    };
    auto keep = [](const TTempFolder&, TCSIScan&) {};
    auto remove = [](const std::string& name) {
        return [=](const TTempFolder& f, TCSIScan&) { std::remove(f.File(name).c_str()); };
    };
    auto shorten = [](const std::string& name) {
        return [=](const TTempFolder& f, TCSIScan&) {
            const std::string bytes = ReadBytes(f.File(name));
            WriteBytes(f.File(name), bytes.substr(0, bytes.size() - 1));
        };
    };
    const Case cases[] = {
        {"3 dimensions for a slice", 2, rewriteSpar("scan.SPAR", "spec_num_dimensions", "4"),
         "Parameter file $/scan.SPAR cannot be read or is invalid. It describes 3 spatial dimensions where this "
         "format has 2."},
        {"2 dimensions for an R2 volume", 10, rewriteSpar("scan.SPAR", "spec_num_dimensions", "3"),
         "Parameter file $/scan.SPAR cannot be read or is invalid. It describes 2 spatial dimensions where this "
         "format has 3."},
        {"a missing slice file", 6, remove("scan_2.SDAT"), "Data file $/scan_2.SDAT does not exist or cannot be read."},
        {"a short slice file", 9, shorten("scan_3.SDAT"),
         "Data file $/scan_3.SDAT holds 12287 bytes, fewer than the 12288 bytes its samples need."},
        {"a short SDAT file", 7, shorten("scan.SDAT"),
         "Data file $/scan.SDAT holds 36863 bytes, fewer than the 36864 bytes its samples need."},
        {"a short DATA file", 5, shorten("scan.DATA"), "Data file $/scan.DATA holds 36863 bytes, fewer than the 36864 bytes its samples need."},
        {"a DATA file whose size cannot be read", 5, keep,
         "Data file $/scan.DATA is not read: its size could not be read: input/output error.",
         {{vx::kFileSize, EIO, 3, true}}},
        {"an SDAT file whose size cannot be read", 7, keep,
         "Data file $/scan.SDAT is not read: its size could not be read: input/output error.",
         {{vx::kFileSize, EIO, 2, true}}},
        {"a slice file whose size cannot be read", 9, keep,
         "Data file $/scan_1.SDAT is not read: its size could not be read: input/output error.",
         {{vx::kFileSize, EIO, 3, true}}},
        {"a DATA file that fails while it is read", 8, [](const TTempFolder&, TCSIScan&) {},
         "Data file $/scan.DATA cannot be read to its end: input/output error.", {{vx::kFileRead, EIO, 5}}, false},
        {"a missing LIST file", 8, remove("scan.LIST"), "LIST file $/scan.LIST does not exist or cannot be read."},
        {"a LIST file that fails while it is read", 5, [](const TTempFolder&, TCSIScan&) {},
         "LIST file $/scan.LIST cannot be read to its end: input/output error.", {{vx::kFileRead, EIO, 2}}},
        {"a missing LIST file in a folder that cannot be listed", 5, remove("scan.LIST"),
         "Could not look for LIST file scan.LIST: the folder $ cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"a missing DATA file in a folder that cannot be listed", 8, remove("scan.DATA"),
         "Could not look for data file scan.DATA: the folder $ cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"a missing SDAT file in a folder that cannot be listed", 7, remove("scan.SDAT"),
         "Could not look for data file scan.SDAT: the folder $ cannot be listed: permission denied.",
         {{vx::kFileList, EACCES, 1}}},
        {"a missing slice file in a folder that cannot be listed", 6, remove("scan_2.SDAT"),
         "Could not look for data file scan_2.SDAT: the folder $ cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"a missing required PAR file in a folder that cannot be listed", 9, remove("scan.PAR"),
         "Could not look for PAR file scan.PAR: the folder $ cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"a missing stack SPAR file", 5, remove("scan.SPAR"), "Parameter file $/scan.SPAR does not exist or cannot be read."},
        {"a missing volume SPAR file in a batch", 8, remove("scan.SPAR"),
         "Parameter file $/scan.SPAR does not exist or cannot be read."},
        {"a missing stack SPAR file in a folder that cannot be listed", 5, remove("scan.SPAR"),
         "Could not look for parameter file scan.SPAR: the folder $ cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"a missing volume SPAR file in a batch, in a folder that cannot be listed", 8, remove("scan.SPAR"),
         "Could not look for parameter file scan.SPAR: the folder $ cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"a missing required PAR file in a batch", 9, remove("scan.PAR"), "Fail to read metabolic map PAR file $/scan.PAR."},
        {"a PAR file without slices", 6,
         [](const TTempFolder& f, TCSIScan&) {
             WriteBytes(f.File("scan.PAR"), ParText({{"Max. number of slices/locations", "0"}}));
         },
         "Fail to read metabolic map PAR file $/scan.PAR."},
        {"a matrix beyond the voxel limit", 10, rewriteSpar("scan.SPAR", "dim2_pnts", "10000000"),
         "Parameter file $/scan.SPAR cannot be read or is invalid. Its grid of 10000000 x 4 x 3 voxels of 64 points "
         "is larger than a set can hold."},
        {"a PAR file of a hundred million partitions", 9,
         [](const TTempFolder& f, TCSIScan&) {
             WriteBytes(f.File("scan.PAR"), ParText({{"Max. number of slices/locations", "100000000"}}));
         },
         "Fail to read metabolic map PAR file $/scan.PAR."},
        {"a point count the FFT refuses", 4, rewriteSpar("scan.SPAR", "samples", "41"),
         "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor."},
        {"a k-space grid far larger than its records", 5,
         [](const TTempFolder& f, TCSIScan& scan) {
             scan.n[0] = 64, scan.n[1] = 64;
             WriteBytes(f.File("scan.LIST"), ListText(scan, {{0, 0, 0}}, 0));
         },
         "The LIST file of $/scan.DATA lists 1 data vectors for a grid of 12288 positions; a grid may have at "
         "most 16 positions per data vector."},
        {"a SPAR slice count the per-slice files cannot have", 6, sparSlices("0"),
         "The number of slices (0) in parameter file $/scan_1.SPAR is invalid."},
        {"a SPAR slice count beyond the voxel limit", 9, sparSlices("100000000"),
         "The number of slices (100000000) in parameter file $/scan_1.SPAR is invalid."},
        {"a record the later sizes leave outside", 8,
         [](const TTempFolder& f, TCSIScan& scan) {
             WriteBytes(f.File("scan.LIST"), ListText(scan, ShuffledPositions(scan), 96) +
                                                 ".  0  0  0  X-resolution  :  2\n");
         },
         "The LIST file of $/scan.DATA places a data vector outside its grid of 2 x 4 x 4 voxels of 64 points."},
    };
    for (const Case& c : cases) {
        TScriptedReport report;
        TBatchMode batch;
        TTempFolder folder;
        TCSIScan scan = ScanFor(c.format, 2);
        const std::string chosen = WriteScan(folder, c.format, scan);
        c.change(folder, scan);
        std::string message = c.message;
        if (const size_t at = message.find('$'); at != std::string::npos)
            message.replace(at, 1, folder.Path());
        // Read for its headers only, as Add Exam's trial reads it, it is refused alike.
        for (const bool headerOnly : {false, true}) {
            if (headerOnly && !c.headerToo)
                continue;
            g_batchLog.clear();
            TFileFaultScope fault(c.faults);
            EXPECT_EQ(ReadAs(c.format, chosen, {}, headerOnly), nullptr) << c.what << headerOnly;
            EXPECT_EQ(g_batchLog, message.empty() ? "" : message + "\r\n") << c.what << headerOnly;
        }
        EXPECT_EQ(report.Count(), 0u);
    }
}

TEST(PhilipsCSIReaders, FormatMessages)
{
    const char* messages[] = {
        "Philips single slice 2D CSI Pre R11 should be SPAR/SDAT files.",
        "For Philips 2D Single Slice Release 11, SPAR/SDAT should be selected.",
        "Philips 2D Single Slice Release 2 should be SPAR/SDAT files.",
        "Philips 2D MultiSlice CSI Pre R11 should be LIST/DATA files.",
        "For Philips 2D Mulitslice Release 11, SPAR/SDAT files should be selected.",
        "Please select SPAR/SDAT files.",
        "Philips 3D CSI Pre 11 should be LIST/DATA files.",
        "For Philips 3D CSI Releaser 11, SPAR/SDAT should be selected.",
        "Please select SPAR/SDAT files for Philips 3D CSI Release 2.",
    };
    for (int format = 2; format <= 10; ++format) {
        TScriptedReport report;
        // Each family takes its own extensions only, in any case.
        const bool list = ReleaseOf(format) == PreR11 && FamilyOf(format) != Slice2D;
        for (const char* path : {"/d.SPAR/scan", "/d/scan.txt", list ? "/d/scan.SDAT" : "/d/scan.Data"})
            EXPECT_EQ(ReadAs(format, path), nullptr);
        ASSERT_EQ(report.Messages().size(), 3u) << format;
        for (const std::string& m : report.Messages())
            EXPECT_EQ(m, messages[format - 2]);
    }
}

TEST(PhilipsCSIReaders, PreR11VolumeSpecifics)
{
    TScriptedReport report;
    TBatchMode batch;
    // Release 9 gives the partition axis the first in-plane field of view and scales its
    // off-centre with it: 7 mm * 200 / 30 (transverse, no PAR file); release 10 keeps both.
    for (int release : {9, 10}) {
        TTempFolder folder;
        const TCSIScan scan = ScanFor(8, 2);
        WriteScan(folder, 8, scan);
        std::remove(folder.File("scan.PAR").c_str());
        WriteBytes(folder.File("scan.LIST"), ListText(scan, ShuffledPositions(scan), 96, release));
        auto set = ReadAs(8, folder.File("scan.LIST"));
        ASSERT_NE(set, nullptr);
        EXPECT_NEAR(set->m_fOffCentre[2], release == 9 ? 7.0f * 200 / 30 : 7.0f, 1e-4);
        EXPECT_EQ(set->m_fFOV[2], release == 9 ? 200.0f : 30.0f);
        EXPECT_EQ(set->m_fSliceThickness, set->m_fFOV[2] / 4);
        EXPECT_EQ(g_batchLog, "Metabolic map PAR file " + folder.File("scan.PAR") +
                                  " does not exist or cannot be read.\nRead geometry information from CSI SPAR "
                                  "file.\r\n");
        vx::ResetGlobals(), g_bBatchMode = true;
    }
    {
        // Not there by its exact name in a folder that cannot be listed: said so, and read alike.
        TTempFolder folder;
        WriteScan(folder, 8, ScanFor(8, 2));
        std::remove(folder.File("scan.PAR").c_str());
        TFileFaultScope fault({{vx::kFileList, EIO, 1}});
        EXPECT_NE(ReadAs(8, folder.File("scan.LIST")), nullptr);
        EXPECT_EQ(g_batchLog, "Could not look for PAR file scan.PAR: the folder " + folder.Path() +
                                  " cannot be listed: input/output error.\nRead geometry information from CSI SPAR "
                                  "file.\r\n");
        vx::ResetGlobals(), g_bBatchMode = true;
    }

    // Without a SPAR file outside a batch run, the dialog's values stand in for it; the
    // LIST file gives the matrix and points.
    g_bBatchMode = false;
    TTempFolder folder;
    const TCSIScan scan = ScanFor(8, 1);
    WriteScan(folder, 8, scan);
    std::remove(folder.File("scan.SPAR").c_str());
    TCSIReadParams dialog;
    dialog.m_nSweepWidth = 2000, dialog.m_fFrequency = 63.8f, dialog.m_nOrientation = 1;
    for (int k = 0; k < 3; ++k)
        dialog.m_fFOV[k] = 100.0f + k, dialog.m_fAngulation[k] = 0.0f, dialog.m_fOffCentre[k] = 1.0f;
    report.PlanAnswer(vx::ReportAnswer::No);  // no SPAR dialog
    EXPECT_EQ(ReadAs(8, folder.File("scan.LIST"), dialog), nullptr);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    report.PlanAnswer(vx::ReportAnswer::No);  // no PAR dialog: scan.PAR is read
    TScriptedFiles files;                     // the SPAR dialog is cancelled
    report.Clear();
    auto set = ReadAs(8, folder.File("scan.LIST"), dialog);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(report.Messages().size(), 1u);
    EXPECT_EQ(report.Messages()[0], "Parameter file " + folder.File("scan.SPAR") +
                                        " does not exist or cannot be read. \nThe parameters entered in the dialog "
                                        "are used.");
    EXPECT_EQ(set->m_nSpectralWidth, 2000);
    EXPECT_EQ(set->m_fFrequency, 63.8f);
    EXPECT_EQ(set->m_nPoints, scan.points);
    EXPECT_EQ(set->m_fOffCentre[0], 1.0f);
    EXPECT_EQ(set->m_fFOV[0], 210.0f) << "the PAR file's";
}

TEST(PhilipsCSIReaders, RawLoadKeepsTheFileGridWithUnsampledPositionsZero)
{
    TScriptedReport report;
    TBatchMode batch;
    TTempFolder folder;
    const TCSIScan scan = ScanFor(5, 2);
    WriteScan(folder, 5, scan);
    // Only every other position of the stack has a data vector.
    std::vector<std::vector<int>> positions;
    std::string data;
    for (const auto& p : ShuffledPositions(scan))
        if ((p[0] + p[1] + p[2]) % 2 == 0) {
            positions.push_back(p);
            data += DataBytes(ScanSpectrum(scan, p.data()));
        }
    WriteBytes(folder.File("scan.LIST"), ListText(scan, positions, 0));
    WriteBytes(folder.File("scan.DATA"), data);
    TCSIReadParams raw;
    raw.m_bLoadRawData = 1;
    auto set = ReadAs(5, folder.File("scan.DATA"), raw);
    ASSERT_NE(set, nullptr) << g_batchLog;
    EXPECT_EQ(set->m_bFrequencyDomain, 0);
    EXPECT_EQ(set->m_bKSpace, 1);
    for (int z = 0; z < scan.n[2]; ++z)
        for (int y = 0; y < scan.n[1]; ++y)
            for (int x = 0; x < scan.n[0]; ++x) {
                const int p[3] = {x, y, z};
                const bool sampled = (x + y + z) % 2 == 0;
                const auto want = ScanSpectrum(scan, p);
                const TSpectrum* s = set->GetVoxel(x, y, z);
                EXPECT_FLOAT_EQ(s->GetReal(3), sampled ? want[3].real() : 0.0f);
                EXPECT_FLOAT_EQ(s->GetImag(5), sampled ? want[5].imag() : 0.0f);
                // Only the line's own slice holds a signal.
                const bool signal = sampled && std::abs(want[0]) > 1.0f;
                EXPECT_EQ(set->m_kSpaceMask[set->VoxelIndex(x, y, z)], signal ? 1 : 0);
            }
}

TEST(PhilipsCSIReaders, AngulatedScansTurnByTheirFilesConvention)
{
    // Patient-to-set rotations built from turns about single axes: the angles of a PAR
    // file (taken in the order rl, ap, fh) turn the set first about x, then y, then z;
    // the angles of a SPAR file (whose lr and ap angles point the other way than the
    // set's axes) first about y, then x, then z. The rotation is the transpose of the turn.
    using M = std::array<double, 9>;
    auto times = [](const M& p, const M& q) {
        M r{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    r[size_t(3 * i + j)] += p[size_t(3 * i + k)] * q[size_t(3 * k + j)];
        return r;
    };
    auto turn = [](int axis, double degrees) {
        const double t = degrees * std::acos(-1.0) / 180.0, c = std::cos(t), s = std::sin(t);
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        M r{};
        r[size_t(4 * axis)] = 1;
        r[size_t(4 * u)] = r[size_t(4 * v)] = c;
        r[size_t(3 * v + u)] = s;
        r[size_t(3 * u + v)] = -s;
        return r;
    };
    const double rl = 7, ap = 12, fh = -25;
    const M parTurn = times(times(turn(0, rl), turn(1, ap)), turn(2, fh));
    const M sparTurn = times(times(turn(1, -ap), turn(0, -rl)), turn(2, fh));
    for (const auto& [format, expected] : {std::pair{2, parTurn}, {8, parTurn}, {4, sparTurn}, {10, sparTurn}})
        for (int sliceAxis = 0; sliceAxis < 3; ++sliceAxis) {
            SCOPED_TRACE("format " + std::to_string(format) + ", slice axis " + std::to_string(sliceAxis));
            TScriptedReport report;
            TBatchMode batch;
            TTempFolder folder;
            const TCSIScan scan = ScanFor(format, sliceAxis);
            const std::string path = WriteScan(folder, format, scan);
            TLines par = ParLines(scan.n[2]);
            par.back().second = "12.000  -25.000  7.000";  // ap, fh, rl
            WriteBytes(folder.File("scan.PAR"), ParText(par));
            TLines spar = CSISparLines(scan);
            spar.insert(spar.end(), {{"si_ap_off_angulation", "12"}, {"si_lr_off_angulation", "7"},
                                     {"si_cc_off_angulation", "-25"}});
            WriteBytes(folder.File("scan.SPAR"), SparText(spar));
            auto set = ReadAs(format, path);
            ASSERT_NE(set, nullptr) << g_batchLog;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    SCOPED_TRACE("element " + std::to_string(i) + std::to_string(j));
                    EXPECT_NEAR(set->m_fRotation[i][j], expected[size_t(3 * j + i)], 1e-5);
                    EXPECT_NEAR(set->m_fRotationInverse[i][j], expected[size_t(3 * i + j)], 1e-5);
                }
        }
}

TEST(PhilipsCSIReaders, VectorsAreReadFromTheirOwnOffsetsInARealListLayout)
{
    // The data-vector lines of a real export: noise vectors first, vectors of the second
    // mix between the standard ones, and 544 standard vectors of mix 0. Their kinds, mixes,
    // sizes and offsets are kept; the standard mix-0 vectors are spread over a 32 x 17
    // grid, and every listed offset gets samples of its own in a synthetic DATA file.
    const std::string real = "philips_listdata/MRS_MRI_libs/sub2_MRS.list";
    VX_REQUIRE_SAMPLE(real);
    struct TVector {
        std::vector<std::string> words;
        bool kept;
    };
    std::vector<TVector> vectors;
    std::ifstream in(SampleDataPath(real));
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> words = ListWords(line);
        if (!line.empty() && line[0] == ' ' && words.size() == 21)
            vectors.push_back({words, words[0] == "STD" && words[1] == "0"});
    }
    const int na = 32, nb = 17, points = 4096;
    ASSERT_EQ(std::count_if(vectors.begin(), vectors.end(), [](const TVector& v) { return v.kept; }), na * nb);

    // Sample 0 of a vector is 1000 + its line's index in the file; the others follow
    // from it, so that a vector read from the wrong place differs everywhere.
    auto sample = [](int line, int i) {
        return std::complex<float>(float(1000 + line) + 0.25f * float(i % 7), -float(line) - float(i % 5));
    };
    std::string lines, data;
    int kept = 0;
    std::vector<int> lineOfVoxel(size_t(na * nb), -1);
    for (size_t j = 0; j < vectors.size(); ++j) {
        std::vector<std::string> w = vectors[j].words;
        if (vectors[j].kept) {
            const int a = kept % na, b = kept / na;
            ++kept;
            lineOfVoxel[size_t(b * na + a)] = int(j);
            w[9] = std::to_string(a - na / 2);
            w[10] = std::to_string(b - nb / 2);
        }
        for (const auto& word : w)
            lines += "  " + word;
        lines += "\n";
        const size_t offset = std::stoull(w[20]);
        ASSERT_EQ(std::stoi(w[19]), points * 8);
        if (data.size() < offset + points * 8)
            data.resize(offset + points * 8, '\0');
        std::vector<std::complex<float>> samples(points);
        for (int i = 0; i < points; ++i)
            samples[size_t(i)] = sample(int(j), i);
        data.replace(offset, size_t(points) * 8, DataBytes(samples));
    }

    for (int format : {5, 8}) {
        TScriptedReport report;
        TBatchMode batch;
        TTempFolder folder;
        TCSIScan scan = ScanFor(format, 2);
        scan.n[0] = na, scan.n[1] = nb, scan.n[2] = 1, scan.points = points;
        WriteScan(folder, format, scan);
        WriteBytes(folder.File("scan.LIST"), ListText(scan, {}, 0) + lines);
        WriteBytes(folder.File("scan.DATA"), data);
        TCSIReadParams raw;
        raw.m_bLoadRawData = 1;
        auto set = ReadAs(format, folder.File("scan.DATA"), raw);
        ASSERT_NE(set, nullptr) << g_batchLog;
        ASSERT_EQ((std::vector<int>{set->m_nDim[0], set->m_nDim[1], set->m_nDim[2]}), (std::vector<int>{na, nb, 1}));
        for (int b = 0; b < nb; ++b)
            for (int a = 0; a < na; ++a) {
                const int line = lineOfVoxel[size_t(b * na + a)];
                const TSpectrum* v = set->GetVoxel(a, b, 0);
                for (int i : {0, 1, 2047, 4095})
                    ASSERT_EQ(std::complex<float>(v->GetReal(i), v->GetImag(i)), sample(line, i))
                        << "format " << format << ", voxel " << a << ", " << b << ", point " << i;
            }
    }
}

TEST(PhilipsCSIReaders, TruncatedFilesAreRefusedWithoutHarm)
{
    TScriptedReport report;
    TBatchMode batch;
    // Thousands of small reads: workers would cost more than the transforms.
    TProcessorCountGuard workers;
    vx::SetProcessorCount(1);
    for (int format = 2; format <= 10; ++format) {
        TTempFolder folder;
        TCSIScan scan = ScanFor(format, 2);
        scan.n[0] = scan.n[1] = 2;
        scan.n[2] = std::min(scan.n[2], 2);
        scan.line[1] = 1;
        scan.points = 8;
        const std::string chosen = WriteScan(folder, format, scan);
        for (const auto& entry : vx::test::ListedEntries(folder.Path())) {
            const std::string path = folder.File(entry.name);
            const std::string ext = vx::ToUpperAscii(vx::ExtensionOf(entry.name));
            const bool samples = ext == ".SDAT" || ext == ".DATA";
            const std::string whole = ReadBytes(path);
            // Headers are cut at every byte, sample files at every 64th.
            for (size_t cut = 0; cut < whole.size(); cut += samples ? 64 : 1) {
                // A new file each time: rewriting a truncated one makes the file system
                // flush it on every close.
                vx::RemoveFile(path);
                WriteBytes(path, whole.substr(0, cut));
                auto set = ReadAs(format, chosen);
                if (samples) {
                    EXPECT_EQ(set, nullptr) << entry.name << " cut at " << cut;
                }
                if (set) {
                    ASSERT_EQ(set->VoxelCount(), set->GridSize());
                    for (size_t v = 0; v < set->VoxelCount(); ++v)
                        ASSERT_GE(set->GetVoxel(v)->SampleCount(), set->m_nPoints);
                }
                g_batchLog.clear();
            }
            WriteBytes(path, whole);
        }
    }
}

TEST(PhilipsCSIPaths, BaseAndNameOfTheChosenFile)
{
    struct Case {
        const char* path;
        bool cut;
        const char* base;
        const char* name;
    };
    const Case cases[] = {
        {"/d/scan_12.SDAT", true, "/d/scan", "scan"},
        {"/d/scan_12.SDAT", false, "/d/scan_12", "scan_12"},
        {"/my_data/scan.SDAT", true, "/my_data/scan", "scan"},  // no "_" in the file name
        {"/d/_3.SDAT", true, "/d/_3", "_3"},                    // "_" at the start stays
        {"/d/a_b_2.spar", true, "/d/a_b", "a_b"},
        {"/d.x/scan", false, "/d.x/scan", "scan"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TPhilipsCSIReader::BaseOf(c.path, c.cut), c.base) << c.path;
        EXPECT_EQ(TPhilipsCSIReader::SetNameOf(c.path, c.cut), c.name) << c.path;
    }
}
