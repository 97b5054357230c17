#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "model/drawing/BitmapHelpers.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "platform/TRecordingCanvas.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

std::string Golden(const std::string& key)
{
    return test::ReadBytes(std::string(VX_SOURCE_ROOT) + "/tests/model/golden/mrimage_" + key + ".bin");
}

class MRImageTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        ResetGlobals();
    }

    // Reads the golden record `key` as a record of `version`, beside an empty pixel
    // file `pixelName` (none when empty); `bytesLeft` gets what the read left over.
    bool ReadGolden(TMRImage& image, const std::string& key, int version, const std::string& pixelName,
                    int64_t* bytesLeft = nullptr)
    {
        const std::string path = m_dir.File("record");
        test::WriteBytes(path, Golden(key));
        if (!pixelName.empty())
            test::WriteBytes(m_dir.File(pixelName), "");
        TFile f;
        EXPECT_TRUE(f.Open(path, TFile::Mode::Read));
        const bool ok = image.Read(f, version, m_dir.Path());
        if (bytesLeft)
            *bytesLeft = f.BytesLeft();
        return ok;
    }

    // Gives the image a width x height size and a pixel file "img" holding `values`.
    std::string MakePixelFile(TMRImage& image, int width, int height, const std::vector<int>& values)
    {
        const std::string path = m_dir.File("img");
        test::WriteBytes(path, test::Int16LE(values));
        image.SetWidth(width, false);
        image.SetHeight(height, false);
        EXPECT_TRUE(image.SetPath(path));
        return path;
    }

    TProject m_project;
    TProject* const kProject = &m_project;
    test::TTempFolder m_dir;
};

// The record bytes an image writes.
std::string RecordBytes(const TMRImage& image, const test::TTempFolder& dir)
{
    const std::string path = dir.File("record.bin");
    TFile f;
    EXPECT_TRUE(f.Open(path, TFile::Mode::Write));
    EXPECT_TRUE(image.Write(f));
    EXPECT_TRUE(f.Close());
    return test::ReadBytes(path);
}

// The n floats a getter of the image fills.
std::vector<float> Floats(const TMRImage& image, void (TMRImage::*get)(float*) const, int n = 3)
{
    std::vector<float> v(n);
    (image.*get)(v.data());
    return v;
}

// Independent reference of the angulation rotation: Rz(c) Ry(b) Rx(a).
void ReferenceRotation(double a, double b, double c, double out[9])
{
    a *= M_PI / 180, b *= M_PI / 180, c *= M_PI / 180;
    const double rx[9] = {1, 0, 0, 0, cos(a), sin(a), 0, -sin(a), cos(a)};
    const double ry[9] = {cos(b), 0, -sin(b), 0, 1, 0, sin(b), 0, cos(b)};
    const double rz[9] = {cos(c), sin(c), 0, -sin(c), cos(c), 0, 0, 0, 1};
    double t[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            t[i * 3 + j] = 0;
            for (int k = 0; k < 3; ++k)
                t[i * 3 + j] += ry[i * 3 + k] * rx[k * 3 + j];
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            out[i * 3 + j] = 0;
            for (int k = 0; k < 3; ++k)
                out[i * 3 + j] += rz[i * 3 + k] * t[k * 3 + j];
        }
}

}  // namespace

// ---------------------------------------------------------------- fields and setters

TEST_F(MRImageTest, SettersMarkTheProjectOnlyWhenAsked)
{
    TMRImage image(kProject);
    const std::vector<std::function<void(bool)>> setters = {
        [&](bool m) { image.SetWidth(128, m); },
        [&](bool m) { image.SetHeight(64, m); },
        [&](bool m) { image.SetOrientation(1, m); },
        [&](bool m) { image.SetCentre(TPoint2D(1, 2), m); },
        [&](bool m) { image.SetParameter(3.0f, TMRImage::ParamTE, m); },
        [&](bool m) { image.SetInfoText("x", 0, m); },
        [&](bool m) { EXPECT_TRUE(image.SetName("img", m)); },
    };
    for (size_t k = 0; k < setters.size(); ++k) {
        m_project.SetModified(false);
        setters[k](false);
        EXPECT_FALSE(m_project.IsModified()) << k;
        setters[k](true);
        EXPECT_TRUE(m_project.IsModified()) << k;
    }

    // Out-of-range kinds and indices change nothing and mark nothing.
    m_project.SetModified(false);
    image.SetParameter(9.0f, 15, true);
    image.SetParameter(9.0f, -1, true);
    image.SetInfoText("y", 7, true);
    EXPECT_FALSE(m_project.IsModified());
    EXPECT_EQ(image.GetInfoText(0), "x");
    EXPECT_EQ(image.GetInfoText(7), "");
    EXPECT_EQ(image.GetInfoText(-1), "");

    // An image without a project can still be changed.
    TMRImage orphan(nullptr);
    orphan.SetWidth(3, true);
    EXPECT_EQ(orphan.GetWidth(), 3);
}

TEST_F(MRImageTest, ParametersSetTheirValuesAndKnownFlags)
{
    TMRImage image(kProject);
    for (int kind = 0; kind < TMRImage::ParameterKindCount; ++kind)
        image.SetParameter(100.0f + kind, kind, false);
    for (int kind = 0; kind < TMRImage::ParameterKindCount; ++kind)
        EXPECT_FLOAT_EQ(image.GetParameter(kind), 100.0f + kind) << kind;
    EXPECT_EQ(image.GetParameter(15), 0.0f);
    EXPECT_EQ(Floats(image, &TMRImage::GetAngulation), (std::vector<float>{106, 107, 108}));
    EXPECT_EQ(Floats(image, &TMRImage::GetOffCentre), (std::vector<float>{109, 110, 111}));
    EXPECT_EQ(Floats(image, &TMRImage::GetPosition), (std::vector<float>{112, 113, 114}));

    TMRImage fresh(kProject);
    fresh.SetParameter(1, TMRImage::ParamFOVX, false);
    EXPECT_TRUE(fresh.IsParameterKnown(TMRImage::KnownFOVX));
    EXPECT_FALSE(fresh.IsParameterKnown(TMRImage::KnownFOVY));
    fresh.SetParameter(1, TMRImage::ParamFOVY, false);
    EXPECT_TRUE(fresh.IsParameterKnown(TMRImage::KnownFOVY));
    // Thickness, times, angulation and off-centre have no flag.
    for (int kind = TMRImage::ParamThickness; kind <= TMRImage::ParamOffCentreX + 2; ++kind)
        fresh.SetParameter(1, kind, false);
    for (int flag = 2; flag < TMRImage::KnownFlagCount; ++flag)
        EXPECT_FALSE(fresh.IsParameterKnown(flag)) << flag;
    // The slice position becomes known with the third position component.
    fresh.SetParameter(1, TMRImage::ParamPositionX, false);
    fresh.SetParameter(1, TMRImage::ParamPositionX + 2, false);
    EXPECT_TRUE(fresh.IsParameterKnown(TMRImage::KnownPositionZ));
    EXPECT_FALSE(fresh.IsParameterKnown(TMRImage::KnownSlicePosition));
    fresh.SetParameter(1, TMRImage::ParamPositionX + 1, false);
    EXPECT_TRUE(fresh.IsParameterKnown(TMRImage::KnownSlicePosition));
    EXPECT_FALSE(fresh.IsGeometryComplete());
    fresh.SetOrientation(2, false);
    EXPECT_TRUE(fresh.IsGeometryComplete());
    EXPECT_FALSE(fresh.IsParameterKnown(7));
    EXPECT_FALSE(fresh.IsParameterKnown(-1));

    TMRImage direct(kProject);
    direct.SetParameter(4, TMRImage::ParamSlicePosition, false);
    EXPECT_TRUE(direct.IsParameterKnown(TMRImage::KnownSlicePosition));
    EXPECT_FALSE(direct.IsParameterKnown(TMRImage::KnownPositionX));
}

