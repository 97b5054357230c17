// The project's image collection: numbering and order, neighbours, the nearest image,
// its part of the project file, the 16-bit conversion of old pixel files and the
// dispatch to the image readers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/ReaderHooks.h"
#include "model/TCSISet.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "support/Bytes.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

class ImageSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_project.m_strFolder = m_dir.Path();
    }
    void TearDown() override
    {
        ClearReaderHooks();
        ResetGlobals();
    }

    // A new image of the project at a position along its orientation's axis.
    TMRImage* NewImage(int orientation, float position, const std::string& name = "img")
    {
        auto* image = new TMRImage(&m_project);
        image->SetName(name, false);
        image->SetOrientation(orientation, false);
        image->SetParameter(position, TMRImage::ParamPositionX + (orientation < 3 ? orientation : 0), false);
        image->SetParameter(position, TMRImage::ParamSlicePosition, false);
        image->SetPath(m_dir.File(name));
        m_owned.emplace_back(image);
        return image;
    }

    // Writes the collection's records to the file "images" of the folder.
    bool WriteRecords(const TImageSet& set)
    {
        TFile out;
        return out.Open(m_dir.File("images"), TFile::Mode::Write) && set.Write(out);
    }

    std::vector<int> Ids(const TImageSet& set)
    {
        std::vector<int> ids;
        for (const TMRImage* image : set)
            ids.push_back(image->GetId());
        return ids;
    }

    test::TTempFolder m_dir;
    TProject m_project;
    std::vector<std::unique_ptr<TMRImage>> m_owned;
};

}  // namespace

