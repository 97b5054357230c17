// DICOM image files through the standard and the GE DICOM image readers. The project holds
// one CSI set, so the GE reader's exam checks run too (the silent reports answer Yes).
// Scanner files make good seeds: build/fuzz/fuzz/fuzz_dicom corpus ../shared/data/dicom_ge/dcm_qa_ge
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "dcmtk/config/osconfig.h"
#include "dcmtk/oflog/oflog.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/DicomImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
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
        set->m_strPatientName = "1";
        project.m_pCSISetList->Add(set);
        if (ge)
            ReadGEDicomImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
        else
            ReadDicomImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
    }
    return 0;
}