TEST_F(MRImageTest, BlankNameOrPathIsRefusedWithItsMessage)
{
    test::TScriptedReport script;
    TMRImage image(kProject);
    ASSERT_TRUE(image.SetName("a", false));
    ASSERT_TRUE(image.SetPath("/p/a"));
    EXPECT_FALSE(image.SetName("", true));
    EXPECT_FALSE(image.SetPath(""));
    EXPECT_EQ(image.GetName(), "a");
    EXPECT_EQ(image.GetPath(), "/p/a");
    EXPECT_FALSE(m_project.IsModified());
    ASSERT_EQ(script.Count(), 2u);
    EXPECT_EQ(script.Entries()[0].text, "Image name must not be blank");
    EXPECT_EQ(script.Entries()[1].text, "Image path must not be blank");
    EXPECT_EQ(script.Entries()[0].icon, ReportIcon::Exclamation);
}

TEST_F(MRImageTest, ValidityAndAnonymisation)
{
    struct Case {
        int width, height;
        float fovX, fovY, thickness;
        int orientation;
        bool valid;
    };
    const Case cases[] = {
        {256, 256, 240, 240, 5, 2, true},   {1, 1, 1, 1, 0, 0, true},
        {16384, 16384, 1, 1, 0, 3, true},   {16385, 1, 1, 1, 0, 0, false},
        {0, 1, 1, 1, 0, 0, false},          {1, -1, 1, 1, 0, 0, false},
        {1, 1, 0, 1, 0, 0, false},          {1, 1, 1, 0, 0, 0, false},
        {1, 1, 1, 1, -0.5f, 0, false},      {1, 1, 1, 1, 0, 4, false},
        {1, 1, 1, 1, 0, -1, false},         {1, 1, NAN, 1, 0, 0, false},
        {1, 1, 1, INFINITY, 0, 0, false},
    };
    for (const Case& c : cases) {
        TMRImage image(kProject);
        image.SetWidth(c.width, false);
        image.SetHeight(c.height, false);
        image.SetParameter(c.fovX, 0, false);
        image.SetParameter(c.fovY, 1, false);
        image.SetParameter(c.thickness, 3, false);
        image.SetOrientation(c.orientation, false);
        EXPECT_EQ(image.IsValid(), c.valid) << c.width << "x" << c.height << " fov " << c.fovX << ","
                                            << c.fovY << " thick " << c.thickness << " orient "
                                            << c.orientation;
    }
    TMRImage image(kProject);
    image.SetInfoText("Doe^John", TMRImage::InfoPatientName, false);
    image.Anonymize();
    EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientName), "Anonymized");
}

// ---------------------------------------------------------------- project record

TEST_F(MRImageTest, Version0RecordGetsTheDefaultsOfTheMissingFields)
{
    TMRImage image(kProject);
    int64_t left = -1;
    ASSERT_TRUE(ReadGolden(image, "v0", 0, "ax0", &left));
    EXPECT_EQ(left, 0);
    EXPECT_EQ((std::vector<int>{image.GetId(), image.GetWidth(), image.GetHeight(), image.GetOrientation(),
                                image.GetStoredWindowLow(), image.GetStoredWindowHigh()}),
              (std::vector<int>{3, 192, 160, 2, -10, 900}));
    EXPECT_EQ((std::vector<float>{image.GetFOVX(), image.GetFOVY(), image.GetSlicePosition(), image.GetCentre().x,
                                  image.GetCentre().y, image.GetShift().x, image.GetShift().y}),
              (std::vector<float>{230, 200, 12.5f, 4, -6.5f, 1.5f, 2}));
    EXPECT_EQ(image.GetName(), "ax0");
    EXPECT_EQ(image.GetPath(), m_dir.File("ax0"));
    for (int k : {0, 1, 2, 3, 5, 6})
        EXPECT_EQ(image.GetInfoText(k), "n/a") << k;
    EXPECT_EQ(image.GetInfoText(TMRImage::InfoDirectionCode), "RA");
    EXPECT_EQ(image.GetTR(), 0.0f);
    EXPECT_EQ(image.GetTE(), 0.0f);
    EXPECT_EQ(image.GetThickness(), 0.0f);
    EXPECT_EQ(Floats(image, &TMRImage::GetPosition), (std::vector<float>{4.0f, -6.5f, 12.5f}));
    EXPECT_EQ(Floats(image, &TMRImage::GetRotation, 9), (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_TRUE(image.IsGeometryComplete());
    EXPECT_FALSE(m_project.IsModified());
}

TEST_F(MRImageTest, Version1And2RecordsPlaceTheImageByItsSliceAndCentre)
{
    struct Case {
        const char* key;
        int version;
        const char* name;
        const char* direction;
        float tr, te, thickness;
        float position[3];
        bool positionKnown;
    };
    const Case cases[] = {
        {"v1", 1, "sag1", "AH", 500, 15, 3, {12.5f, 4.0f, -6.5f}, true},
        {"v2", 2, "cor2", "RH", 2000, 80, 4, {4.0f, 12.5f, -6.5f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        TMRImage image(kProject);
        int64_t left = -1;
        ASSERT_TRUE(ReadGolden(image, c.key, c.version, c.name, &left));
        EXPECT_EQ(left, 0);
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientName), "Doe^Jane");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoExamName), "Brain");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoProtocolName), "T1 SE");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoExamDate), "2024.03.01 10:00");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoDirectionCode), c.direction);
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientPosition), "n/a");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientEntry), "n/a");
        EXPECT_EQ(image.GetTR(), c.tr);
        EXPECT_EQ(image.GetTE(), c.te);
        EXPECT_EQ(image.GetThickness(), c.thickness);
        EXPECT_EQ(Floats(image, &TMRImage::GetOffCentre), std::vector<float>(3, 0.0f));
        EXPECT_EQ(Floats(image, &TMRImage::GetAngulation), std::vector<float>(3, 0.0f));
        EXPECT_EQ(Floats(image, &TMRImage::GetPosition), std::vector<float>(c.position, c.position + 3));
        for (int flag : {TMRImage::KnownPositionX, TMRImage::KnownPositionY, TMRImage::KnownPositionZ,
                         TMRImage::KnownSlicePosition})
            EXPECT_EQ(image.IsParameterKnown(flag), c.positionKnown) << flag;
    }
}

