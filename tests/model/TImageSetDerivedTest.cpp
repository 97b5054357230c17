// Images made from the project's images: the re-slicing of a stack into the two other
// orientations and the per-slice sums over the work set.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

using PixelFn = std::function<int(int image, int column, int row)>;

class DerivedImagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_project.m_strFolder = m_dir.Path();
    }
    void TearDown() override
    {
        m_project.m_pWorkSet = nullptr;
        ResetGlobals();
    }

    // A stack of `count` images of one orientation, thickness apart, pixels from f,
    // each with its pixel file and in the collection.
    std::vector<TMRImage*> Stack(int orientation, int count, int width, int height, float fovX, float fovY,
                                 float thickness, const PixelFn& f, const std::string& base = "stack")
    {
        std::vector<TMRImage*> images;
        for (int i = 0; i < count; ++i) {
            auto* image = new TMRImage(&m_project);
            const std::string name = base + std::to_string(i) + ".ima";
            image->SetName(name, false);
            image->SetPath(m_dir.File(name));
            image->SetWidth(width, false);
            image->SetHeight(height, false);
            image->SetOrientation(orientation, false);
            image->SetParameter(fovX, TMRImage::ParamFOVX, false);
            image->SetParameter(fovY, TMRImage::ParamFOVY, false);
            image->SetParameter(thickness, TMRImage::ParamThickness, false);
            const float position = thickness * static_cast<float>(i);
            image->SetParameter(position, TMRImage::ParamSlicePosition, false);
            image->SetParameter(position, TMRImage::ParamPositionX + orientation, false);
            image->SetInfoText("Subject " + base, TMRImage::InfoPatientName, false);
            std::vector<int16_t> pixels;
            for (int r = 0; r < height; ++r)
                for (int c = 0; c < width; ++c)
                    pixels.push_back(static_cast<int16_t>(f(i, c, r)));
            EXPECT_TRUE(image->SetPixels(pixels));
            EXPECT_TRUE(image->SavePixels(image->GetPath()));
            image->FreePixels();
            m_project.m_pImageSet->Insert(image);
            images.push_back(image);
        }
        return images;
    }

    TMRImage* Find(const std::string& name)
    {
        for (TMRImage* image : *m_project.m_pImageSet)
            if (image->GetName() == name)
                return image;
        return nullptr;
    }

    // The pixels of an image as the file they are read from holds them (a new image's
    // is staged in the work folder until a project file lists it).
    std::vector<int16_t> FilePixels(const TMRImage& image)
    {
        TMRImage reader(nullptr);
        reader.SetWidth(image.GetWidth(), false);
        reader.SetHeight(image.GetHeight(), false);
        EXPECT_TRUE(reader.LoadPixels(image.PixelFileToRead())) << image.GetName();
        return reader.GetPixels();
    }

    // The names of the files in the project folder and in its work folder.
    std::vector<std::string> WorkFiles() const { return test::FolderNames(m_dir.File(".vexara")); }
    std::vector<std::string> ProjectFiles() const
    {
        std::vector<std::string> names = test::FolderNames(m_dir.Path());
        names.erase(std::remove(names.begin(), names.end(), ".vexara"), names.end());
        return names;
    }

    test::TTempFolder m_dir;
    TCSISet m_workSet;  // outlives the project, which frees its spectra
    TProject m_project;
};

// One orientation made from a stack: its name, count, size, field of view, direction
// code, the slice position of image k and the stack pixel at (x, y) of image k.
struct Expected {
    std::string suffix;
    int count, width, height;
    float fovX, fovY;
    std::string code;
    std::function<float(int k)> position;
    std::function<int(int k, int x, int y)> pixel;
};

}  // namespace