TEST_F(ImageSetTest, InsertNumbersAndOrdersByOrientationThenPosition)
{
    TImageSet set(&m_project);
    TMRImage* a = NewImage(2, 10);
    TMRImage* b = NewImage(2, -5);
    TMRImage* c = NewImage(2, 10);
    set.Insert(a);
    set.Insert(b);
    set.Insert(c);
    EXPECT_EQ(a->GetId(), 0);
    EXPECT_EQ(b->GetId(), 1);
    EXPECT_EQ(c->GetId(), 2);
    // -5 first; the new image at 10 goes before the older one at the same position.
    EXPECT_EQ(Ids(set), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(set.GetCount(), 3);

    TMRImage* sagittal = NewImage(0, 50);
    set.Insert(sagittal);
    EXPECT_EQ(*set.Begin(), sagittal);

    // The largest id is reused after its image has gone.
    set.Erase(set.Find(sagittal));
    TMRImage* d = NewImage(1, 0);
    set.Insert(d);
    EXPECT_EQ(d->GetId(), 3);
    set.Erase(set.Find(d));
    TMRImage* e = NewImage(1, 0);
    set.Insert(e);
    EXPECT_EQ(e->GetId(), 3);
}

TEST_F(ImageSetTest, NeighboursAndNearest)
{
    TImageSet set(&m_project);
    TMRImage* at6 = NewImage(2, 6);
    TMRImage* at46 = NewImage(2, 4.6f);
    TMRImage* at10 = NewImage(2, 10);
    TMRImage* coronal = NewImage(1, 5);
    for (TMRImage* image : {at6, at46, at10, coronal})
        set.Insert(image);
    EXPECT_EQ(set.GetPrevious(coronal), nullptr);
    EXPECT_EQ(set.GetNext(coronal), at46);
    EXPECT_EQ(set.GetPrevious(at6), at46);
    EXPECT_EQ(set.GetNext(at10), nullptr);
    TMRImage* stranger = NewImage(2, 0);
    EXPECT_EQ(set.GetNext(stranger), nullptr);
    EXPECT_EQ(set.GetPrevious(stranger), nullptr);

    // Centre 5: 4.6 is 0 whole millimetres away, 6 is 1; 10 lies outside [0, 10).
    EXPECT_EQ(set.FindNearest(2, 0, 10), at46);
    EXPECT_EQ(set.FindNearest(2, 6.5f, 10), nullptr);
    EXPECT_EQ(set.FindNearest(1, 0, 10), coronal);
    EXPECT_EQ(set.FindNearest(0, -100, 100), nullptr);
    // A tie goes to the first in list order: 6 and 4.6 both truncate to 0 from 5.5.
    EXPECT_EQ(set.FindNearest(2, 1, 10), at46);
}

TEST_F(ImageSetTest, RecordsRoundTripInListOrder)
{
    TImageSet set(&m_project);
    TMRImage* first = NewImage(2, 20, "first");
    TMRImage* second = NewImage(0, -3, "second");
    set.Insert(first);
    set.Insert(second);
    test::WriteBytes(m_dir.File("first"), std::string(256 * 256 * 2, '\0'));
    test::WriteBytes(m_dir.File("second"), std::string(256 * 256 * 2, '\0'));
    ASSERT_TRUE(WriteRecords(set));
    test::TScriptedReport script;
    TImageSet read(&m_project);
    TFile in;
    ASSERT_TRUE(in.Open(m_dir.File("images"), TFile::Mode::Read));
    read.Read(in);
    ASSERT_EQ(read.GetCount(), 2);
    EXPECT_EQ((*read.Begin())->GetName(), "second");
    EXPECT_EQ((*std::next(read.Begin()))->GetName(), "first");
    EXPECT_EQ((*std::next(read.Begin()))->GetPath(), m_dir.File("first"));
    EXPECT_EQ(script.Count(), 0u);
    EXPECT_EQ(in.BytesLeft(), 0);
    for (TMRImage* image : read)
        delete image;

    TFile skip;
    ASSERT_TRUE(skip.Open(m_dir.File("images"), TFile::Mode::Read));
    EXPECT_TRUE(TImageSet::SkipRecords(skip, 9));
    EXPECT_EQ(skip.BytesLeft(), 0);
}

TEST_F(ImageSetTest, FailedRecordsGiveOneMessageAndNegativeCountsReadAsEmpty)
{
    TImageSet set(&m_project);
    for (const char* name : {"a", "b", "c"})
        set.Insert(NewImage(2, 1, name));
    test::WriteBytes(m_dir.File("b"), std::string(256 * 256 * 2, '\0'));  // only b's pixels exist
    // The folder has the work folder that the program's saves leave.
    ASSERT_TRUE(MakeFolder(TFileTransaction::WorkFolderOf(m_dir.Path())));
    ASSERT_TRUE(WriteRecords(set));
    {
        test::TScriptedReport script;
        TImageSet read(&m_project);
        TFile in;
        ASSERT_TRUE(in.Open(m_dir.File("images"), TFile::Mode::Read));
        read.Read(in);
        // Images whose pixel files are away keep their entries, named in the message.
        ASSERT_EQ(read.GetCount(), 3);
        EXPECT_EQ(script.Messages(),
                  (std::vector<std::string>{"Some of the image files could not be loaded\r\nc: its pixel file is missing (" +
                                            m_dir.File("c") + ")\r\na: its pixel file is missing (" + m_dir.File("a") +
                                            ")\r\nThese images stay in the project and show once their pixel files "
                                            "are back."}));
        for (TMRImage* image : read)
            delete image;
    }
    // A count the file cannot hold is a damaged file (the project says so); a negative
    // one reads as no image.
    for (int32_t count : {-3, 2000000000}) {
        test::WriteBytes(m_dir.File("count"), test::Int32LE({count}));
        test::TScriptedReport script;
        TImageSet read(&m_project);
        TFile in;
        ASSERT_TRUE(in.Open(m_dir.File("count"), TFile::Mode::Read));
        EXPECT_EQ(read.Read(in), count < 0);
        EXPECT_TRUE(read.IsEmpty());
        EXPECT_EQ(script.Count(), 0u);
    }
}

TEST_F(ImageSetTest, OldPixelFilesAreWidenedInTheChangeOfTheFolder)
{
    TImageSet set(&m_project);
    TMRImage* eight = NewImage(2, 1, "eight");
    TMRImage* shortFile = NewImage(2, 2, "short");
    TMRImage* missing = NewImage(2, 3, "missing");
    TMRImage* sixteen = NewImage(2, 4, "sixteen");
    for (TMRImage* image : {eight, shortFile, missing, sixteen}) {
        image->SetWidth(3, false);
        image->SetHeight(2, false);
        set.Insert(image);
    }
    test::WriteBytes(m_dir.File("eight"), std::string("\x00\x01\x7f\x80\xfe\xff", 6));
    test::WriteBytes(m_dir.File("short"), std::string("\x01\x02", 2));
    test::WriteBytes(m_dir.File("sixteen"), std::string(12, '\x05'));
    TFileTransaction transaction(m_dir.Path());
    for (const TMRImage* image : set)
        EXPECT_TRUE(TImageSet::ConvertPixelFileTo16Bit(*image, transaction)) << image->GetName();
    EXPECT_EQ(test::ReadBytes(m_dir.File("eight")).size(), 6u);  // the original stays until the commit
    ASSERT_TRUE(transaction.Commit());
    EXPECT_EQ(test::ReadBytes(m_dir.File("eight")),
              std::string("\x00\x00\x01\x00\x7f\x00\x80\x00\xfe\x00\xff\x00", 12));
    EXPECT_EQ(test::ReadBytes(m_dir.File("sixteen")), std::string(12, '\x05'));
    // Images whose pixels are away keep their entries and files.
    EXPECT_EQ(set.GetCount(), 4);
    EXPECT_TRUE(set.Contains(shortFile));
    EXPECT_TRUE(set.Contains(missing));
    EXPECT_EQ(test::ReadBytes(m_dir.File("short")), std::string("\x01\x02", 2));
}

TEST_F(ImageSetTest, AddImagesGoesToTheReaderOfTheType)
{
    TImageSet set(&m_project);
    TImageImportParams params;
    params.m_nImageType = 4;
    EXPECT_FALSE(set.AddImages("a.dcm", params, &m_project));  // nothing installed

    std::string seenPath;
    InstallImageReader(4, [&](TImageSet& images, const std::string& path, TImageImportParams p, TProject* project) {
        seenPath = path;
        EXPECT_EQ(&images, &set);
        EXPECT_EQ(project, &m_project);
        EXPECT_EQ(p.m_nImageType, 4);
        return true;
    });
    EXPECT_TRUE(set.AddImages("a.dcm", params, &m_project));
    EXPECT_EQ(seenPath, "a.dcm");
    params.m_nImageType = 7;
    EXPECT_FALSE(set.AddImages("b.dcm", params, &m_project));
    EXPECT_EQ(seenPath, "a.dcm");
}

TEST_F(ImageSetTest, ImagesOfCompleteGeometryArePlacedInTheWorkSetFrame)
{
    TImageSet set(&m_project);
    TMRImage* placed = NewImage(2, 12.5f, "placed");
    for (int axis = 0; axis < 3; ++axis) {
        const float position[3] = {4.0f, -6.5f, 12.5f};
        placed->SetParameter(position[axis], TMRImage::ParamPositionX + axis, false);
    }
    placed->SetParameter(230, TMRImage::ParamFOVX, false);
    placed->SetParameter(200, TMRImage::ParamFOVY, false);
    placed->SetInfoText("RA", TMRImage::InfoDirectionCode, false);
    TMRImage* partial = NewImage(2, 7.0f, "partial");  // field of view not known
    set.Insert(placed);
    set.Insert(partial);
    ASSERT_TRUE(placed->IsGeometryComplete());
    ASSERT_FALSE(partial->IsGeometryComplete());

    // A work set at the scanner's centre, unrotated: its frame is the scanner's with z negated.
    TCSISet workSet(&m_project);
    m_project.m_pWorkSet = &workSet;
    set.LocateAllInCSISet();
    m_project.m_pWorkSet = nullptr;
    EXPECT_FLOAT_EQ(placed->GetSlicePosition(), -12.5f);
    EXPECT_FLOAT_EQ(placed->GetCentre().x, 4.0f);
    EXPECT_FLOAT_EQ(placed->GetCentre().y, -6.5f);
    EXPECT_FLOAT_EQ(partial->GetSlicePosition(), 7.0f);
}

TEST_F(ImageSetTest, CopiedPixelFilesStayInsideTheTargetFolder)
{
    // A project file may name an image "../x"; its pixel file is then ".._x" in the
    // project folder, and a copy must land beside it in the target folder, not above it.
    TImageSet set(&m_project);
    TMRImage* climber = NewImage(2, 1, "../x");
    climber->SetPath(m_dir.File(".._x"));
    TMRImage* plain = NewImage(2, 2, "plain");
    set.Insert(climber);
    set.Insert(plain);
    test::WriteBytes(m_dir.File(".._x"), "climber");
    test::WriteBytes(m_dir.File("plain"), "plain");
    ASSERT_TRUE(MakeFolder(m_dir.File("a")));
    ASSERT_TRUE(MakeFolder(m_dir.File("a/b")));

    {
        TFileTransaction transaction(m_dir.File("a/b"));
        EXPECT_TRUE(set.CopyFilesToFolder(m_dir.File("a/b"), transaction));
        ASSERT_TRUE(transaction.Commit());
    }
    EXPECT_FALSE(FileExists(m_dir.File("a/x")));
    EXPECT_EQ(test::ReadBytes(m_dir.File("a/b/.._x")), "climber");
    EXPECT_EQ(test::ReadBytes(m_dir.File("a/b/plain")), "plain");
    EXPECT_EQ(climber->GetPath(), m_dir.File("a/b/.._x"));
    EXPECT_EQ(plain->GetPath(), m_dir.File("a/b/plain"));

    // A copy that fails still points the image at the new folder.
    RemoveFile(m_dir.File("a/b/plain"));
    RemoveFile(m_dir.File("plain"));
    TFileTransaction transaction(m_dir.File("a"));
    EXPECT_FALSE(set.CopyFilesToFolder(m_dir.File("a"), transaction));
    EXPECT_EQ(plain->GetPath(), m_dir.File("a/plain"));
}

TEST_F(ImageSetTest, RecordsNamingAFileAlreadyInUseAreKeptAsideAndWrittenBack)
{
    // A second image of the same name, or one named like the project file, would write
    // its pixels over a file the project still needs.
    m_project.m_strName = "p";
    TImageSet set(&m_project);
    for (const char* name : {"b", "b", "p.tpj", "c"})
        set.Append(NewImage(2, 1, name));
    for (const char* name : {"b", "p.tpj", "c"})
        test::WriteBytes(m_dir.File(name), std::string(256 * 256 * 2, '\0'));
    ASSERT_TRUE(WriteRecords(set));
    test::TScriptedReport script;
    TImageSet read(&m_project);
    TFile in;
    ASSERT_TRUE(in.Open(m_dir.File("images"), TFile::Mode::Read));
    read.Read(in);
    in.Close();
    // Written back, the records kept aside are where they were, as they were.
    const std::string records = test::ReadBytes(m_dir.File("images"));
    ASSERT_TRUE(WriteRecords(read));
    EXPECT_EQ(test::ReadBytes(m_dir.File("images")), records);
    std::vector<std::string> names;
    for (TMRImage* image : read) {
        names.push_back(image->GetName());
        delete image;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(script.Messages(),
              (std::vector<std::string>{"Some of the image files could not be loaded\r\nb: its pixel file is another file "
                                        "of the project\r\np.tpj: its pixel file is another file of the project\r\nThese "
                                        "images cannot be used; their records and files stay in the project unchanged."}));
}