TEST_F(MRImageTest, Version3RecordBuildsItsRotationFromTheAngulation)
{
    TMRImage image(kProject);
    int64_t left = -1;
    ASSERT_TRUE(ReadGolden(image, "v3", 3, "ax3", &left));
    EXPECT_EQ(left, 0);
    EXPECT_EQ(Floats(image, &TMRImage::GetOffCentre), (std::vector<float>{0.5f, -1.5f, 2.5f}));
    EXPECT_EQ(Floats(image, &TMRImage::GetAngulation), (std::vector<float>{10, -20, 30}));
    // Stored, not derived from the centre.
    EXPECT_EQ(Floats(image, &TMRImage::GetPosition), (std::vector<float>{7, -8, 9}));
    double ref[9];
    ReferenceRotation(10, -20, 30, ref);
    float rot[9], inv[9];
    image.GetRotation(rot);
    image.GetInverseRotation(inv);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(rot[i * 3 + j], ref[i * 3 + j], 1e-5) << i << j;
            EXPECT_NEAR(inv[j * 3 + i], ref[i * 3 + j], 1e-5) << i << j;
        }
    EXPECT_EQ(image.GetInfoText(TMRImage::InfoDirectionCode), "RA");
    EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientPosition), "n/a");
}

TEST_F(MRImageTest, Version9RecordReadsEveryFieldAndWritesBackTheSameBytes)
{
    const std::string golden = Golden("v9");
    const std::string path = m_dir.File("rec");
    test::WriteBytes(path, golden);
    test::WriteBytes(m_dir.File("ax9"), "");
    for (int version : {4, 5, 9}) {
        TFile f;
        ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
        TMRImage image(kProject);
        ASSERT_TRUE(image.Read(f, version, m_dir.Path())) << version;
        EXPECT_EQ(f.BytesLeft(), 0);
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoDirectionCode), "AR");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientPosition), "Supine");
        EXPECT_EQ(image.GetInfoText(TMRImage::InfoPatientEntry), "HF");
        float rot[9], inv[9];
        image.GetRotation(rot);
        image.GetInverseRotation(inv);
        const float stored[9] = {0, 2, 0, -1, 0, 0, 0, 0, 4};
        const float inverse[9] = {0, -1, 0, 0.5f, 0, 0, 0, 0, 0.25f};  // solved by hand
        for (int k = 0; k < 9; ++k) {
            EXPECT_EQ(rot[k], stored[k]) << k;
            EXPECT_NEAR(inv[k], inverse[k], 1e-7) << k;
        }
        EXPECT_EQ(RecordBytes(image, m_dir), golden) << version;
    }
}

TEST_F(MRImageTest, ImageBuiltThroughTheSettersWritesTheGoldenRecord)
{
    TMRImage image(kProject);
    image.SetId(3);
    image.SetWidth(192, false);
    image.SetHeight(160, false);
    image.SetParameter(230, TMRImage::ParamFOVX, false);
    image.SetParameter(200, TMRImage::ParamFOVY, false);
    image.SetOrientation(2, false);
    image.SetParameter(12.5f, TMRImage::ParamSlicePosition, false);
    image.SetStoredWindow(-10, 900);
    image.SetCentre(TPoint2D(4.0f, -6.5f), false);
    image.AddShift(TPoint2D(1.0f, 3.0f));
    image.AddShift(TPoint2D(0.5f, -1.0f));
    ASSERT_TRUE(image.SetName("ax9", false));
    const char* texts[] = {"Brain", "2024.03.01 10:00", "Doe^Jane", "T1 SE", "AR", "Supine", "HF"};
    for (int k = 0; k < 7; ++k)
        image.SetInfoText(texts[k], k, false);
    image.SetParameter(600, TMRImage::ParamTR, false);
    image.SetParameter(20, TMRImage::ParamTE, false);
    image.SetParameter(5, TMRImage::ParamThickness, false);
    const float geometry[9] = {0.5f, -1.5f, 2.5f, 0, 0, 90, 7, -8, 9};
    for (int k = 0; k < 3; ++k) {
        image.SetParameter(geometry[k], TMRImage::ParamOffCentreX + k, false);
        image.SetParameter(geometry[3 + k], TMRImage::ParamAngulationX + k, false);
        image.SetParameter(geometry[6 + k], TMRImage::ParamPositionX + k, false);
    }
    const float rotation[9] = {0, 2, 0, -1, 0, 0, 0, 0, 4};
    image.SetRotation(rotation);
    EXPECT_EQ(RecordBytes(image, m_dir), Golden("v9"));
}

TEST_F(MRImageTest, TruncatedRecordsFailAndLeaveTheImageUnchanged)
{
    const struct {
        const char* key;
        int version;
    } cases[] = {{"v0", 0}, {"v1", 1}, {"v2", 2}, {"v3", 3}, {"v9", 9}};
    for (const auto& c : cases) {
        const std::string golden = Golden(c.key);
        ASSERT_FALSE(golden.empty()) << c.key;
        TMRImage image(kProject);
        ASSERT_TRUE(image.SetName("keep", false));
        const std::string before = RecordBytes(image, m_dir);
        for (size_t cut = 0; cut < golden.size(); ++cut) {
            const std::string path = m_dir.File("cut");
            test::WriteBytes(path, golden.substr(0, cut));
            TFile f;
            ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
            EXPECT_FALSE(image.Read(f, c.version, m_dir.Path())) << c.key << " cut at " << cut;
            ASSERT_TRUE(f.Seek(0));
            EXPECT_FALSE(TMRImage::SkipRecord(f, c.version)) << c.key << " cut at " << cut;
        }
        EXPECT_EQ(RecordBytes(image, m_dir), before) << c.key;
        EXPECT_EQ(image.GetPath(), "");
        const std::string path = m_dir.File("whole");
        test::WriteBytes(path, golden + "tail");
        TFile f;
        ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
        EXPECT_TRUE(TMRImage::SkipRecord(f, c.version)) << c.key;
        EXPECT_EQ(f.BytesLeft(), 4) << c.key;
    }
}

TEST_F(MRImageTest, ImplausibleRecordsAreRefusedAndTheNextRecordStillReads)
{
    // A million-pixel width, then a valid record: the first fails without touching
    // the image, the second reads from where the first ended.
    const std::string path = m_dir.File("recs");
    test::WriteBytes(path, Golden("v9_huge_width") + Golden("v9"));
    test::WriteBytes(m_dir.File("ax9"), "");
    TFile f;
    ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
    TMRImage huge(kProject);
    EXPECT_FALSE(huge.Read(f, 9, m_dir.Path()));
    EXPECT_EQ(huge.GetWidth(), 256);
    EXPECT_EQ(huge.GetName(), "");
    TMRImage next(kProject);
    EXPECT_TRUE(next.Read(f, 9, m_dir.Path()));
    EXPECT_EQ(next.GetName(), "ax9");

    TMRImage negative(kProject);
    EXPECT_FALSE(ReadGolden(negative, "v0_orient_neg", 0, "neg"));
    EXPECT_EQ(negative.GetOrientation(), 0);
}