TEST_F(DerivedImagesTest, EachStackOrientationReslicesIntoTheTwoOthers)
{
    test::TScriptedReport report;
    // Source pixel of image i at column c, row r.
    const PixelFn f = [](int i, int c, int r) { return 2000 * i + 100 * c + r; };
    struct Case {
        int orientation, m, w, h;
        float fovX, fovY, thickness;
        std::vector<Expected> made;
    };
    const Case cases[] = {
        // Axial stack of 8 (columns along x, rows along y): sagittal images are cut
        // across the columns, coronal ones across the rows; the stack fills the rows.
        {2, 8, 12, 10, 120, 100, 4,
         {{"_recon_sag_", 12, 10, 8, 100, 32, "AH", [](int k) { return (k - 6) * 10.0f; },
           [&](int k, int x, int y) { return f(y, k, x); }},
          {"_recon_cor_", 10, 12, 8, 120, 32, "RH", [](int k) { return (k - 5) * 10.0f; },
           [&](int k, int x, int y) { return f(y, x, k); }}}},
        // Sagittal stack of 5 (columns along y, rows along z): the stack fills the columns.
        {0, 5, 6, 4, 60, 40, 3,
         {{"_recon_cor_", 6, 5, 4, 15, 40, "RH", [](int k) { return (k - 3) * 10.0f; },
           [&](int k, int x, int y) { return f(x, k, y); }},
          {"_recon_tra_", 4, 5, 6, 15, 60, "RA", [](int k) { return (2 - k) * 10.0f; },
           [&](int k, int x, int y) { return f(x, y, k); }}}},
        // Coronal stack of 3 (columns along x, rows along z).
        {1, 3, 4, 2, 40, 20, 2,
         {{"_recon_sag_", 4, 3, 2, 6, 20, "AH", [](int k) { return (k - 2) * 10.0f; },
           [&](int k, int x, int y) { return f(x, k, y); }},
          {"_recon_tra_", 2, 4, 3, 40, 6, "RA", [](int k) { return (1 - k) * 10.0f; },
           [&](int k, int x, int y) { return f(y, x, k); }}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        const std::string base = std::string("o").append(std::to_string(c.orientation));
        const std::vector<TMRImage*> stack = Stack(c.orientation, c.m, c.w, c.h, c.fovX, c.fovY, c.thickness, f, base);
        const int before = m_project.m_pImageSet->GetCount();
        m_project.SetModified(false);
        ASSERT_TRUE(m_project.Reconstruct3D(stack));
        EXPECT_TRUE(m_project.IsModified());
        int made = 0;
        for (const Expected& e : c.made) {
            for (int k = 0; k < e.count; ++k) {
                const std::string name = base + "0" + e.suffix + std::to_string(k);
                SCOPED_TRACE(name);
                TMRImage* image = Find(name);
                ASSERT_NE(image, nullptr);
                ++made;
                ASSERT_EQ(image->GetWidth(), e.width);
                ASSERT_EQ(image->GetHeight(), e.height);
                EXPECT_FLOAT_EQ(image->GetFOVX(), e.fovX);
                EXPECT_FLOAT_EQ(image->GetFOVY(), e.fovY);
                EXPECT_FLOAT_EQ(image->GetSlicePosition(), e.position(k));
                EXPECT_EQ(image->GetInfoText(TMRImage::InfoDirectionCode), e.code);
                EXPECT_EQ(image->GetInfoText(TMRImage::InfoPatientName), "Subject " + base);
                EXPECT_TRUE(image->IsValid());
                EXPECT_EQ(image->GetPath(), m_dir.File(name));
                const std::vector<int16_t> pixels = FilePixels(*image);
                ASSERT_EQ(pixels.size(), static_cast<size_t>(e.width * e.height));
                int lowest = 1 << 20, highest = -(1 << 20);
                for (int y = 0; y < e.height; ++y)
                    for (int x = 0; x < e.width; ++x) {
                        const int want = e.pixel(k, x, y);
                        ASSERT_EQ(pixels[static_cast<size_t>(y * e.width + x)], want) << x << "," << y;
                        lowest = std::min(lowest, want);
                        highest = std::max(highest, want);
                    }
                EXPECT_EQ(image->GetStoredWindowLow(), lowest);
                EXPECT_EQ(image->GetStoredWindowHigh(), highest);
                EXPECT_FLOAT_EQ(image->GetStoredMax(), static_cast<float>(highest));
                EXPECT_FLOAT_EQ(image->GetValueMin(), static_cast<float>(lowest));
            }
        }
        EXPECT_EQ(m_project.m_pImageSet->GetCount(), before + made);
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(DerivedImagesTest, NewImagesAreCentredBetweenTheEndsOfTheStack)
{
    // An axial stack at z = 0, 4, ..., 28 with identity rotation: the middle is z = 14.
    const std::vector<TMRImage*> stack = Stack(2, 8, 4, 4, 40, 40, 4, [](int, int, int) { return 1; });
    ASSERT_TRUE(m_project.Reconstruct3D(stack));
    float p[3];
    Find("stack0_recon_sag_0")->GetPosition(p);
    EXPECT_FLOAT_EQ(p[0], -20);
    EXPECT_FLOAT_EQ(p[1], 0);
    EXPECT_FLOAT_EQ(p[2], 14);
    Find("stack0_recon_cor_3")->GetPosition(p);
    EXPECT_FLOAT_EQ(p[1], 10);
    EXPECT_FLOAT_EQ(p[2], 14);
    EXPECT_TRUE(Find("stack0_recon_cor_3")->IsGeometryComplete());

    // With a work set the images are placed in its frame (z negated there).
    m_project.m_pWorkSet = &m_workSet;
    const std::vector<TMRImage*> again = Stack(2, 8, 4, 4, 40, 40, 4, [](int, int, int) { return 1; }, "second");
    ASSERT_TRUE(m_project.Reconstruct3D(again));
    TMRImage* sag = Find("second0_recon_sag_1");
    ASSERT_NE(sag, nullptr);
    EXPECT_FLOAT_EQ(sag->GetSlicePosition(), -10);
    EXPECT_FLOAT_EQ(sag->GetCentre().y, -14);
}

TEST_F(DerivedImagesTest, RefusedListsMakeNothing)
{
    test::TScriptedReport report;
    const PixelFn f = [](int i, int, int) { return i; };
    std::vector<TMRImage*> stack = Stack(2, 3, 4, 4, 40, 40, 2, f);
    const int before = m_project.m_pImageSet->GetCount();

    EXPECT_FALSE(m_project.Reconstruct3D({}));
    EXPECT_FALSE(m_project.Reconstruct3D({nullptr}));
    // Another size read through the first image's size would overrun it.
    std::vector<TMRImage*> mixed = stack;
    mixed.push_back(Stack(2, 1, 6, 4, 40, 40, 2, f, "wide").front());
    EXPECT_FALSE(m_project.Reconstruct3D(mixed));
    mixed.back() = Stack(1, 1, 4, 4, 40, 40, 2, f, "coronal").front();
    EXPECT_FALSE(m_project.Reconstruct3D(mixed));
    EXPECT_EQ(report.Messages(), std::vector<std::string>(2, "The images must have the same orientation and size."));
    report.Clear();
    // Unknown orientation: no message, no images.
    std::vector<TMRImage*> unknown = Stack(3, 2, 4, 4, 40, 40, 2, f, "unknown");
    EXPECT_FALSE(m_project.Reconstruct3D(unknown));
    // A stack of unknown thickness would give images without a field of view.
    std::vector<TMRImage*> flat = Stack(2, 2, 4, 4, 40, 40, 0, f, "flat");
    EXPECT_FALSE(m_project.Reconstruct3D(flat));
    EXPECT_EQ(report.Count(), 1u);
    report.Clear();
    const int sources = m_project.m_pImageSet->GetCount();
    EXPECT_EQ(sources, before + 1 + 1 + 2 + 2);

    // Made twice, the second run would write over the first run's pixel files.
    ASSERT_TRUE(m_project.Reconstruct3D(stack));
    const int afterFirst = m_project.m_pImageSet->GetCount();
    const std::vector<int16_t> firstPixels = FilePixels(*Find("stack0_recon_sag_1"));
    std::vector<TMRImage*> shorter(stack.begin(), stack.begin() + 2);
    EXPECT_FALSE(m_project.Reconstruct3D(shorter));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"An image named stack0_recon_sag_0 is already in the project."});
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), afterFirst);
    EXPECT_EQ(FilePixels(*Find("stack0_recon_sag_1")), firstPixels);
}

