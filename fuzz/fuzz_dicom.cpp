// DICOM image files through the standard and the GE DICOM image readers. The project holds
// one CSI set, so the GE reader's exam checks run too (the silent reports answer Yes).
// Then the file takes one road into a new project, which the input's length picks (modulo
// 4): Add Images as a standard or as a GE DICOM image, or Add Exam of GE type given the
// file "e1.dcm" or its folder (AddImagesThroughProject: save, open, pixels compared).
// Scanner files make good seeds: build/fuzz/fuzz/fuzz_dicom corpus ../shared/data/dicom_ge/dcm_qa_ge
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "dcmtk/config/osconfig.h"
#include "dcmtk/oflog/oflog.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/DicomImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool quiet = [] {
        vx::fuzz::Prepare();
        OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
        return true;
    }();
    (void)quiet;
    const std::string path = vx::fuzz::WriteScratch("image.dcm", data, size);

    for (const bool ge : {false, true}) {
        TProject project;
        project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
        vx::MakeFolder(project.m_strFolder);
        auto* set = new TCSISet();
        set->m_strName = "csi";
        set->m_strPatientName.assign(1, '1');
        project.m_pCSISetList->Add(set);
        if (ge)
            ReadGEDicomImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
        else
            ReadDicomImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
    }
    TImageImportParams params;
    switch (size % 4) {
    case 0:
        params.m_nImageType = 4;
        vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages);
        break;
    case 1:
        params.m_nImageType = 2;
        vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages);
        break;
    default: {
        // Add Exam takes the GE DICOM images by their names "e*.*".
        const std::string exam = vx::fuzz::WriteScratch("e1.dcm", data, size);
        vx::fuzz::AddImagesThroughProject(
            exam, params, size % 4 == 2 ? vx::fuzz::TImageRoad::ExamFile : vx::fuzz::TImageRoad::ExamFolder, 3);
        vx::RemoveFile(exam);
        break;
    }
    }
    return 0;
}