TEST_F(MRImageTest, UnknownOrientationStaysLoadableWithoutPlacement)
{
    TMRImage image(kProject);
    ASSERT_TRUE(ReadGolden(image, "v0_orient3", 0, "unk"));
    EXPECT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetOrientation(), 3);
    EXPECT_EQ(image.GetInfoText(TMRImage::InfoDirectionCode), "");
    EXPECT_EQ(Floats(image, &TMRImage::GetPosition), std::vector<float>(3, 0.0f));
    EXPECT_EQ(Floats(image, &TMRImage::GetCentre3D), std::vector<float>(3, 0.0f));
    EXPECT_FALSE(image.IsParameterKnown(TMRImage::KnownOrientation));
}

TEST_F(MRImageTest, MissingOrShortPixelFileIsNamedAndHostileNamesStayInTheFolder)
{
    TMRImage image(kProject);
    int64_t left = -1;
    EXPECT_TRUE(ReadGolden(image, "v0", 0, "", &left));  // no file "ax0"
    EXPECT_EQ(image.GetName(), "ax0");
    EXPECT_EQ(left, 0);
    EXPECT_EQ(image.PixelFileProblem(), "its pixel file is missing");
    test::WriteBytes(m_dir.File("ax0"), std::string(size_t(2) * image.GetWidth() * image.GetHeight() - 1, '\0'));
    EXPECT_EQ(image.PixelFileProblem(), "its pixel file is cut short");
    {
        const test::TFileFaultScope fault({{kFileSize, EIO, 1}});
        EXPECT_EQ(image.PixelFileProblem(), "the size of its pixel file could not be read: input/output error");
    }
    test::WriteBytes(m_dir.File("ax0"), std::string(size_t(2) * image.GetWidth() * image.GetHeight(), '\0'));
    EXPECT_EQ(image.PixelFileProblem(), "");

    // A name that climbs out of the folder becomes one harmless component.
    std::string golden = Golden("v0");
    const std::string path = m_dir.File("rec");
    golden.replace(golden.size() - 4, 4, std::string("../x\0", 5));
    test::WriteBytes(path, golden);
    TFile g;
    ASSERT_TRUE(g.Open(path, TFile::Mode::Read));
    TMRImage climber(kProject);
    EXPECT_TRUE(climber.Read(g, 0, m_dir.Path()));
    EXPECT_EQ(climber.GetName(), "../x");
    EXPECT_EQ(climber.GetPath(), m_dir.File(".._x"));
}

// ---------------------------------------------------------------- pixel file

TEST_F(MRImageTest, PixelFileIsSigned16BitLittleEndianRowByRow)
{
    const std::string path = m_dir.File("img");
    test::WriteBytes(path, std::string("\x05\x00\xfd\xff\x07\x00\x02\x00\x00\x80\xff\x7f", 12));
    TMRImage image(kProject);
    image.SetWidth(3, false);
    image.SetHeight(2, false);
    ASSERT_TRUE(image.LoadPixels(path));
    EXPECT_TRUE(image.IsLoaded());
    EXPECT_EQ(image.GetPixels(), (std::vector<int16_t>{5, -3, 7, 2, -32768, 32767}));
    EXPECT_EQ(image.GetStoredMax(), 32767.0f);
    EXPECT_EQ(image.GetStoredMin(), -32768.0f);
    EXPECT_EQ(image.GetValueMax(), 32767.0f);
    EXPECT_EQ(image.GetValueMin(), -32768.0f);
    EXPECT_EQ(image.GetPixel(1, 0), -3);
    EXPECT_EQ(image.GetPixel(0, 1), 2);  // row 1 starts after three values
    EXPECT_EQ(image.GetPixel(3, 0), 0);
    EXPECT_EQ(image.GetPixel(0, 2), 0);
    EXPECT_EQ(image.GetPixel(-1, 0), 0);

    const std::string copy = m_dir.File("copy");
    ASSERT_TRUE(image.SavePixels(copy));
    EXPECT_EQ(test::ReadBytes(copy), test::ReadBytes(path));
}

TEST_F(MRImageTest, ShortOrMissingPixelFileKeepsWhatIsInMemory)
{
    TMRImage image(kProject);
    const std::string good = MakePixelFile(image, 2, 2, {1, 2, 3, 4});
    ASSERT_TRUE(image.LoadPixels(good));
    for (size_t bytes = 0; bytes < 8; ++bytes) {
        const std::string shortFile = m_dir.File("short");
        test::WriteBytes(shortFile, test::Int16LE({9, 9, 9, 9}).substr(0, bytes));
        EXPECT_FALSE(image.LoadPixels(shortFile)) << bytes;
    }
    EXPECT_FALSE(image.LoadPixels(m_dir.File("missing")));
    EXPECT_FALSE(image.LoadPixels(m_dir.Path()));
    EXPECT_TRUE(image.IsLoaded());
    EXPECT_EQ(image.GetPixels(), (std::vector<int16_t>{1, 2, 3, 4}));
    EXPECT_EQ(image.GetStoredMax(), 4.0f);
    EXPECT_EQ(image.GetValueMin(), 1.0f);

    // An image too large to be plausible never allocates from its size.
    TMRImage huge(kProject);
    huge.SetWidth(1000000, false);
    huge.SetHeight(1000000, false);
    EXPECT_FALSE(huge.LoadPixels(good));
}

TEST_F(MRImageTest, GetPixelLoadsOnDemandAndGivesZeroWhenItCannot)
{
    TMRImage image(kProject);
    MakePixelFile(image, 2, 3, {10, 20, 30, 40, 50, 60});
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.GetPixel(1, 2), 60);
    EXPECT_TRUE(image.IsLoaded());
    // A new size drops the pixels; they are read again with the new layout.
    image.SetWidth(3, false);
    image.SetHeight(2, false);
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.GetPixel(0, 1), 40);

    TMRImage missing(kProject);
    ASSERT_TRUE(missing.SetPath(m_dir.File("none")));
    EXPECT_EQ(missing.GetPixel(0, 0), 0);
    EXPECT_FALSE(missing.IsLoaded());

    // A pixel file whose open, size look-up or read the disk fails is named once, however
    // often its pixels are looked at.
    for (const auto& [call, said] : {std::pair{kFileRead, " cannot be read to its end: input/output error."},
                                     std::pair{kFileOpenRead, " cannot be read: input/output error."},
                                     std::pair{kFileSize, " is not read: its size could not be read: input/output error."}}) {
        test::TScriptedReport script;
        TMRImage failing(kProject);
        const std::string file = MakePixelFile(failing, 2, 1, {7, 8});
        {
            const test::TFileFaultScope fault({{call, EIO, 1, true}});
            EXPECT_EQ(failing.GetPixel(1, 0), 0);
            EXPECT_EQ(failing.GetPixel(0, 0), 0);
        }
        ASSERT_EQ(script.Count(), 1u) << said;
        EXPECT_EQ(script.Entries()[0].text, "The pixel file " + file + said);
        EXPECT_EQ(failing.GetPixel(1, 0), 8);
    }
}