TEST_F(DerivedImagesTest, AReconstructionThatFailsPartWayAddsNothingAndLeavesNoPixelFiles)
{
    test::TScriptedReport report;
    std::vector<TMRImage*> stack = Stack(2, 3, 4, 4, 40, 40, 2, [](int i, int c, int) { return i + c; });
    // The disk fills up at the second coronal image's pixel file (24 bytes each): every
    // sagittal image and the first coronal one are written before it fails.
    const int before = m_project.m_pImageSet->GetCount();
    const std::vector<std::string> namesBefore = ProjectFiles();

    vx::TFile::FailWritesAfter(5 * 24 + 10);
    EXPECT_FALSE(m_project.Reconstruct3D(stack));
    vx::TFile::FailWritesAfter(-1);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Can not write pixel file " + m_dir.File("stack0_recon_cor_1") +
                                                          "\r\nThe new images were not added: the disk is full."});
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), before);
    EXPECT_EQ(Find("stack0_recon_sag_0"), nullptr);
    EXPECT_EQ(Find("stack0_recon_cor_0"), nullptr);
    EXPECT_EQ(ProjectFiles(), namesBefore);
    EXPECT_EQ(WorkFiles(), std::vector<std::string>{}) << "what was staged goes again";
    EXPECT_FALSE(m_project.IsModified());

    // The same for averaging: two slices of the work set, the second image (32 bytes) fails.
    report.Clear();
    m_workSet.m_nDim[2] = 2;
    m_workSet.m_fFOV[2] = 8;  // slices from -4 to 0 and from 0 to 4
    m_project.m_pWorkSet = &m_workSet;
    vx::TFile::FailWritesAfter(40);
    EXPECT_FALSE(m_project.AverageImages(stack));
    vx::TFile::FailWritesAfter(-1);
    EXPECT_EQ(report.Count(), 1u);
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), before);
    EXPECT_EQ(Find("stack0_average_0"), nullptr);
    EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
    EXPECT_FALSE(m_project.IsModified());
}

