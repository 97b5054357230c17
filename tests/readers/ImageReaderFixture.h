#pragma once
// A project in a temporary folder with the real image readers installed, for the tests of
// the image readers: input files lie beside the project folder, pixel files go into it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ReaderHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "readers/ImageReaders.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace vx::test {

class ImageReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        RegisterImageReaders();
        m_project.m_strFolder = m_dir.File("project");
        ASSERT_TRUE(MakeFolder(m_project.m_strFolder));
    }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        ClearReaderHooks();
        ResetGlobals();
    }

    // An input file beside the project folder.
    std::string Input(const std::string& name) const { return m_dir.File(name); }
    std::string PixelFile(const std::string& name) const { return m_project.m_strFolder + "/" + name; }
    // The file the pixels of a new image are read from: staged in the project's work folder
    // until a project file lists the image.
    std::string StoredPixelFile(const std::string& name) const { return m_project.PathToRead(PixelFile(name)); }

    bool Add(const std::string& path, TImageImportParams params, int imageType)
    {
        params.m_nImageType = imageType;
        return m_project.m_pImageSet->AddImages(path, params, &m_project);
    }

    std::vector<TMRImage*> Images() const
    {
        return std::vector<TMRImage*>(m_project.m_pImageSet->Begin(), m_project.m_pImageSet->End());
    }
    std::vector<std::string> ImageNames() const
    {
        std::vector<std::string> names;
        for (const TMRImage* image : Images())
            names.push_back(image->GetName());
        return names;
    }
    // The image's texts in the order of their info indices.
    static std::vector<std::string> InfoTexts(const TMRImage& image)
    {
        std::vector<std::string> texts;
        for (int k = 0; k < TMRImage::InfoTextCount; ++k)
            texts.push_back(image.GetInfoText(k));
        return texts;
    }
    TMRImage* ImageNamed(const std::string& name) const
    {
        for (TMRImage* image : Images())
            if (image->GetName() == name)
                return image;
        return nullptr;
    }

    // A CSI set of the project with the texts and rotation the checks compare.
    TCSISet* AddSet(const std::string& name, const std::string& patient, const std::string& date)
    {
        auto* set = new TCSISet();
        set->m_strName = name;
        set->m_strPatientName = patient;
        set->m_strExamDate = date;
        m_project.m_pCSISetList->Add(set);
        return set;
    }

    TScriptedReport m_report;
    TTempFolder m_dir;
    TProject m_project;
};

}  // namespace vx::test