TEST_F(MRImageTest, SavingPixelsReplacesTheFileOnlyWhenEverythingWasWritten)
{
    test::TScriptedReport script;
    const std::string path = m_dir.File("img");
    test::WriteBytes(path, "old contents");
    TMRImage image(kProject);
    image.SetWidth(64, false);
    image.SetHeight(64, false);
    EXPECT_FALSE(image.SavePixels(path));  // nothing in memory
    std::vector<int16_t> pixels(64 * 64);
    for (size_t k = 0; k < pixels.size(); ++k)
        pixels[k] = static_cast<int16_t>(k * 37 - 20000);
    EXPECT_FALSE(image.SetPixels(std::vector<int16_t>(10)));
    ASSERT_TRUE(image.SetPixels(pixels));
    EXPECT_EQ(script.Count(), 0u);

    TFile::FailWritesAfter(1000);
    EXPECT_FALSE(image.SavePixels(path));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(test::ReadBytes(path), "old contents");
    EXPECT_EQ(vx::test::ListedEntries(m_dir.Path()).size(), 1u);  // no temporary file left behind
    ASSERT_EQ(script.Count(), 1u);
    EXPECT_EQ(script.Entries()[0].text, "Can not write pixel file " + path);

    ASSERT_TRUE(image.SavePixels(path));
    std::vector<int> expected(pixels.begin(), pixels.end());
    EXPECT_EQ(test::ReadBytes(path), test::Int16LE(expected));

    // In batch mode the failure goes to the log.
    g_bBatchMode = true;
    EXPECT_FALSE(image.SavePixels(m_dir.File("no/such/folder/img")));
    EXPECT_NE(g_batchLog.find("Can not write pixel file "), std::string::npos);
    EXPECT_TRUE(g_bBatchError);
}

TEST_F(MRImageTest, PixelValueTextUsesFloatValuesAndTheUnit)
{
    TMRImage image(kProject);
    MakePixelFile(image, 2, 2, {7, -1234, 0, 1});
    EXPECT_EQ(image.GetPixelValueText(0, 0), "7");
    EXPECT_EQ(image.GetPixelValueText(1, 0), "-1.23e+03");
    EXPECT_EQ(image.GetPixelValueText(2, 0), "");
    image.SetValueUnit(" mM");
    EXPECT_EQ(image.GetPixelValueText(0, 1), "0 mM");
    EXPECT_FALSE(image.SetFloatValues({1.0f}));
    ASSERT_TRUE(image.SetFloatValues({3.14159f, 0.5f, 2.0f, 1e-4f}));
    image.SetValueUnit("M");
    EXPECT_EQ(image.GetPixelValueText(0, 0), "3.14M");
    EXPECT_EQ(image.GetPixelValueText(1, 1), "0.0001M");
}

// ---------------------------------------------------------------- window mapping

TEST_F(MRImageTest, WindowMapsRealValuesOntoStoredUnits)
{
    TMRImage image(kProject);
    image.SetStoredRange(1000, 0);
    image.SetValueRange(10, 0);
    image.SetWindowLow(2.5f);
    image.SetWindowHigh(7.777f);
    EXPECT_EQ(image.GetStoredWindowLow(), 250);
    EXPECT_EQ(image.GetStoredWindowHigh(), 777);  // truncated toward zero
    EXPECT_FLOAT_EQ(image.GetWindowLow(), 2.5f);
    EXPECT_FLOAT_EQ(image.GetWindowHigh(), 7.77f);

    // Offsets on both sides, negative results truncate toward zero.
    image.SetStoredRange(100, -100);
    image.SetValueRange(-1, -3);
    image.SetWindowLow(-2.0f);
    EXPECT_EQ(image.GetStoredWindowLow(), 0);
    image.SetWindowLow(-2.505f);
    EXPECT_EQ(image.GetStoredWindowLow(), -50);
    EXPECT_FLOAT_EQ(image.GetWindowLow(), -2.5f);
}

TEST_F(MRImageTest, WindowOfAConstantImageNeverDividesByZero)
{
    TMRImage image(kProject);
    image.SetStoredRange(5, 5);
    image.SetValueRange(5, 5);
    image.SetWindowLow(5);
    image.SetWindowHigh(9);
    EXPECT_EQ(image.GetStoredWindowLow(), 5);
    EXPECT_EQ(image.GetStoredWindowHigh(), 9);
    EXPECT_FLOAT_EQ(image.GetWindowLow(), 5);
    EXPECT_FLOAT_EQ(image.GetWindowHigh(), 9);

    // Only one of the two ranges degenerate.
    image.SetStoredRange(1000, 1000);
    image.SetValueRange(2, 1);
    image.SetWindowLow(1.5f);
    EXPECT_TRUE(std::isfinite(image.GetWindowLow()));
    image.SetStoredRange(1000, 0);
    image.SetValueRange(3, 3);
    image.SetWindowHigh(4);
    EXPECT_TRUE(std::isfinite(image.GetWindowHigh()));

    // Values beyond the integer range clamp instead of overflowing.
    image.SetStoredRange(1000, 0);
    image.SetValueRange(1, 0);
    image.SetWindowHigh(1e30f);
    EXPECT_EQ(image.GetStoredWindowHigh(), 2147483647);
    image.SetWindowLow(-1e30f);
    EXPECT_EQ(image.GetStoredWindowLow(), -2147483647 - 1);
}

// ---------------------------------------------------------------- coordinates

TEST_F(MRImageTest, ConvertPointRoundTripsInEveryOrientation)
{
    const float points[][2] = {{0, 0}, {120, 240}, {-3.25f, 17.5f}, {300, -40}};
    for (int orientation = 0; orientation < 3; ++orientation) {
        TMRImage image(kProject);
        image.SetOrientation(orientation, false);
        image.SetParameter(200.0f + 10 * orientation, TMRImage::ParamFOVX, false);
        image.SetParameter(180.0f - 20 * orientation, TMRImage::ParamFOVY, false);
        image.SetCentre(TPoint2D(12.5f - orientation, -7.0f * orientation), false);
        image.AddShift(TPoint2D(3.0f, -4.5f + orientation));
        const float fx = image.GetFOVX(), fy = image.GetFOVY();
        const TPoint2D c = image.GetCentre(), s = image.GetShift();
        for (const auto& p : points) {
            const TPoint2D corner(p[0], p[1]);
            const TPoint2D plane = image.ConvertPoint(corner, 0);
            EXPECT_NEAR(plane.x, p[0] - fx / 2 + c.x - s.x, 1e-4);
            EXPECT_NEAR(plane.y, p[1] - fy / 2 + c.y - s.y, 1e-4);
            const TPoint2D back = image.ConvertPoint(plane, 1);
            EXPECT_NEAR(back.x, p[0], 1e-4) << orientation;
            EXPECT_NEAR(back.y, p[1], 1e-4) << orientation;
        }
        // The image corner lies FOV/2 from the centre, moved by the shift.
        const TPoint2D origin = image.ConvertPoint(TPoint2D(0, 0), 0);
        EXPECT_FLOAT_EQ(origin.x, c.x - fx / 2 - s.x);
        const TPoint2D same = image.ConvertPoint(TPoint2D(1, 2), 2);
        EXPECT_EQ(same.x, 1.0f);
        EXPECT_EQ(same.y, 2.0f);
    }
}