TEST_F(DerivedImagesTest, NewPixelFilesWaitInTheWorkFolderForTheProjectFileThatListsThem)
{
    test::TScriptedReport report;
    m_project.m_strName = "p";
    const std::vector<TMRImage*> stack = Stack(2, 2, 2, 2, 20, 20, 5, [](int i, int c, int r) { return i + c + r; });
    for (bool averaging : {false, true}) {
        SCOPED_TRACE(averaging ? "averaging" : "reconstructing");
        const std::vector<std::string> namesBefore = ProjectFiles();
        if (averaging) {
            m_workSet.m_nDim[2] = 1;
            m_workSet.m_fFOV[2] = 100;
            m_project.m_pWorkSet = &m_workSet;
        }
        ASSERT_TRUE(averaging ? m_project.AverageImages(stack) : m_project.Reconstruct3D(stack));
        const std::vector<std::string> made{averaging ? "stack0_average_0" : "stack0_recon_sag_0"};
        TMRImage* image = Find(made.front());
        ASSERT_NE(image, nullptr);
        // Nothing of the command in the project folder yet; its pixels are read from the work folder.
        EXPECT_EQ(ProjectFiles(), namesBefore);
        EXPECT_FALSE(WorkFiles().empty());
        const std::vector<int16_t> pixels = FilePixels(*image);
        image->FreePixels();
        ASSERT_TRUE(image->EnsurePixels());
        EXPECT_EQ(image->GetPixels(), pixels);
        // Read again while a link that whoever may write the folder put at the work folder's
        // name leads to a folder holding a file of the staged file's name: never read there.
        const std::string work = m_dir.File(".vexara"), elsewhere = m_dir.File("elsewhere");
        ASSERT_TRUE(vx::MakeFolder(elsewhere));
        test::WriteBytes(elsewhere + "/" + vx::FileNameOf(image->PixelFileToRead()), std::string(pixels.size() * 2, 'x'));
        test::PutLinkAt(work, elsewhere);
        image->FreePixels();
        EXPECT_TRUE(image->EnsurePixels() && image->GetPixels() == pixels);
        ASSERT_EQ(::renameat2(AT_FDCWD, m_dir.File(".link").c_str(), AT_FDCWD, work.c_str(), RENAME_EXCHANGE), 0);
        vx::RemoveFolderTree(elsewhere);
        vx::RemoveFile(m_dir.File(".link"));

        // Removing one of them before the save takes its staged file away, and the change
        // that writes the project file puts the others in place.
        if (!averaging) {
            TMRImage* removed = Find("stack0_recon_cor_1");
            ASSERT_NE(removed, nullptr);
            const std::string path = removed->GetPath();
            m_project.RemoveImages({removed});
            EXPECT_FALSE(vx::FileExists(path));
            EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
        }
        // The save puts them in place with the project file, which lists them.
        ASSERT_TRUE(m_project.Save());
        EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
        EXPECT_EQ(image->PixelFileToRead(), image->GetPath());
        EXPECT_EQ(FilePixels(*image), pixels);
        TProject reread;
        ASSERT_TRUE(reread.Load(m_dir.File("p.tpj")));
        EXPECT_EQ(reread.m_pImageSet->GetCount(), m_project.m_pImageSet->GetCount());
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(DerivedImagesTest, AnUnreadableSourceContributesZeros)
{
    std::vector<TMRImage*> stack = Stack(2, 3, 2, 2, 20, 20, 5, [](int i, int, int) { return 7 + i; });
    ASSERT_TRUE(vx::RemoveFile(stack[1]->GetPath()));
    ASSERT_TRUE(m_project.Reconstruct3D(stack));
    // Coronal image 0 holds row 0 of every source, the stack down its rows.
    EXPECT_EQ(FilePixels(*Find("stack0_recon_cor_0")), (std::vector<int16_t>{7, 7, 0, 0, 9, 9}));
}

TEST_F(DerivedImagesTest, AveragingSumsTheImagesOfEachWorkSetSlice)
{
    test::TScriptedReport report;
    m_workSet.m_nDim[2] = 8;
    m_workSet.m_fFOV[2] = 80;  // slices 10 mm thick, centred at -35, -25, ..., 35
    m_workSet.m_fVoxelShift[2] = 2;
    // Axial images at every millimetre from -45 to 44, each pixel its position + 100.
    std::vector<TMRImage*> images;
    std::vector<float> positions;
    for (int p = -45; p < 45; ++p) {
        TMRImage* image = Stack(2, 1, 3, 2, 30, 20, 1, [p](int, int c, int) { return p + 100 + c; },
                                "img" + std::to_string(p + 45))
                              .front();
        image->SetParameter(static_cast<float>(p), TMRImage::ParamSlicePosition, false);
        images.push_back(image);
        positions.push_back(static_cast<float>(p));
    }
    EXPECT_FALSE(m_project.AverageImages(images));  // no work set
    const int before = m_project.m_pImageSet->GetCount();
    m_project.m_pWorkSet = &m_workSet;
    ASSERT_TRUE(m_project.AverageImages(images));
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), before + 8);
    for (int s = 0; s < 8; ++s) {
        SCOPED_TRACE(s);
        const float centre = -35.0f + 10.0f * static_cast<float>(s) + 2;
        TMRImage* image = Find("img00_average_" + std::to_string(s));
        ASSERT_NE(image, nullptr);
        EXPECT_FLOAT_EQ(image->GetSlicePosition(), centre);
        float pos[3];
        image->GetPosition(pos);
        EXPECT_FLOAT_EQ(pos[2], -centre);  // the work set's frame negates z
        std::vector<int16_t> expected(6, 0);
        for (size_t i = 0; i < positions.size(); ++i)
            if (positions[i] >= centre - 5 && positions[i] <= centre + 5)
                for (int k = 0; k < 6; ++k)
                    expected[static_cast<size_t>(k)] =
                        static_cast<int16_t>(expected[static_cast<size_t>(k)] + positions[i] + 100 + k % 3);
        EXPECT_EQ(FilePixels(*image), expected);
        EXPECT_EQ(image->GetStoredWindowHigh(), *std::max_element(expected.begin(), expected.end()));
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(DerivedImagesTest, AveragingSaturatesAndFollowsMultiSliceStacks)
{
    m_workSet.m_nDim[2] = 2;
    m_workSet.m_bMultiSlice = 1;
    m_workSet.m_nSliceAxis = 2;
    m_workSet.m_fSliceThickness = 6;
    m_workSet.m_fSliceGap = 4;  // slices at -5 and 5, each 6 mm thick
    m_project.m_pWorkSet = &m_workSet;
    std::vector<TMRImage*> images;
    const struct {
        float position;
        int value;
    } sources[] = {{-7, 30000}, {-5, 30000}, {-2, 30000}, {0, 5}, {3, -30000}, {8, -30000}};
    int n = 0;
    for (const auto& s : sources) {
        TMRImage* image = Stack(2, 1, 2, 1, 20, 10, 1, [&](int, int, int) { return s.value; },
                                "ms" + std::to_string(n++))
                              .front();
        image->SetParameter(s.position, TMRImage::ParamSlicePosition, false);
        images.push_back(image);
    }
    ASSERT_TRUE(m_project.AverageImages(images));
    // Slab -8..-2 holds three images of 30000; slab 2..8 two of -30000; 0 falls between.
    EXPECT_EQ(FilePixels(*Find("ms00_average_0")), (std::vector<int16_t>{32767, 32767}));
    EXPECT_EQ(FilePixels(*Find("ms00_average_1")), (std::vector<int16_t>{-32768, -32768}));
}