TEST_F(MRImageTest, PixelsAndMillimetresMapOntoEachOther)
{
    TMRImage image(kProject);
    image.SetWidth(200, false);
    image.SetHeight(100, false);
    image.SetParameter(250, TMRImage::ParamFOVX, false);   // 1.25 mm per pixel
    image.SetParameter(50, TMRImage::ParamFOVY, false);    // 0.5 mm per pixel
    image.SetCentre(TPoint2D(10, -20), false);
    image.AddShift(TPoint2D(2, 1));
    const TPoint2D corner = image.PixelToWorld(TPoint2D(0, 0));
    EXPECT_FLOAT_EQ(corner.x, -125 + 10 - 2);
    EXPECT_FLOAT_EQ(corner.y, -25 - 20 - 1);
    const TPoint2D mid = image.PixelToWorld(TPoint2D(100, 50));
    EXPECT_FLOAT_EQ(mid.x, 8);
    EXPECT_FLOAT_EQ(mid.y, -21);
    for (int x : {0, 1, 57, 199})
        for (int y : {0, 33, 99}) {
            // The middle of a pixel maps back to that pixel.
            const TPoint2D p = image.PixelToWorld(TPoint2D(x + 0.5f, y + 0.5f));
            const TPointI q = image.WorldToPixel(p);
            EXPECT_EQ(q.x, x);
            EXPECT_EQ(q.y, y);
            EXPECT_TRUE(image.ContainsPoint(p));
        }
    // Left of the first column the floor gives -1, not 0.
    const TPointI left = image.WorldToPixel(TPoint2D(corner.x - 0.1f, corner.y + 0.1f));
    EXPECT_EQ(left.x, -1);
    EXPECT_EQ(left.y, 0);
    EXPECT_FALSE(image.ContainsPoint(TPoint2D(corner.x - 0.1f, corner.y + 0.1f)));
    EXPECT_FALSE(image.ContainsPoint(image.PixelToWorld(TPoint2D(200.5f, 3))));
    EXPECT_FALSE(image.ContainsPoint(image.PixelToWorld(TPoint2D(3, 100.5f))));
}

TEST_F(MRImageTest, CentreIn3DFollowsTheAxisTable)
{
    const int axes[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    for (int o = 0; o < 3; ++o) {
        TMRImage image(kProject);
        image.SetOrientation(o, false);
        image.SetCentre(TPoint2D(3, 4), false);
        image.SetParameter(-9, TMRImage::ParamSlicePosition, false);
        const std::vector<float> c = Floats(image, &TMRImage::GetCentre3D);
        EXPECT_EQ(c[o], -9.0f);
        EXPECT_EQ(c[axes[o][0]], 3.0f);
        EXPECT_EQ(c[axes[o][1]], 4.0f);
        int xa = -1, ya = -1;
        ASSERT_TRUE(TMRImage::InPlaneAxes(o, xa, ya));
        EXPECT_EQ(xa, axes[o][0]);
        EXPECT_EQ(ya, axes[o][1]);
    }
    int xa = 0, ya = 0;
    EXPECT_FALSE(TMRImage::InPlaneAxes(3, xa, ya));
    EXPECT_FALSE(TMRImage::InPlaneAxes(-1, xa, ya));
}

TEST_F(MRImageTest, TransformModesAreInversePairs)
{
    TMRImage image(kProject);
    double ref[9];
    ReferenceRotation(15, 25, -40, ref);
    float r[9], ri[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            r[i * 3 + j] = static_cast<float>(ref[i * 3 + j]);
            ri[j * 3 + i] = static_cast<float>(ref[i * 3 + j]);
        }
    image.SetRotation(r);
    image.SetInverseRotation(ri);
    const float position[3] = {10, -20, 30};
    image.SetPosition(position);
    const float p[3] = {1.5f, -2.5f, 7.0f};
    float v[3] = {p[0], p[1], p[2]};
    image.Transform(v, 0);
    for (int i = 0; i < 3; ++i) {
        double expect = 0;
        for (int k = 0; k < 3; ++k)
            expect += ref[i * 3 + k] * (p[k] - position[k]);
        EXPECT_NEAR(v[i], expect, 1e-4) << i;
    }
    image.Transform(v, 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(v[i], p[i], 1e-4);
    float w[3] = {p[0], p[1], p[2]};
    image.Transform(w, 0);
    float z[3] = {p[0], p[1], p[2]};
    image.Transform(z, 2);
    EXPECT_NEAR(z[2], -w[2], 1e-5);
    EXPECT_NEAR(z[0], w[0], 1e-5);
    image.Transform(z, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(z[i], p[i], 1e-4);
    image.Transform(z, 4);
    EXPECT_NEAR(z[0], p[0], 1e-4);
}

TEST_F(MRImageTest, DisplaySizeKeepsPixelsSquare)
{
    struct Case {
        int width, height;
        float fovX, fovY;
        int cx, cy;
    };
    const Case cases[] = {
        {256, 256, 240, 240, 256, 256},  // square already
        {256, 128, 240, 240, 256, 256},  // taller pixels: stretch the height
        {256, 256, 300, 200, 384, 256},  // wider field: stretch the width
        {100, 300, 100, 100, 300, 300},
        {3, 7, 10, 10, 7, 7},
    };
    for (const Case& c : cases) {
        TMRImage image(kProject);
        image.SetWidth(c.width, false);
        image.SetHeight(c.height, false);
        image.SetParameter(c.fovX, 0, false);
        image.SetParameter(c.fovY, 1, false);
        const TSizeI size = image.GetDisplaySize();
        EXPECT_EQ(size.cx, c.cx) << c.width << "x" << c.height;
        EXPECT_EQ(size.cy, c.cy) << c.width << "x" << c.height;
    }
    TMRImage broken(kProject);
    broken.SetParameter(0, 0, false);
    EXPECT_EQ(broken.GetDisplaySize().cx, 256);
    TMRImage extreme(kProject);
    extreme.SetParameter(1e30f, 0, false);
    extreme.SetParameter(1e-30f, 1, false);
    EXPECT_GT(extreme.GetDisplaySize().cx, 0);
}

TEST_F(MRImageTest, LocatingInACSISetTakesThePositionIntoTheSetsFrame)
{
    TCSISet set;
    // Patient -> set: a quarter turn about z, about an off-centre.
    const float r[3][3] = {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            set.m_fRotation[i][j] = r[i][j];
            set.m_fRotationInverse[j][i] = r[i][j];
        }
    const float offCentre[3] = {5, -5, 10};
    set.SetOffCentre(offCentre);
    const float position[3] = {20, 30, -40};
    // R (p - o) = (35, -15, -50), z negated afterwards.
    const float expected[3] = {35, -15, 50};
    for (int o = 0; o < 3; ++o) {
        TMRImage image(kProject);
        image.SetOrientation(o, false);
        image.SetPosition(position);
        image.LocateInCSISet(&set);
        int xa = 0, ya = 0;
        ASSERT_TRUE(TMRImage::InPlaneAxes(o, xa, ya));
        EXPECT_FLOAT_EQ(image.GetSlicePosition(), expected[o]) << o;
        EXPECT_FLOAT_EQ(image.GetCentre().x, expected[xa]) << o;
        EXPECT_FLOAT_EQ(image.GetCentre().y, expected[ya]) << o;
    }

    // Without a set the image's own frame is used: its position is its origin.
    TMRImage own(kProject);
    own.SetOrientation(2, false);
    own.SetPosition(position);
    own.SetCentre(TPoint2D(1, 1), false);
    own.LocateInCSISet(nullptr);
    EXPECT_FLOAT_EQ(own.GetCentre().x, 0);
    EXPECT_FLOAT_EQ(own.GetSlicePosition(), 0);

    // An image of unknown orientation keeps its placement.
    TMRImage unknown(kProject);
    unknown.SetOrientation(3, false);
    unknown.SetPosition(position);
    unknown.SetCentre(TPoint2D(1, 2), false);
    unknown.LocateInCSISet(&set);
    EXPECT_EQ(unknown.GetCentre().y, 2.0f);
    EXPECT_EQ(unknown.GetSlicePosition(), 0.0f);
}

// ---------------------------------------------------------------- processing and drawing

namespace {

// Reference smoothing: weights (2 - |dx|)(2 - |dy|) / 16, zero outside the image,
// rescaled so that the smallest result lands on `low` and the largest on `high`.
std::vector<double> ReferenceSmooth(const std::vector<int>& p, int w, int h, double low, double high)
{
    std::vector<double> s(p.size(), 0.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h)
                        s[y * w + x] += (2 - std::abs(dx)) * (2 - std::abs(dy)) / 16.0 * p[(y + dy) * w + x + dx];
    const double mn = *std::min_element(s.begin(), s.end()), mx = *std::max_element(s.begin(), s.end());
    for (double& v : s)
        v = low + (v - mn) / (mx - mn) * (high - low);
    return s;
}

// Keeps the pixels of every blit.
struct TPictureCanvas : TRecordingCanvas {
    std::vector<uint32_t> picture;
    void Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth, int srcHeight,
              int stride) override
    {
        TRecordingCanvas::Blit(x, y, width, height, pixels, srcWidth, srcHeight, stride);
        picture.assign(pixels, pixels + static_cast<size_t>(srcHeight) * stride);
    }
};

}  // namespace

TEST_F(MRImageTest, SmoothingMatchesTheKernelAndKeepsTheStoredRange)
{
    const int w = 7, h = 5;
    std::vector<int> values(w * h);
    for (int k = 0; k < w * h; ++k)
        values[k] = (k * 37) % 101;  // 0..100
    TMRImage image(kProject);
    ASSERT_TRUE(image.LoadPixels(MakePixelFile(image, w, h, values)));
    ASSERT_EQ(image.GetStoredMin(), 0.0f);
    ASSERT_EQ(image.GetStoredMax(), 100.0f);
    ASSERT_TRUE(image.Smooth());
    const std::vector<double> ref = ReferenceSmooth(values, w, h, 0, 100);
    const std::vector<int16_t>& out = image.GetPixels();
    for (int k = 0; k < w * h; ++k)
        EXPECT_NEAR(out[k], std::trunc(ref[k]), 1.0) << k;
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), 0);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 100);

    // A constant image stays constant: the stored range is a single value.
    TMRImage flat(kProject);
    ASSERT_TRUE(flat.LoadPixels(MakePixelFile(flat, 4, 3, std::vector<int>(12, 42))));
    ASSERT_TRUE(flat.Smooth());
    EXPECT_EQ(flat.GetPixels(), std::vector<int16_t>(12, 42));

    // One pixel has no spread at all: no division by zero.
    TMRImage single(kProject);
    ASSERT_TRUE(single.LoadPixels(MakePixelFile(single, 1, 1, {-7})));
    ASSERT_TRUE(single.Smooth());
    EXPECT_EQ(single.GetPixels()[0], -7);

    TMRImage missing(kProject);
    ASSERT_TRUE(missing.SetPath(m_dir.File("none")));
    EXPECT_FALSE(missing.Smooth());
}

TEST_F(MRImageTest, DrawingMapsTheWindowToGreyAndWrapsAroundTheCentre)
{
    TMRImage image(kProject);
    MakePixelFile(image, 4, 2, {-5, 0, 50, 100, 101, 20, 99, 1000});
    image.SetStoredWindow(0, 100);
    auto grey = [](int g) { return (uint32_t(g) << 16) | (uint32_t(g) << 8) | uint32_t(g); };
    TPictureCanvas canvas;
    image.DrawPixels(canvas, kColourGray);
    ASSERT_EQ(canvas.OpsOf("blit").size(), 1u);
    EXPECT_EQ(canvas.OpsOf("blit")[0].args, (std::vector<int>{0, 0, 4, 2, 4, 2}));
    // (v - 0) * 255 / 100 truncated; below the window 0, above it 255.
    const std::vector<uint32_t> expected = {grey(0), grey(0), grey(127), grey(255),
                                            grey(255), grey(51), grey(252), grey(255)};
    EXPECT_EQ(canvas.picture, expected);

    // A display shift of 60 mm (one pixel of 4 across 240 mm) moves the picture one
    // column to the right, the last column wrapping to the first.
    image.AddShift(TPoint2D(60, 0));
    EXPECT_EQ(image.RenderPixels(kColourGray),
              (std::vector<uint32_t>{grey(255), grey(0), grey(0), grey(127), grey(255), grey(255), grey(51),
                                     grey(252)}));
    image.ResetShift();
    image.AddShift(TPoint2D(-60, -120));  // one column left, one row up (wrapped)
    EXPECT_EQ(image.RenderPixels(kColourGray),
              (std::vector<uint32_t>{grey(51), grey(252), grey(255), grey(255), grey(0), grey(127), grey(255),
                                     grey(0)}));
    image.ResetShift();

    // Colour tables colour the grey level.
    const std::vector<uint32_t> hot = image.RenderPixels(kColourHot);
    unsigned char r = 0, g = 0, b = 0;
    GreyToRGB(127, kColourHot, r, g, b);
    EXPECT_EQ(hot[2], (uint32_t(r) << 16) | (uint32_t(g) << 8) | b);

    // An empty or reversed window draws black.
    image.SetStoredWindow(50, 50);
    for (uint32_t c : image.RenderPixels(kColourGray))
        EXPECT_EQ(c, 0u);

    // Without pixels nothing is drawn.
    TMRImage missing(kProject);
    ASSERT_TRUE(missing.SetPath(m_dir.File("none")));
    TPictureCanvas empty;
    missing.DrawPixels(empty, kColourGray);
    EXPECT_TRUE(empty.ops.empty());
}

namespace {

// Reference intensity normalisation by a direct 2-D DFT: the Gaussian weight table
// of each axis is built centred and then has its halves swapped.
std::vector<double> ReferenceNormalize(const std::vector<int>& p, int w, int h, double width, double percent,
                                       double low, double high)
{
    auto table = [&](int n) {
        std::vector<double> g(n);
        for (int i = 0; i < n; ++i)
            g[i] = std::exp(-2 * width * width * (i - n / 2) * (i - n / 2) / (double(n) * n));
        for (int i = 0; i < n / 2; ++i)
            std::swap(g[i], g[i + n / 2]);
        return g;
    };
    const std::vector<double> gx = table(w), gy = table(h);
    using C = std::complex<double>;
    std::vector<C> spectrum(w * h);
    for (int v = 0; v < h; ++v)
        for (int u = 0; u < w; ++u) {
            C sum = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    sum += double(p[y * w + x]) * std::polar(1.0, -2 * M_PI * (double(u) * x / w + double(v) * y / h));
            spectrum[v * w + u] = sum * gx[u] * gy[v];
        }
    std::vector<double> smooth(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            C sum = 0;
            for (int v = 0; v < h; ++v)
                for (int u = 0; u < w; ++u)
                    sum += spectrum[v * w + u] * std::polar(1.0, 2 * M_PI * (double(u) * x / w + double(v) * y / h));
            smooth[y * w + x] = sum.real() / (w * h);
        }
    const double m = *std::max_element(smooth.begin(), smooth.end());
    std::vector<double> f(w * h);
    for (int k = 0; k < w * h; ++k)
        f[k] = smooth[k] > m * percent * 0.01 ? p[k] / smooth[k] : 0.0;
    const double mn = *std::min_element(f.begin(), f.end()), mx = *std::max_element(f.begin(), f.end());
    for (double& v : f)
        v = low + (v - mn) / (mx - mn) * (high - low);
    return f;
}

}  // namespace

TEST_F(MRImageTest, IntensityNormalisationDividesByTheLowPassImage)
{
    const struct {
        int w, h;
        float width, percent;
    } cases[] = {{8, 6, 2.0f, 10.0f}, {6, 10, 3.0f, 40.0f}, {12, 4, 1.0f, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        std::vector<int> values(c.w * c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)  // a bright corner times a fine pattern
                values[y * c.w + x] = (40 + 12 * x + 7 * y) * (1 + (x * 3 + y) % 4);
        TMRImage image(kProject);
        ASSERT_TRUE(image.LoadPixels(MakePixelFile(image, c.w, c.h, values)));
        const double low = image.GetStoredMin(), high = image.GetStoredMax();
        ASSERT_TRUE(image.NormalizeIntensity(c.width, c.percent));
        EXPECT_TRUE(image.IsNormalized());
        const std::vector<double> ref = ReferenceNormalize(values, c.w, c.h, c.width, c.percent, low, high);
        for (int k = 0; k < c.w * c.h; ++k)
            EXPECT_NEAR(image.GetPixels()[k], std::trunc(ref[k]), 1.0) << k;
    }
}

TEST_F(MRImageTest, IntensityNormalisationRefusesUntransformableSizes)
{
    test::TScriptedReport script;
    TMRImage image(kProject);
    ASSERT_TRUE(image.LoadPixels(MakePixelFile(image, 41, 2, std::vector<int>(82, 5))));
    EXPECT_FALSE(image.NormalizeIntensity(2, 10));
    EXPECT_FALSE(image.IsNormalized());
    EXPECT_EQ(image.GetPixels(), std::vector<int16_t>(82, 5));
    ASSERT_EQ(script.Count(), 1u);
    EXPECT_EQ(script.Entries()[0].text,
              "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor.");

    TMRImage missing(kProject);
    ASSERT_TRUE(missing.SetPath(m_dir.File("none")));
    EXPECT_FALSE(missing.NormalizeIntensity(2, 10));
}

TEST_F(MRImageTest, DirectionCodeBringsTheCentreIntoTheStandardView)
{
    // (x, y) = (3, 5); expected centre for each orientation's label, then reversed.
    const struct {
        const char* labels[3];
        float x, y, rx, ry;
    } cases[] = {
        {{"AH", "RH", "RA"}, 3, 5, 3, 5},    {{"PF", "LF", "LP"}, -3, -5, -3, -5},
        {{"PH", "LH", "LA"}, -3, 5, -3, 5},  {{"AF", "RF", "RP"}, 3, -5, 3, -5},
        {{"HA", "HR", "AR"}, 5, 3, 5, 3},    {{"FP", "FL", "PL"}, -5, -3, -5, -3},
        {{"HP", "HL", "AL"}, 5, -3, -5, 3},  {{"FA", "FR", "PR"}, -5, 3, 5, -3},
    };
    for (const auto& c : cases)
        for (int o = 0; o < 3; ++o)
            for (bool reverse : {false, true}) {
                TMRImage image(kProject);
                image.SetOrientation(o, false);
                image.SetInfoText(c.labels[o], TMRImage::InfoDirectionCode, false);
                image.SetCentre(TPoint2D(3, 5), false);
                image.ApplyDirectionCode(reverse);
                EXPECT_EQ(image.GetCentre().x, reverse ? c.rx : c.x) << c.labels[o] << " " << reverse;
                EXPECT_EQ(image.GetCentre().y, reverse ? c.ry : c.y) << c.labels[o] << " " << reverse;
            }
    // A label of another orientation, an empty code or an unknown orientation change nothing.
    for (const auto& [labels, orientation] :
         std::vector<std::pair<std::string, int>>{{"LP", 0}, {"", 2}, {"BAD_ORIT", 1}, {"LP", 3}}) {
        TMRImage image(kProject);
        image.SetOrientation(orientation, false);
        image.SetInfoText(labels, TMRImage::InfoDirectionCode, false);
        image.SetCentre(TPoint2D(3, 5), false);
        image.ApplyDirectionCode(false);
        EXPECT_EQ(image.GetCentre().x, 3.0f) << labels;
        EXPECT_EQ(image.GetCentre().y, 5.0f) << labels;
    }
}
